// The cable test's sequence of line states, built on the line operations, so
// every line goes out exactly as the programming commands drive it (with the
// inversion of the Cablet1 cable when that cable was detected).
#include "adapter/cable_test.h"

#include <algorithm>
#include <cstdio>
#include <vector>

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
    r.modemStatus = r.serial ? p.state.modemStatus : 0;
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

// The steps that drive a port output high and low: the signal the cable in
// use wires to it, swapped when the cable inverts that signal. False when no
// signal of the cable drives the output.
bool StepsOf(const CableProfile& cable, PcLine out, std::string_view* on, std::string_view* off) {
    const Wire* wires[] = {&cable.reset, &cable.sck, &cable.mosi};
    const Line lines[] = {Line::Reset, Line::Sck, Line::Mosi};
    for (size_t i = 0; i < std::size(wires); ++i) {
        if (wires[i]->line != out)
            continue;
        for (const Step& step : kSteps) {
            if (step.line != lines[i])
                continue;
            const bool high = (step.level != 0) != wires[i]->inverted;
            *(high ? on : off) = step.name;
        }
        return true;
    }
    return false;
}

CableVerdict Judge(const Programmer& p, const CableTestResult& result) {
    if (!IsSerial(p))
        return ActiveCable(p.state).verdict;
    const CableProfile& active = ActiveCable(p.state);
    struct Check {
        const CableProfile* cable;
        const CableReading* on;
        const CableReading* off;
    };
    std::vector<Check> checks;
    for (const CableProfile& cable : CableProfiles()) {
        if (cable.port != AdapterKind::Serial || !cable.hasLoopBack)
            continue;
        std::string_view on;
        std::string_view off;
        if (!StepsOf(active, cable.loopBack.out, &on, &off))
            continue;
        Check check{&cable, Find(result, on), Find(result, off)};
        if (!check.on || !check.off)
            return CableVerdict::Unknown;
        checks.push_back(check);
    }
    // In the order of the detection: the first loop-back whose input followed
    // its output both ways names the cable.
    for (const Check& c : checks) {
        const uint32_t in = ModemStatusMask(c.cable->loopBack.in);
        if ((c.on->modemStatus & in) != 0 && (c.off->modemStatus & in) == 0)
            return c.cable->verdict;
    }
    return CableVerdict::NoLoopBack;
}

}  // namespace

CableTestResult RunCableTest(Programmer& p, const CableTestHooks& hooks, uint32_t pauseMs) {
    CableTestResult result;
    ProgrammerState& s = p.state;
    CableReading r;
    if (s.adapterKind != AdapterKind::Parallel) {
        if (OpenPort(p) != 0) {
            result.status = 1;
            return result;
        }
        // The detection decides whether SCK and MOSI are inverted, as it does
        // for every command. Finding no loop-back is no reason to stop: the
        // lines then follow the plain wiring, and the readings below show
        // which loop-back wire is missing.
        if (IsSerial(p))
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
    // The chip sees RESET high a few of its clock cycles later and only then
    // lets go of MISO: read the end state after a moment.
    WaitMs(p, 1);
    r = CableReading{};
    r.step = kEndStep;
    r.reset = 1;
    ReadInputs(p, r);
    Finish(hooks, result, r);
    if (p.portLost) {
        // The readings after the loss are not the cable's.
        result.status = 1;
        s.errorText.Assign(p.portLostText);
    }
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
        case CableVerdict::NoLoopBack:
            return "no loop-back answered: neither RI followed RESET nor DSR followed DTR "
                   "(a plain cable, or the loop-back wire is broken)";
        case CableVerdict::Unknown:
            return "stopped before the loop-backs were driven";
        default:
            break;
    }
    for (const CableProfile& cable : CableProfiles())
        if (cable.verdict == verdict && !cable.verdictText.empty())
            return cable.verdictText;
    return "stopped before the loop-backs were driven";
}

}  // namespace ostrel::adapter
