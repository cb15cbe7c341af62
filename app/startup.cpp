#include "app/startup.h"

#include <cstdio>

#include "app/commands.h"
#include "app/data_commands.h"
#include "app/endings.h"
#include "app/file_selection.h"
#include "app/settings.h"
#include "avr/avr.h"
#include "core/ids.h"
#include "devices/device_file.h"
#include "platform/file_system.h"
#include "platform/port_names.h"
#include "platform/text_file.h"
#include "platform/texts.h"

namespace ostrel::app {

namespace {

// Offers the file stored in the settings file, unless the user declined last time.
void OfferLastFile(Programmer& p) {
    ProgrammerState& s = p.state;
    s.launchedWithFile = 0;
    bool declined = false;
    if (!ReadReopenData(p, &declined) || declined)
        return;
    if (LoadCurrentFile(p) != 0)
        return;
    std::string_view name = s.baseName.view();
    std::string question = "Open '" + std::string(name.substr(0, name.find(' '))) + "' ?";
    if (p.windows.MessageBox(ids::kNoOwner, question, "Ostrel", MsgButtons::OkCancel,
                             MessageKind::Question) == MsgResult::Ok) {
        ShowCurrentFileName(p);
        return;
    }
    s.fileLoaded = 0;
    p.currentDirectory = s.startDirectory.str();
    StoreDecline(p);
}

// Writes the file named on the command line at once.
bool WriteCommandLineFile(Programmer& p, const std::string& file) {
    ProgrammerState& s = p.state;
    if (file.size() > decltype(s.currentFileName)::kCapacity) {
        p.windows.MessageBox(ids::kNoOwner,
                             "The file name on the command line is too long (at most 279 "
                             "characters):\n\n" +
                                 file.substr(0, 100) + "...",
                             texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
        return true;
    }
    s.currentFileName.Assign(file);
    p.currentDirectory = s.startDirectory.str();
    if (!StorePath(p, false)) {
        s.errorText.Assign(texts::kOpenErrorCfg);
        p.windows.MessageBox(ids::kNoOwner,
                             s.errorText.str() + "\n\nThe settings file cannot be opened in " +
                                 s.startDirectory.str() + "; " + file + " was not written.",
                             texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
        return true;
    }
    std::string problem;
    if (LoadCurrentFile(p, &problem) != 0) {
        // The file named on the command line is not written: say so and which.
        if (!s.fileLoaded)
            p.windows.MessageBox(ids::kNoOwner, s.errorText.str() + "\n\n" + problem,
                                 texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
        return true;
    }
    ShowCurrentFileName(p);
    s.launchedWithFile = 1;
    // Not the Write button: no erase first, and noMismatchPrompt keeps its value.
    // After a successful write the sequence has ended the main window.
    return RunAsCommand(p, ids::kWrite, [](Programmer& q) { return WriteSequence(q, false); }) !=
           CommandResult::Ok;
}

}  // namespace

void SelectStoredPort(Programmer& p) {
    ProgrammerState& s = p.state;
    int command = PortCommand(s.portName.view());  // exact, case-sensitive
    CheckChosenPort(p);
    if (command == 0) {
        // A serial port of its own the user chose (COM12, /dev/ttyUSB0).
        if (IsSerialPortName(s.portName.view())) {
            s.adapterKind = AdapterKind::Serial;
            s.comName.Assign(s.portName.view());
        }
        return;
    }
    if (s.portName == "0278") {
        s.portBase = 0x278;
    } else if (s.portName == "0378") {
        s.portBase = 0x378;
    } else if (s.portName == "03BC") {
        s.portBase = 0x3BC;
    } else if (s.portName == "GPIO") {
        s.adapterKind = AdapterKind::Gpio;
        s.comName.Assign(s.portName.view());
    } else {
        s.adapterKind = AdapterKind::Serial;
        s.comName.Assign(s.portName.view());
    }
}

bool PrepareMainWindow(Programmer& p) {
    ProgrammerState& s = p.state;
    s.mainWindow = ids::kMainWindow;
    if (!s.startDirectory.Assign(p.currentDirectory))
        s.startDirectory.Clear();

    p.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, true);
    p.windows.CheckItem(ids::kMainWindow, ids::kEraseBeforeWrite, true);

    RestorePortAndSpeed(p);

    if (!devices::DeviceFileOpens(p)) {
        // What stands there instead of the file, when something does.
        std::string text = texts::kOpenErrorIniQuoted;
        if (std::string kind = NotAFile(devices::DeviceFilePath(p)); !kind.empty())
            text += std::string("\n\n") + devices::kDeviceFileName + ": " + kind + ".";
        p.windows.MessageBox(ids::kNoOwner, text, texts::kTitleErrorBang, MsgButtons::Ok,
                             MessageKind::Error);
        p.windows.EndWindow(ids::kMainWindow, 1);
        return false;
    }
    devices::FillDeviceList(p);
    p.windows.SelectListEntry(0);

    p.windows.EnableItem(ids::kMainWindow, ids::kDeviceList, false);
    p.windows.EnableItem(ids::kMainWindow, ids::kCurrentFile, false);
    p.windows.EnableItem(ids::kMainWindow, ids::kActivity, false);
    p.windows.Repaint(ids::kMainWindow);

    SelectStoredPort(p);
    return true;
}

bool OpenMainWindow(Programmer& p, const std::optional<std::string>& commandLineFile) {
    if (!PrepareMainWindow(p))
        return false;
    avr::EnterProgrammingMode(p);  // a defined reset state; a port that fails is reported later
    TellDriverAccessFailure(p);
    if (!commandLineFile) {
        OfferLastFile(p);
        return true;
    }
    bool opened = WriteCommandLineFile(p, *commandLineFile);
    TellDriverAccessFailure(p);
    return opened;
}

}  // namespace ostrel::app
