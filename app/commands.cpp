#include "app/commands.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "adapter/adapter.h"
#include "app/data_commands.h"
#include "app/endings.h"
#include "app/file_selection.h"
#include "app/settings.h"
#include "avr/avr.h"
#include "core/ids.h"
#include "devices/device_file.h"
#include "dialogs/dialog_commands.h"
#include "dialogs/help.h"
#include "platform/native_ports.h"
#include "platform/paths.h"
#include "platform/port_names.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::app {

namespace {

struct PortItem {
    int command;
    std::string_view name;
    uint16_t base;  // 0 for serial ports
};

constexpr std::array<PortItem, 13> kPortItems = {{
    {ids::kPort0278, "0278", 0x278},
    {ids::kPort0378, "0378", 0x378},
    {ids::kPort03BC, "03BC", 0x3BC},
    {ids::kCom1, "COM1", 0},
    {ids::kCom2, "COM2", 0},
    {ids::kCom3, "COM3", 0},
    {ids::kCom4, "COM4", 0},
    {ids::kCom5, "COM5", 0},
    {ids::kCom6, "COM6", 0},
    {ids::kCom7, "COM7", 0},
    {ids::kCom8, "COM8", 0},
    {ids::kPortSimulator, "SIM", 0},
    {ids::kPortGpio, "GPIO", 0},
}};

const PortItem* FindPortItem(int command) {
    for (const auto& item : kPortItems)
        if (item.command == command)
            return &item;
    return nullptr;
}

CommandResult Failure(Programmer& p) {
    ReportFailure(p);
    return CommandResult::Failed;
}

CommandResult Ok(Programmer& p) {
    ReportOk(p);
    return CommandResult::Ok;
}

// A plain Connect step: any non-zero result ends the command with the failure report.
bool ConnectOrReport(Programmer& p) {
    if (avr::Connect(p) == 0)
        return true;
    ReportFailure(p);
    return false;
}

CommandResult SelectParallelPort(Programmer& p, const PortItem& item) {
    ProgrammerState& s = p.state;
    if (!s.dlPortIoLoaded && !s.directPortIo) {
        p.windows.MessageBox(ids::kNoOwner,
                             std::string(texts::kDriverMustBeInstalled) + ParallelAccessHint(),
                             texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
        return CommandResult::Failed;
    }
    s.portBase = item.base;
    s.portName.Assign(item.name);
    CheckChosenPort(p);
    s.adapterKind = AdapterKind::Parallel;
    if (s.comOpen)
        adapter::CloseSerialPort(p);
    return CommandResult::Ok;
}

// The port chosen before a new choice, which stays when the new port cannot
// be opened: such a port is no choice to keep (nor to save for the next start).
struct PreviousPort {
    explicit PreviousPort(const ProgrammerState& s)
        : name(s.portName),
          com(s.comName),
          lines(s.gpioLines),
          kind(s.adapterKind),
          base(s.portBase) {}
    void Restore(Programmer& p) const {
        ProgrammerState& s = p.state;
        s.portName = name;
        s.gpioLines = lines;
        s.comName = com;
        s.adapterKind = kind;
        s.portBase = base;
        CheckChosenPort(p);
        s.errorText.Append(name.empty() ? "\nNo port is chosen."
                                        : "\nThe port stays " + std::string(name.view()) + ".");
    }
    decltype(ProgrammerState::portName) name;
    decltype(ProgrammerState::comName) com;
    decltype(ProgrammerState::gpioLines) lines;
    AdapterKind kind;
    uint16_t base;
};

// Makes `name` the port chosen, of `kind`, with the port open before closed.
void Choose(Programmer& p, std::string_view name, AdapterKind kind) {
    ProgrammerState& s = p.state;
    s.portName.Assign(name);
    s.comName.Assign(name);
    CheckChosenPort(p);
    if (s.comOpen)
        adapter::CloseSerialPort(p);
    s.adapterKind = kind;
}

// A serial port by its name: one of the Port menu's COM items, or a port of
// its own (COM12, /dev/ttyUSB0, ftdi:SERIAL).
CommandResult SelectSerialPort(Programmer& p, std::string_view name) {
    ProgrammerState& s = p.state;
    const PreviousPort previous(s);
    Choose(p, name, AdapterKind::Serial);
    if (adapter::DetectSerialAdapter(p) != 0) {
        // A port that opened but where no cable answered stays chosen: the
        // cable may be plugged in next.
        if (!s.comOpen)
            previous.Restore(p);
        return Failure(p);
    }
    EnableField(p, ids::kActivity, true);
    if (std::string_view detected = adapter::ActiveCable(s).detectedText; !detected.empty())
        SetActivityField(p, detected);
    ReadingPause(p);
    EnableField(p, ids::kActivity, false);
    return CommandResult::Ok;
}

// The GPIO lines: nothing to detect; opening them says at once whether the
// chip and lines can be had, and which they are.
// A found GPIO chip brings its `lines`; the fixed entry keeps those chosen.
CommandResult SelectGpioPort(Programmer& p, const PortItem& item, std::string_view lines = {}) {
    const PreviousPort previous(p.state);
    if (!lines.empty())
        p.state.gpioLines.Assign(lines);
    Choose(p, item.name, AdapterKind::Gpio);
    if (adapter::OpenPort(p) != 0) {
        previous.Restore(p);
        return Failure(p);
    }
    return CommandResult::Ok;
}

// Options > "Modem Lines Only": FTDI adapters are driven through their modem
// lines (one USB request a change) instead of in bit-bang mode. The port is
// closed, so the next command opens it the other way.
CommandResult ToggleModemLinesOnly(Programmer& p) {
    ProgrammerState& s = p.state;
    s.modemLinesOnly = s.modemLinesOnly ? 0 : 1;
    p.windows.CheckMenuItem(ids::kModemLinesOnly, s.modemLinesOnly != 0);
    if (s.comOpen && s.adapterKind == AdapterKind::Serial)
        adapter::CloseSerialPort(p);
    return CommandResult::Ok;
}

CommandResult SelectSpeed(Programmer& p, int command, int32_t speed) {
    for (int item :
         {ids::kSpeedVeryLow, ids::kSpeedLow, ids::kSpeedMedium, ids::kSpeedHigh, ids::kSpeedAuto})
        p.windows.CheckMenuItem(item, item == command);
    // Auto keeps the speed in force until the next connection picks one.
    p.state.autoSpeed = command == ids::kSpeedAuto ? 1 : 0;
    p.state.autoSpeedShown = -1;  // chosen anew: the next choice is named
    if (speed >= 0)
        p.state.speed = speed;
    StoreSpeed(p);
    return CommandResult::Ok;
}

CommandResult ReadSignatureBytes(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    // The report is shown even without a connection: its bytes and the echo
    // line tell what the cable saw. The command then still ends as a failure,
    // with the reason of the failed connection.
    int connected = avr::Connect(p);
    avr::ReadSignature(p);
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, "  ");
    // A port that stopped answering gave 1s, not what the cable saw: the
    // command runner's box about the loss is the one box.
    if (!p.driverAccessFailed && !p.portLost)
        p.windows.MessageBox(ids::kNoOwner, p.state.signatureReport.view(), texts::kTitleInfo,
                             MsgButtons::Ok, MessageKind::Information);
    // The report is the one box, as in the system: what the bytes mean is in
    // it ("No echo 53 received"). The command still did not read a chip's
    // signature; errorText keeps the reason of the failed connection for a
    // front-end without boxes.
    if (connected != 0) {
        p.windows.EnableItem(p.state.mainWindow, ids::kActivity, false);
        p.windows.EnableItem(p.state.mainWindow, ids::kCurrentFile, false);
        p.windows.Repaint(p.state.mainWindow);
        return CommandResult::Failed;
    }
    return CommandResult::Ok;
}

CommandResult Check(Programmer& p) {
    ProgrammerState& s = p.state;
    UsualStart(p);
    p.windows.EnableItem(s.mainWindow, ids::kDeviceList, false);
    p.windows.CheckItem(s.mainWindow, ids::kAutodetection, true);
    // Identify by signature even when a device was chosen by hand; the hand
    // choice stays in force for the next commands.
    struct KeepHandChoice {
        ProgrammerState& s;
        Flag remembered;
        ~KeepHandChoice() { s.manualDevice = remembered; }  // also when a stop unwinds
    } keep{s, s.manualDevice};
    s.manualDevice = 0;
    int result = avr::Connect(p);
    s.manualDevice = keep.remembered;
    if (result != 0)
        return Failure(p);
    if (devices::FindDevice(p, core::ReadDeviceChoice(p)) == 0)
        return Ok(p);
    p.windows.MessageBox(ids::kNoOwner, texts::kUnknownDevicecode, texts::kTitleOstrel,
                         MsgButtons::Ok, MessageKind::Warning);
    p.windows.SetItemText(s.mainWindow, ids::kActivity, "  ");
    EnableField(p, ids::kActivity, false);
    return CommandResult::Failed;
}

CommandResult Autodetection(Programmer& p) {
    ProgrammerState& s = p.state;
    bool on = p.windows.IsItemChecked(ids::kMainWindow, ids::kAutodetection);
    s.manualDevice = on ? 0 : 1;
    s.deviceDetected = 0;
    p.windows.EnableItem(ids::kMainWindow, ids::kDeviceList, !on);
    return CommandResult::Ok;
}

CommandResult ResetRun(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, " ");
    EnableField(p, ids::kActivity, true);
    if (adapter::DetectSerialAdapter(p) != 0)
        return Failure(p);
    if (adapter::HoldTargetInReset(p) != 0)
        return Failure(p);
    adapter::WaitMs(p, 100);
    if (adapter::ReleaseTarget(p) != 0)
        return Failure(p);
    return Ok(p);
}

CommandResult EraseAll(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    SetActivityField(p, "  ");
    if (p.windows.MessageBox(ids::kNoOwner, texts::kDeletesMemory, texts::kTitleWarning,
                             MsgButtons::OkCancel, MessageKind::Warning) != MsgResult::Ok)
        return CommandResult::Cancelled;
    EnableField(p, ids::kActivity, true);
    if (avr::Connect(p) == 1)
        return Failure(p);
    avr::ChipErase(p);
    avr::EnterProgrammingMode(p);
    int again = avr::Connect(p);
    if (again == 2) {
        p.state.errorText.Assign(texts::kDisableCodeprotectionFailed);
        return Failure(p);
    }
    // A chip that answers (the echo came) has taken the erase, even when its
    // signature is one the device file does not know: "OK", as the system
    // says. Only a lost connection leaves it unknown whether it was erased.
    if (again != 0 && !p.state.echoReceived)
        return Failure(p);
    return Ok(p);
}

CommandResult BulkEraseData(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, "  ");
    if (p.windows.MessageBox(ids::kNoOwner, texts::kDeletesDataMemory, texts::kTitleWarning,
                             MsgButtons::OkCancel, MessageKind::Warning) != MsgResult::Ok)
        return CommandResult::Cancelled;
    EnableField(p, ids::kActivity, true);
    if (!ConnectOrReport(p))
        return CommandResult::Failed;
    if (avr::CheckLockAllows(p, avr::ChipAccess::Program) != 0)
        return Failure(p);
    SetActivityField(p, texts::kErasing);
    if (avr::EraseEepromBytes(p) != 0)
        return Failure(p);
    // A chip that has gone reads FF everywhere, which looks erased.
    if (!avr::StillAnswers(p)) {
        p.state.errorText.Assign(
            "The chip stopped answering during the erase: its EEPROM may not be erased.\n");
        return Failure(p);
    }
    return Ok(p);
}

CommandResult LockChip(Programmer& p) {
    UsualStart(p);
    if (!ConnectOrReport(p))
        return CommandResult::Failed;
    // Write Lock Bits with LB1 and LB2 programmed, in the form the chip's
    // family decodes, read back before "OK" is said.
    if (avr::LockMode3(p) != 0)
        return Failure(p);
    return Ok(p);
}

CommandResult ReleaseAvr(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    adapter::DetectSerialAdapter(p);
    if (adapter::ReleaseTarget(p) != 0)
        return Failure(p);
    EnableField(p, ids::kActivity, true);
    SetActivityField(p, texts::kAvrReleased);
    ReadingPause(p);
    EnableField(p, ids::kActivity, false);
    return CommandResult::Ok;
}

CommandResult ReleasePort(Programmer& p) {
    ReportOk(p);
    adapter::CloseSerialPort(p);
    return CommandResult::Ok;
}

// The hidden MOSI and SCK boxes drive a serial adapter's line by hand.
CommandResult DriveLineByHand(Programmer& p, int box) {
    // Without the port the line cannot be driven: that is no success.
    if (adapter::ReleaseTarget(p) != 0)
        return Failure(p);
    if (p.state.adapterKind != AdapterKind::Serial)
        return CommandResult::Ok;
    int level = p.windows.IsItemChecked(ids::kMainWindow, box) ? 1 : 0;
    if (box == ids::kMosiBox) {
        adapter::SetMosi(p, level);
    } else {
        adapter::SetSck(p, level);
    }
    return CommandResult::Ok;
}

// File > Open Start Folder: the folder of ostrel.ini, ostrel.cfg and the
// read-back files, in the desktop's file manager.
CommandResult OpenStartFolder(Programmer& p) {
    const std::string folder(p.state.startDirectory.view());
    if (p.windows.OpenDocument(folder))
        return CommandResult::Ok;
    p.windows.MessageBox(ids::kNoOwner,
                         "No file manager was found on this computer to show the start "
                         "folder:\n\n" +
                             folder,
                         "Ostrel", MsgButtons::Ok, MessageKind::Information);
    return CommandResult::Failed;
}

CommandResult Exit(Programmer& p) {
    adapter::HoldTargetInReset(p);
    p.windows.EndWindow(ids::kMainWindow, 1);
    return CommandResult::Ok;
}

CommandResult Dispatch(Programmer& p, int command) {
    if (const PortItem* item = FindPortItem(command)) {
        if (item->command == ids::kPortGpio)
            return SelectGpioPort(p, *item);
        return item->base != 0 ? SelectParallelPort(p, *item) : SelectSerialPort(p, item->name);
    }
    if (command >= ids::kFirstFoundPort && command < ids::kFirstFoundPort + ids::kMaxFoundPorts) {
        const auto index = static_cast<std::size_t>(command - ids::kFirstFoundPort);
        if (index >= p.foundPorts.size())
            return CommandResult::Ignored;
        // A copy: the list may be found anew while the port is chosen.
        const std::string name = p.foundPorts[index].name;
        const std::string lines = p.foundPorts[index].gpioLines;
        if (const PortItem* item = FindPortItem(PortCommand(name));
            item != nullptr && item->command == ids::kPortGpio && !lines.empty())
            return SelectGpioPort(p, *item, lines);
        if (const int fixed = PortCommand(name); fixed != 0)
            return Dispatch(p, fixed);
        if (!IsSerialPortName(name))
            return CommandResult::Ignored;
        return SelectSerialPort(p, name);
    }
    switch (command) {
        case ids::kModemLinesOnly:
            return ToggleModemLinesOnly(p);
        case ids::kExit:
        case ids::kCancelCommand:
            return Exit(p);
        case ids::kSpeedVeryLow:
            return SelectSpeed(p, command, 0);
        case ids::kSpeedLow:
            return SelectSpeed(p, command, 1);
        case ids::kSpeedMedium:
            return SelectSpeed(p, command, 2);
        case ids::kSpeedHigh:
            return SelectSpeed(p, command, 3);
        case ids::kSpeedAuto:
            return SelectSpeed(p, command, -1);
        case ids::kProgramEepAfterHex:
            p.state.programEepAfterHex = p.state.programEepAfterHex == 1 ? 0 : 1;
            p.windows.CheckMenuItem(command, p.state.programEepAfterHex == 1);
            return CommandResult::Ok;
        case ids::kReadSignature:
            return ReadSignatureBytes(p);
        case ids::kEraseAll:
            return EraseAll(p);
        case ids::kBulkEraseData:
            return BulkEraseData(p);
        case ids::kCheck:
            return Check(p);
        case ids::kAutodetection:
            return Autodetection(p);
        case ids::kResetRun:
            return ResetRun(p);
        case ids::kLockChip:
            return LockChip(p);
        case ids::kReleaseAvr:
            return ReleaseAvr(p);
        case ids::kRelease:
            return ReleasePort(p);
        case ids::kFileOpen:
            return OpenFileCommand(p);
        case ids::kOpenStartFolder:
            return OpenStartFolder(p);
        case ids::kRead:
            return ReadCommand(p);
        case ids::kReadbackInhx:
            return ReadbackHexCommand(p);
        case ids::kWrite:
            return WriteCommand(p);
        case ids::kVerify:
            return VerifyCommand(p);
        case ids::kQuick:
            return QuickCommand(p);
        case ids::kMosiBox:
        case ids::kSckBox:
            return DriveLineByHand(p, command);
        case ids::kFuseBits:
            return dialogs::OpenInstructionsDialog(p) == 0 ? CommandResult::Ok
                                                           : CommandResult::Failed;
        case ids::kDataWindow:
            return dialogs::OpenDataWindow(p) == 0 ? CommandResult::Ok : CommandResult::Failed;
        case ids::kFuses:
            return dialogs::OpenFusesWindow(p) == 0 ? CommandResult::Ok : CommandResult::Failed;
        case ids::kHelpTopics:
            dialogs::HelpTopics(p);
            return CommandResult::Ok;
        case ids::kNewVersion:
            dialogs::LookForNewVersion(p);
            return CommandResult::Ok;
        case ids::kAbout:
            dialogs::About(p);
            return CommandResult::Ok;
        case ids::kWiringPicture:
            dialogs::ShowWiringPicture(p);
            return CommandResult::Ok;
        default:
            return CommandResult::Ignored;
    }
}

}  // namespace

int PortCommand(std::string_view portName) {
    for (const auto& item : kPortItems)
        if (item.name == portName)
            return item.command;
    return 0;
}

void CheckPortItem(Programmer& p, int command) {
    for (const auto& item : kPortItems)
        p.windows.CheckMenuItem(item.command, item.command == command);
}

void CheckChosenPort(Programmer& p) {
    const std::string_view chosen = p.state.portName.view();
    CheckPortItem(p, PortCommand(chosen));
    const std::size_t shown =
        std::min(p.foundPorts.size(), static_cast<std::size_t>(ids::kMaxFoundPorts));
    for (std::size_t i = 0; i < shown; ++i)
        p.windows.CheckMenuItem(ids::kFirstFoundPort + static_cast<int>(i),
                                !chosen.empty() && p.foundPorts[i].name == chosen &&
                                    (p.foundPorts[i].gpioLines.empty() ||
                                     p.foundPorts[i].gpioLines == p.state.gpioLines.view()));
}

namespace {

// What a command stopped half-way leaves on the chip. Until the command has
// sent an instruction that changes the chip, it is as it was, whatever the
// command was about to do; a read names the file it would have replaced.
std::string StoppedState(const Programmer& p, int command) {
    const char* const untouched = "nothing had been written yet; the chip is unchanged.";
    const bool changed = p.chipChangeSent;
    switch (command) {
        case ids::kWrite:
        case ids::kQuick:
            return changed ? "the chip may be partly programmed: write it again." : untouched;
        case ids::kLockChip:
            return changed ? "the lock bits may be partly programmed: lock the chip again."
                           : untouched;
        case ids::kEraseAll:
        case ids::kBulkEraseData:
            return changed ? "the chip may be partly erased: erase it again." : untouched;
        case ids::kFuseBits:
        case ids::kDataWindow:
        case ids::kFuses:
            return changed ? "the chip may be partly changed." : untouched;
        case ids::kRead:
        case ids::kReadbackInhx: {
            const std::string file =
                p.readbackFile.empty()
                    ? std::string(command == ids::kRead ? "readback.txt" : "readback.hex")
                    : ShortenMiddle(FsPath(p.readbackFile).filename().string(), 60);
            return "the chip is unchanged, and " + file + " is as it was.";
        }
        default:
            return "the chip is unchanged.";
    }
}

// The command ended at an activity refresh because the user asked it to:
// the target is let go as after a normal end, and the user is told.
CommandResult EndStopped(Programmer& p, int command) {
    p.stopRequested = false;
    // Lines as after a normal end: RESET high, the chip runs. Another stop
    // asked for while the target is let go changes nothing.
    try {
        if (!p.driverAccessFailed)
            adapter::ReleaseTarget(p);
    } catch (const core::CommandStopped&) {
    }
    p.stopRequested = false;
    std::string text = "Stopped: ";
    text += StoppedState(p, command);
    p.state.errorText.Assign(text);
    ReportFailure(p);
    return CommandResult::Stopped;
}

}  // namespace

CommandResult RunAsCommand(Programmer& p, int command,
                           const std::function<CommandResult(Programmer&)>& body) {
    // The start-up holds commandRunning around its write of a file from the
    // command line, so that no click starts a command inside it.
    const bool wasRunning = p.commandRunning;
    p.commandRunning = true;
    p.stoppable = true;
    p.chipChangeSent = false;
    p.otherChipAccepted.clear();
    p.driverAccessFailed = false;
    p.driverAccessTold = false;
    // A port lost outside a command (at start-up) is opened afresh.
    if (p.portLost)
        adapter::CloseSerialPort(p);
    p.portLost = false;
    CommandResult result = CommandResult::Failed;
    try {
        result = body(p);
        // Nothing the command queued for a streaming port stays behind.
        adapter::Flush(p);
    } catch (const core::CommandStopped&) {
        result = p.portLost ? CommandResult::Failed : EndStopped(p, command);
    }
    // A stop asked for after the command's last refresh found nothing left to
    // stop; kept, it would end the next command at its first refresh.
    p.stopRequested = false;
    p.stoppable = false;
    TellDriverAccessFailure(p);
    TellPortLost(p);
    // What the command changed is on the disk before anything else can end the program.
    p.serial.CommandEnded();
    p.commandRunning = wasRunning;
    // A command that lost the port on the way did not do what it was asked,
    // whatever its own steps concluded from the reads that never happened.
    if ((p.driverAccessFailed || p.portLost) && result != CommandResult::Ignored &&
        result != CommandResult::Stopped)
        result = CommandResult::Failed;
    if (p.portLost) {
        adapter::CloseSerialPort(p);
        p.portLost = false;
    }
    return result;
}

CommandResult OnCommand(Programmer& p, int command) {
    if (p.commandRunning)
        return CommandResult::Ignored;
    return RunAsCommand(p, command, [command](Programmer& q) { return Dispatch(q, command); });
}

void OnDestroy(Programmer& p) {
    SaveAtExit(p);
    if (p.state.comOpen)
        adapter::CloseSerialPort(p);
}

}  // namespace ostrel::app
