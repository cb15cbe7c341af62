// Opening the serial port, finding which serial cable is plugged in, and the
// two resting states of the adapter: target held in reset, target running.
#include <cstddef>
#include <string>

#include "adapter/adapter.h"
#include "adapter/pin_lines.h"
#include "core/ids.h"
#include "platform/gpio_wiring.h"
#include "platform/texts.h"

namespace ostrel::adapter {

namespace {

// A remark about a port that opened (a slow USB adapter) goes on the activity
// line rather than into a message box: it is advice, not a fault, and a box
// would stop every command that opens the port until it is answered. It is
// left there for a second so it can be read before the command's own texts
// replace it.
void ShowPortNote(Programmer& p, const std::string& note) {
    if (note.empty())
        return;
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, note);
    p.windows.Repaint(p.state.mainWindow);
    if (!p.skipReadingPauses)
        WaitMs(p, 1000);
}

// A port of pins has opened: the queue starts afresh, the rate suits the
// speed, and the lines go to their resting state, the one the backend set
// as it opened (a serial port's lines off; on GPIO lines RESET released).
void StartPins(Programmer& p) {
    ProgrammerState& s = p.state;
    s.comHandle = 1;
    s.comOpen = 1;
    s.pinsOpen = 1;
    p.pinQueue.Clear();
    p.portLost = false;
    p.portLostText.clear();
    s.pinLatch = 0;
    if (s.adapterKind == AdapterKind::Gpio) {
        pins::SetLine(p, PcLine::GpioReset, true);
    } else {
        for (PcLine line : {PcLine::Rts, PcLine::Dtr, PcLine::Break})
            pins::SetLine(p, line, false);
    }
    ConfigureStream(p);
    pins::Apply(p);
    Flush(p);
}

// A port of pins that would not open: the system's open failure, and what
// to do about it as the failure's hint (a device path can be long; the
// failure text's buffer keeps the system's words whole).
int PinsFailed(Programmer& p) {
    ProgrammerState& s = p.state;
    s.errorText.Assign(texts::kComInitError);
    p.failureHint = p.pins->PinOpenNote();
    s.comHandle = -1;
    return 1;
}

int OpenGpio(Programmer& p) {
    ProgrammerState& s = p.state;
    if (s.comOpen)
        return 0;
    if (p.pins == nullptr) {
        s.errorText.Assign(texts::kComInitError);
        p.failureHint = "This program has no GPIO lines.";
        return 1;
    }
    // The port's name carries the lines: "GPIO:CHIP:SCK,MOSI,RESET,MISO".
    const std::string name =
        "GPIO:" + std::string(s.gpioLines.empty() ? kDefaultGpioWiring : s.gpioLines.view());
    if (p.pins->OpenPins(name) != PinOpenResult::Ok)
        return PinsFailed(p);
    StartPins(p);
    return 0;
}

}  // namespace

int OpenPort(Programmer& p) {
    return p.state.adapterKind == AdapterKind::Gpio ? OpenGpio(p) : OpenSerialPort(p);
}

int OpenSerialPort(Programmer& p) {
    ProgrammerState& s = p.state;
    if (s.comOpen)
        return 0;
    if (s.adapterKind == AdapterKind::Gpio)
        return OpenGpio(p);
    // A name mapped to an FTDI adapter: its pins in bit-bang mode, many line
    // changes to one USB transfer, rather than one USB request for each.
    if (p.pins != nullptr && !s.modemLinesOnly) {
        switch (p.pins->OpenPins(s.comName.view())) {
            case PinOpenResult::Ok:
                StartPins(p);
                ShowPortNote(p, p.pins->PinOpenNote());
                return 0;
            case PinOpenResult::Failed:
                return PinsFailed(p);
            case PinOpenResult::NotThisPort:
                break;
        }
    }
    switch (p.serial.OpenSerial(s.comName.view())) {
        case SerialOpenResult::Ok:
            s.comHandle = 1;
            s.comOpen = 1;
            ShowPortNote(p, p.serial.SerialOpenNote());
            return 0;
        case SerialOpenResult::OpenFailed:
            s.errorText.Assign(texts::kComInitError);
            break;
        case SerialOpenResult::ReadSettingsFailed:
            s.errorText.Assign(texts::kCannotReadComSettings);
            break;
        case SerialOpenResult::WriteSettingsFailed:
            s.errorText.Assign(texts::kCannotWriteComSettings);
            break;
        case SerialOpenResult::WriteTimeoutsFailed:
            s.errorText.Assign(texts::kCannotWriteTimeouts);
            break;
    }
    // The system's text stays as it is; what to do about it is the failure's
    // hint, outside the buffer, so no device path can cut it.
    p.failureHint = p.serial.SerialOpenNote();
    // The backend has closed the device again, so the next attempt can reopen it.
    s.comHandle = -1;
    return 1;
}

void CloseSerialPort(Programmer& p) {
    ProgrammerState& s = p.state;
    if (s.pinsOpen && p.pins != nullptr) {
        // What is queued goes out before the port is let go.
        Flush(p);
        p.pins->ClosePins();
        p.pinQueue.Clear();
    } else if (s.comOpen) {
        p.serial.CloseSerial();
    }
    s.pinsOpen = 0;
    s.comOpen = 0;
    s.comHandle = -1;
}

int DetectSerialAdapter(Programmer& p) {
    ProgrammerState& s = p.state;
    // Only a serial cable has something to detect.
    if (s.adapterKind != AdapterKind::Serial)
        return 0;
    if (OpenSerialPort(p) != 0)
        return 1;
    SelectSerialCable(s, 0);

    // Each cable with a loop-back in the order of the table: its input must
    // follow its output both ways. The output is left as the last step set it.
    const auto cables = CableProfiles();
    for (size_t row = 0; row < cables.size(); ++row) {
        const CableProfile& cable = cables[row];
        if (cable.port != AdapterKind::Serial || !cable.hasLoopBack)
            continue;
        const uint32_t in = ModemStatusMask(cable.loopBack.in);
        ChangeSerialLine(p, cable.loopBack.out, true);
        WaitMs(p, cable.loopBack.settleMs);
        s.modemStatus = ReadModemStatus(p);
        if ((s.modemStatus & in) == 0)
            continue;
        ChangeSerialLine(p, cable.loopBack.out, false);
        WaitMs(p, cable.loopBack.settleMs);
        s.modemStatus = ReadModemStatus(p);
        if (s.modemStatus & in)
            continue;
        SelectSerialCable(s, static_cast<uint8_t>(row));
        return 0;
    }
    s.errorText.Format(texts::kNoAdaptorFoundFormat, s.portName.c_str());
    return 1;
}

int HoldTargetInReset(Programmer& p) {
    ProgrammerState& s = p.state;
    if (s.adapterKind != AdapterKind::Parallel) {
        if (OpenPort(p) != 0)
            return 1;
        SetReset(p, 0);
        Flush(p);
        return 0;
    }
    if (s.directPortIo) {
        // Clear the direction bit so that the data lines drive the cable.
        uint8_t control = p.parallel.ReadControl(s.portBase);
        p.parallel.WriteControl(s.portBase, static_cast<uint8_t>(control & ~kDirectionBit));
        WaitMs(p, 10);
        s.dataLatch &= ~kCableBits;
        WritePort(p);
        WaitMs(p, 10);
        return 0;
    }
    if (s.dlPortIoLoaded) {
        s.dataLatch &= ~kCableBits;
        WritePort(p);
    }
    return 0;
}

int ReleaseTarget(Programmer& p) {
    ProgrammerState& s = p.state;
    if (s.adapterKind != AdapterKind::Parallel) {
        if (OpenPort(p) != 0)
            return 1;
        SetReset(p, 1);
        // On a streaming port the release must not wait in the queue.
        Flush(p);
        return 0;
    }
    if (!s.directPortIo && !s.dlPortIoLoaded) {
        s.errorText.Assign(texts::kDlportioNotInstalled);
        return 1;
    }
    s.dataLatch &= ~kCableBits;
    WritePort(p);
    ReadPort(p);
    WaitMs(p, 50);

    if (s.directPortIo) {
        // Port check: with the data lines switched to input, a bidirectional
        // port reads back what the outside drives, not what was written. Only
        // when the data register reads back 0xC0 and then 0x00 are the lines
        // switched back to output; otherwise they are left undriven and the
        // target's own pull-up lets it run.
        uint16_t base = s.portBase;
        uint8_t control = p.parallel.ReadControl(base);
        WaitMs(p, 50);
        p.parallel.WriteControl(base, static_cast<uint8_t>(control | kDirectionBit));
        WaitMs(p, 50);
        p.parallel.WriteData(base, 0xC0);
        WaitMs(p, 50);
        if (p.parallel.ReadData(base) != 0xC0)
            return 0;
        WaitMs(p, 50);
        p.parallel.WriteData(base, 0x00);
        WaitMs(p, 50);
        WaitMs(p, 10);
        if (p.parallel.ReadData(base) != 0x00)
            return 0;
        WaitMs(p, 50);
        p.parallel.WriteControl(base, static_cast<uint8_t>(control & ~kDirectionBit));
    }
    s.dataLatch |= kResetBit;
    WritePort(p);
    return 0;
}

}  // namespace ostrel::adapter
