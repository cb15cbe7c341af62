// The cable test's sequence of line states, built on the line operations, so
// every line goes out exactly as the programming commands drive it (with the
// inversion of the Cablet1 cable when that cable was detected).
#include "adapter/cable_test.h"

#include <algorithm>
#include <cstdio>

#include "adapter/adapter.h"
#include "platform/texts.h"

namespace ostrel::adapter {

namespace {

enum class Line { Reset, Sck, Mosi };

struct Step {
    std::string_view name;
    Line line;
    int level;
};

// One line at a time, high then low, so a wire that carries the wrong
// signal, or none, shows as an LED that lights at the wrong step.
constexpr Step kSteps[] = {
    {"RESET high", Line::Reset, 1}, {"RESET low", Line::Reset, 0}, {"SCK high", Line::Sck, 1},
    {"SCK low", Line::Sck, 0},      {"MOSI high", Line::Mosi, 1},  {"MOSI low", Line::Mosi, 0},
};
constexpr std::string_view kStartStep = "start: all low (target held in reset)";
constexpr std::string_view kEndStep = "end: RESET high (target runs)";

bool IsSerial(const Programmer& p) {
    return p.state.adapterKind == AdapterKind::Serial;
}

// Reads the inputs once: one port access, as ReadMiso makes it; on a serial
// port the same modem status read also gives DSR and RI.
void ReadInputs(Programmer& p, CableReading& r) {
    r.miso = ReadMiso(p);
    r.serial = IsSerial(p);
    r.dsr = r.serial && (p.state.modemStatus & kMsDsrOn) != 0;
    r.ri = r.serial && (p.state.modemStatus & kMsRingOn) != 0;
}

bool SameInputs(const CableReading& a, const CableReading& b) {
    return a.miso == b.miso && a.dsr == b.dsr && a.ri == b.ri;
}

// Holds the present state for pauseMs, reading the inputs every poll and
// showing a live reading whenever they change. False when the user stopped.
bool Hold(Programmer& p, const CableTestHooks& hooks, CableReading& r, uint32_t pauseMs) {
    ReadInputs(p, r);
    r.final = false;
    if (hooks.show)
        hooks.show(r);
    const uint32_t t0 = p.clock.TickMs();
    for (;;) {
        if (hooks.idle && !hooks.idle())
            return false;
        const uint32_t elapsed = p.clock.TickMs() - t0;
        if (elapsed >= pauseMs)
            return true;
        WaitMs(p, std::min(kCableTestPollMs, pauseMs - elapsed));
        CableReading now = r;
        ReadInputs(p, now);
        if (!SameInputs(now, r) && hooks.show)
            hooks.show(now);
        r = now;
    }
}

void Finish(const CableTestHooks& hooks, CableTestResult& result, CableReading r) {
    r.final = true;
    if (hooks.show)
        hooks.show(r);
    result.readings.push_back(r);
}

const CableReading* Find(const CableTestResult& result, std::string_view step) {
    for (const CableReading& r : result.readings)
        if (r.step == step)
            return &r;
    return nullptr;
}

CableVerdict Judge(const Programmer& p, const CableTestResult& result) {
    if (!IsSerial(p))
        return CableVerdict::Parallel;
    const CableReading* resetHigh = Find(result, "RESET high");
    const CableReading* resetLow = Find(result, "RESET low");
    const CableReading* mosiHigh = Find(result, "MOSI high");
    const CableReading* mosiLow = Find(result, "MOSI low");
    if (!resetHigh || !resetLow || !mosiHigh || !mosiLow)
        return CableVerdict::Unknown;
    // RESET is the break state on every serial cable, so RI must follow it.
    if (resetHigh->ri && !resetLow->ri)
        return CableVerdict::Cablet1;
    // MOSI is DTR, inverted when a Cablet1 cable was detected.
    const bool inverted = p.state.cablet1 != 0;
    const CableReading* dtrSet = inverted ? mosiLow : mosiHigh;
    const CableReading* dtrClear = inverted ? mosiHigh : mosiLow;
    if (dtrSet->dsr && !dtrClear->dsr)
        return CableVerdict::Cablet2;
    return CableVerdict::NoLoopBack;
}

}  // namespace

CableTestResult RunCableTest(Programmer& p, const CableTestHooks& hooks, uint32_t pauseMs) {
    CableTestResult result;
    ProgrammerState& s = p.state;
    CableReading r;
    if (IsSerial(p)) {
        if (OpenSerialPort(p) != 0) {
            result.status = 1;
            return result;
        }
        // The detection decides whether SCK and MOSI are inverted, as it does
        // for every command. Finding no loop-back is no reason to stop: the
        // lines then follow the plain wiring, and the readings below show
        // which loop-back wire is missing.
        DetectSerialAdapter(p);
        SetReset(p, 0);
        SetSck(p, 0);
        SetMosi(p, 0);
    } else {
        if (!s.directPortIo && !s.dlPortIoLoaded) {
            s.errorText.Assign(texts::kDlportioNotInstalled);
            result.status = 1;
            return result;
        }
        // Data lines to output, all three cable lines low.
        HoldTargetInReset(p);
    }
    r.step = kStartStep;
    bool going = Hold(p, hooks, r, pauseMs);
    Finish(hooks, result, r);

    for (const Step& step : kSteps) {
        if (!going)
            break;
        r.step = step.name;
        switch (step.line) {
            case Line::Reset:
                SetReset(p, step.level);
                r.reset = step.level;
                break;
            case Line::Sck:
                SetSck(p, step.level);
                r.sck = step.level;
                break;
            case Line::Mosi:
                SetMosi(p, step.level);
                r.mosi = step.level;
                break;
        }
        going = Hold(p, hooks, r, pauseMs);
        Finish(hooks, result, r);
    }
    result.stopped = !going;
    result.verdict = Judge(p, result);

    ReleaseTarget(p);
    r = CableReading{};
    r.step = kEndStep;
    r.reset = 1;
    ReadInputs(p, r);
    Finish(hooks, result, r);
    return result;
}

std::string FormatReading(const CableReading& r) {
    char text[160];
    int n = std::snprintf(text, sizeof text, "%-38.*s RESET %d  SCK %d  MOSI %d  | MISO %d",
                          static_cast<int>(r.step.size()), r.step.data(), r.reset, r.sck, r.mosi,
                          r.miso);
    std::string line(text,
                     static_cast<size_t>(std::clamp(n, 0, static_cast<int>(sizeof text) - 1)));
    if (r.serial) {
        line += r.dsr ? "  DSR 1" : "  DSR 0";
        line += r.ri ? "  RI 1" : "  RI 0";
    }
    return line;
}

std::string_view VerdictText(CableVerdict verdict) {
    switch (verdict) {
        case CableVerdict::Parallel:
            return "parallel cable: it has no loop-back to check";
        case CableVerdict::Cablet1:
            return "Cablet1: RI followed RESET (break looped back to RI)";
        case CableVerdict::Cablet2:
            return "Cablet2: DSR followed MOSI (DTR looped back to DSR)";
        case CableVerdict::NoLoopBack:
            return "no loop-back answered: neither RI followed RESET nor DSR followed DTR "
                   "(a plain cable, or the loop-back wire is broken)";
        case CableVerdict::Unknown:
            break;
    }
    return "stopped before the loop-backs were driven";
}

}  // namespace ostrel::adapter
