// The system's own texts: message box texts and titles, failure texts and
// the words of the activity line, each written once. They stay exactly as the
// users of the system know them, spelling and spacing included (some read
// oddly: "Unknown devicecode!", the German port texts); hints of our own are
// added on lines of their own where they are shown, never into these texts.
// The control and command numbers stand in platform/ids.h in the same way.
#pragma once

namespace ostrel::texts {

// Message box titles.
inline constexpr char kTitleErrorLoud[] = "ERROR!";
inline constexpr char kTitleError[] = "Error";
inline constexpr char kTitleErrorBang[] = "Error!";
inline constexpr char kTitleErrorCaps[] = "ERROR";
inline constexpr char kTitleWarning[] = "Warning!";
inline constexpr char kTitleWarningColon[] = "Warning:";
inline constexpr char kTitleOstrel[] = "OSTREL:";
inline constexpr char kTitleInfo[] = "Info:";

// Messages.
inline constexpr char kNoFileSelected[] = "No File selected!";
inline constexpr char kChecksumWrongContinue[] = "Checksum wrong, continue!";
inline constexpr char kChecksumWrong[] = "Checksum wrong!";
inline constexpr char kWrongInputFile[] = "Wrong input file!";
inline constexpr char kWrongFileFormat[] = "Wrong File-Format!";
inline constexpr char kNoIntelFormat[] = "No Intel Int.8/MDS-Format\n";
inline constexpr char kExpectedColon[] = "Expected ':'\n";
inline constexpr char kComInitError[] = "COM-Init-Error!";
inline constexpr char kCannotReadComSettings[] = "Kann COM-Port Einstellung nicht lesen.";
inline constexpr char kCannotWriteComSettings[] = "Kann COM-Port Einstellung nicht schreiben.";
inline constexpr char kCannotWriteTimeouts[] = "Kann TIMEOUTS nicht schreiben.";
inline constexpr char kNoAdaptorFoundFormat[] = "No Adaptor found at %s\n";
inline constexpr char kDlportioNotInstalled[] = "DLPORTIO not installed";
inline constexpr char kDriverMustBeInstalled[] =
    "Driver 'DlPortIO' must be installed!\n\nDownload:\n";
inline constexpr char kDriverAccessError[] = "Error during driver access!";
inline constexpr char kDeviceLocked[] = "Device locked!\n\n";
inline constexpr char kDeviceCodeErased[] = "Device Code erased!\n\n";
inline constexpr char kUnknownDeviceCode[] = "Unknown Device Code!\n\n";
inline constexpr char kNoConnection[] = "No Connection!\n\n";
inline constexpr char kUnknownDevicecode[] = "Unknown devicecode!";
inline constexpr char kSignatureReportFormat[] =
    "Vendor Code: %02X\nPart Family: %02X\nPart Number: %02X\n%s";
inline constexpr char kEcho53Received[] = "Echo 53 received";
inline constexpr char kNoEcho53Received[] = "No echo 53 received";
inline constexpr char kDeletesMemory[] = "This Command Deletes Memory!";
inline constexpr char kDeletesDataMemory[] = "This Command Deletes Data Memory!";
inline constexpr char kDisableCodeprotectionFailed[] = "Disable Codeprotection failed!";
inline constexpr char kOpenError[] = "Open Error!";
inline constexpr char kOpenErrorCfg[] = "Open Error 'ostrel.cfg'!";
inline constexpr char kOpenErrorIniQuoted[] = "Open Error 'ostrel.ini !'";
inline constexpr char kOpenErrorIni[] = "Open Error ostrel.ini !";
inline constexpr char kOpenErrorInputFile[] = "open error input file!";
inline constexpr char kOpenErrorOutputFile[] = "open error output file!";
inline constexpr char kCannotOpenInputFile[] = "Cannot open input file.\n";
inline constexpr char kCannotOpenOutputFile[] = "Cannot open output file.\n";
inline constexpr char kErrorAtAdrFormat[] = "Error at Adr: %04X\n";
inline constexpr char kVerifyFailedFormat[] = "Verify failed at Adr: %04X\n";
inline constexpr char kVerifyFailedDetailFormat[] =
    "Verify failed at Adr: %04X\n\n     File:    %02X\n     Read: %02X\n";
inline constexpr char kVerifyFailedRecFormat[] = "Verify failed,rec: %04X\n";
inline constexpr char kWriteErrorAtFormat[] =
    "Write Error at Adr: %04X  \n\n     Wrote: %02X  \n     Read: %02X\n";
inline constexpr char kOutOfMemoryFormat[] = "Out of memory: %04X\n";
inline constexpr char kContrAdrFormat[] = "Contr-Adr: %04X\n";
inline constexpr char kPageSizeZero[] = "Page size of the device is 0.\n";
inline constexpr char kVerifyFuseLockFailed[] = "Verify Fuse and Lockbits failed!\n\nLine:  ";
inline constexpr char kWriteError[] = "Write Error!";
inline constexpr char kFunctionNotAvailable[] = "Function not available!";
inline constexpr char kErrrrroooor[] = "ERRRRROOOOR!";
inline constexpr char kHelpNotFound[] = "ostrel-hlp.htm not found!";
inline constexpr char kMisreadFormat[] = "fehllesung %04X\n";
inline constexpr char kEofOccurred[] = "eof aufgetreten\n";
inline constexpr char kInFormat[] = "in: %x\n";
inline constexpr char kOutFormat[] = "out: %x\n";

// Activity and status texts.
inline constexpr char kOk[] = "OK";
inline constexpr char kCablet1Detected[] = "Cablet1 detected";
inline constexpr char kCablet2Detected[] = "Cablet2 detected";
inline constexpr char kAvrReleased[] = "AVR released!";
inline constexpr char kErasing[] = "erasing.....     ";
inline constexpr char kReading[] = "reading.....     ";
inline constexpr char kWriting[] = "writing.....     ";
inline constexpr char kVerifying[] = "verifying.....";
inline constexpr char kFuseAndLockBits[] = "Fuse and Lock Bits";
inline constexpr char kFuseLockProgrammed[] = "F+L Bits programmed";
inline constexpr char kReadbackTxtSaved[] = "readback.txt saved";
inline constexpr char kReadbackHexSaved[] = "readback.hex saved";
inline constexpr char kConnecting[] = "connecting....";
inline constexpr char kConnectingLine[] = "connecting....\n";
inline constexpr char kDialogReading[] = "reading....";
inline constexpr char kDialogWriting[] = "writing....";
inline constexpr char kEepromMemoryHeading[] = "EEPROM-Memory:";
inline constexpr char kFlashMemoryHeading[] = "FLASH-Memory:";
inline constexpr char kOpenAFile[] = "Open a File";

}  // namespace ostrel::texts
