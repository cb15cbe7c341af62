// Window, control and command numbers. Front-ends map them to their widgets;
// the core only ever speaks of these numbers.
#pragma once

namespace ostrel::ids {

// Windows and dialogs.
inline constexpr int kNoOwner = 0;
inline constexpr int kMainWindow = 103;
inline constexpr int kWiringDialog = 1039;
inline constexpr int kEepromWindow = 1083;
inline constexpr int kInstructionsDialog = 1105;

// Main window controls.
inline constexpr int kCurrentFile = 1017;
inline constexpr int kActivity = 1018;
inline constexpr int kRead = 1026;
inline constexpr int kWrite = 1027;
inline constexpr int kVerify = 1028;
inline constexpr int kEraseBeforeWrite = 1116;
inline constexpr int kCheck = 1117;
inline constexpr int kAutodetection = 1118;
inline constexpr int kResetRun = 1134;
inline constexpr int kDeviceList = 1153;
inline constexpr int kQuick = 1155;
inline constexpr int kRelease = 1156;
inline constexpr int kMosiBox = 1157;
inline constexpr int kSckBox = 1158;
// Our additions to the main window (not numbers of the system): the Stop
// button and the progress bar beside the activity line while a command runs,
// and the port in use.
inline constexpr int kStop = 1180;
inline constexpr int kProgressBar = 1181;
inline constexpr int kPortDisplay = 1182;

// Commands.
inline constexpr int kCancelCommand = 2;  // Escape and the close box
inline constexpr int kOkCommand = 1;
inline constexpr int kFileOpen = 65535;
inline constexpr int kExit = 1048;
inline constexpr int kPort0278 = 1032;
inline constexpr int kPort0378 = 1033;
inline constexpr int kPort03BC = 1034;
inline constexpr int kCom1 = 1041;
inline constexpr int kCom2 = 1042;
inline constexpr int kCom3 = 1135;
inline constexpr int kCom4 = 1136;
inline constexpr int kCom5 = 1137;
inline constexpr int kCom6 = 1138;
inline constexpr int kCom7 = 1139;
inline constexpr int kCom8 = 1140;
inline constexpr int kPortSimulator = 1160;  // our addition: the simulated target
inline constexpr int kCableTest = 1161;      // our addition: Port > "Cable Test"
inline constexpr int kPortGpio = 1162;  // our addition: the GPIO lines of a single-board computer
inline constexpr int kModemLinesOnly = 1163;  // our addition: FTDI adapters on their modem lines
// Port menu: the ports found on this machine, one command each from here on.
inline constexpr int kFirstFoundPort = 1200;
inline constexpr int kMaxFoundPorts = 64;
inline constexpr int kSpeedVeryLow = 1141;
inline constexpr int kSpeedLow = 1101;
inline constexpr int kSpeedMedium = 1102;
inline constexpr int kSpeedHigh = 1103;
inline constexpr int kSpeedAuto = 1164;  // our addition: the speed follows the chip's clock
inline constexpr int kProgramEepAfterHex = 1151;
inline constexpr int kReadSignature = 1046;
inline constexpr int kReadbackInhx = 1154;
inline constexpr int kEraseAll = 1037;
inline constexpr int kBulkEraseData = 1099;
inline constexpr int kDataWindow = 1086;
inline constexpr int kFuseBits = 1106;
inline constexpr int kHelpTopics = 1104;
inline constexpr int kNewVersion = 1045;
inline constexpr int kAbout = 1038;
inline constexpr int kLockChip = 1036;
inline constexpr int kReleaseAvr = 1047;
inline constexpr int kWiringPicture = 1040;
inline constexpr int kOpenStartFolder = 1183;  // our addition: File > "Open Start Folder"

// Serial programming instructions dialog.
inline constexpr int kByte1 = 1107;
inline constexpr int kByte2 = 1108;
inline constexpr int kByte3 = 1113;
inline constexpr int kByte4 = 1114;
inline constexpr int kSendRec = 1;
inline constexpr int kInstrHelp = 1115;
inline constexpr int kDone = 2;
inline constexpr int kLb1 = 1122;
inline constexpr int kLb2 = 1123;
inline constexpr int kWriteLockBits = 1121;
inline constexpr int kReadLockBits = 1120;
inline constexpr int kReadRcen = 1029;
inline constexpr int kRcenBox = 1031;
inline constexpr int kWriteRcen = 1030;
inline constexpr int kInstrStatus = 1124;

// EEPROM data window.
inline constexpr int kListing = 1084;
inline constexpr int kReadData = 1096;
inline constexpr int kWriteData = 1097;
inline constexpr int kEepromStatus = 1098;
inline constexpr int kEepromExit = 1;

// Our addition: the Fuses window (FuseBits > "Fuses"), every fuse and lock
// byte of the chip by name. Each byte has a group, a hexadecimal field and
// eight places for its fields (a check box for a single bit, a name and a
// choice list for a field of several bits), which the window fills for the
// chip: the place of field f of byte b is kFuseSlotsPerByte * b + f.
inline constexpr int kFuses = 1400;
inline constexpr int kFusesWindow = 1401;
inline constexpr int kFuseStatus = 1402;
inline constexpr int kFuseRead = 1403;
inline constexpr int kFuseWrite = 1404;
inline constexpr int kFuseRestore = 1405;
inline constexpr int kFuseClose = 2;  // Escape and the close box too
inline constexpr int kFuseSlotsPerByte = 8;
inline constexpr int kFuseGroup0 = 1410;   // + byte
inline constexpr int kFuseHex0 = 1420;     // + byte
inline constexpr int kFuseCheck0 = 1430;   // + place
inline constexpr int kFuseName0 = 1470;    // + place
inline constexpr int kFuseChoice0 = 1510;  // + place

}  // namespace ostrel::ids
