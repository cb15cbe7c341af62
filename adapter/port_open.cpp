// Opening the serial port, finding which serial cable is plugged in, and the
// two resting states of the adapter: target held in reset, target running.
#include <string>

#include "adapter/adapter.h"
#include "core/ids.h"
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

}  // namespace

int OpenSerialPort(Programmer& p) {
    ProgrammerState& s = p.state;
    if (s.comOpen)
        return 0;
    switch (p.port.OpenSerial(s.comName.view())) {
        case SerialOpenResult::Ok:
            s.comHandle = 1;
            s.comOpen = 1;
            ShowPortNote(p, p.port.SerialOpenNote());
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
    // The system's text stays as it is; what to do about it follows on a line
    // of its own, cut where the buffer ends.
    if (std::string hint = p.port.SerialOpenNote(); !hint.empty()) {
        s.errorText.Append('\n');
        s.errorText.Append(hint);
    }
    // The backend has closed the device again, so the next attempt can reopen it.
    s.comHandle = -1;
    return 1;
}

void CloseSerialPort(Programmer& p) {
    if (p.state.comOpen)
        p.port.CloseSerial();
    p.state.comOpen = 0;
    p.state.comHandle = -1;
}

int DetectSerialAdapter(Programmer& p) {
    ProgrammerState& s = p.state;
    if (s.adapterKind == AdapterKind::Parallel)
        return 0;
    if (OpenSerialPort(p) != 0)
        return 1;
    s.cablet1 = 0;
    s.cablet2 = 0;

    // Cablet1 loops the transmit line back to the ring indicator: RI must
    // follow the break state both ways.
    p.port.EscapeCommFunction(CommFunction::SetBreak);
    WaitMs(p, 50);
    s.modemStatus = p.port.GetModemStatus();
    if (s.modemStatus & kMsRingOn) {
        p.port.EscapeCommFunction(CommFunction::ClrBreak);
        WaitMs(p, 50);
        s.modemStatus = p.port.GetModemStatus();
        if ((s.modemStatus & kMsRingOn) == 0) {
            s.cablet1 = 1;
            return 0;
        }
    }

    // Cablet2 loops DTR back to DSR: DSR must follow DTR both ways. The lines
    // need 150 ms to settle through the cable's components.
    bool found = true;
    p.port.EscapeCommFunction(CommFunction::SetDtr);
    WaitMs(p, 150);
    s.modemStatus = p.port.GetModemStatus();
    if ((s.modemStatus & kMsDsrOn) == 0) {
        found = false;
    } else {
        p.port.EscapeCommFunction(CommFunction::ClrDtr);
        WaitMs(p, 150);
        s.modemStatus = p.port.GetModemStatus();
        if (s.modemStatus & kMsDsrOn)
            found = false;
    }
    if (!found) {
        s.errorText.Format(texts::kNoAdaptorFoundFormat, s.portName.c_str());
        return 1;
    }
    s.cablet2 = 1;
    return 0;
}

int HoldTargetInReset(Programmer& p) {
    ProgrammerState& s = p.state;
    if (s.adapterKind == AdapterKind::Serial) {
        if (OpenSerialPort(p) != 0)
            return 1;
        SetReset(p, 0);
        return 0;
    }
    if (s.directPortIo) {
        // Clear the direction bit so that the data lines drive the cable.
        uint8_t control = p.port.ReadControl(s.portBase);
        p.port.WriteControl(s.portBase, static_cast<uint8_t>(control & ~kDirectionBit));
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
    if (s.adapterKind == AdapterKind::Serial) {
        if (OpenSerialPort(p) != 0)
            return 1;
        SetReset(p, 1);
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
        uint8_t control = p.port.ReadControl(base);
        WaitMs(p, 50);
        p.port.WriteControl(base, static_cast<uint8_t>(control | kDirectionBit));
        WaitMs(p, 50);
        p.port.WriteData(base, 0xC0);
        WaitMs(p, 50);
        if (p.port.ReadData(base) != 0xC0)
            return 0;
        WaitMs(p, 50);
        p.port.WriteData(base, 0x00);
        WaitMs(p, 50);
        WaitMs(p, 10);
        if (p.port.ReadData(base) != 0x00)
            return 0;
        WaitMs(p, 50);
        p.port.WriteControl(base, static_cast<uint8_t>(control & ~kDirectionBit));
    }
    s.dataLatch |= kResetBit;
    WritePort(p);
    return 0;
}

}  // namespace ostrel::adapter
