#include "ui/cable_test.h"

namespace ostrel::ui {

std::string CableTestIntro(std::string_view portName) {
    return "Port " + std::string(portName) +
           ": RESET, SCK and MOSI go high and low one at a time, each state held " +
           std::to_string(adapter::kCableTestPauseMs / 1000) +
           " s. Follow them with an LED or a meter at the target's connector; MISO and the "
           "loop-back inputs are read all the while.";
}

std::string CableTestVerdictLine(const adapter::CableTestResult& result) {
    std::string text(adapter::VerdictText(result.verdict));
    if (result.stopped && result.verdict != adapter::CableVerdict::Unknown)
        return "Stopped. " + text;
    if (result.stopped)
        return "Stopped before the loop-backs were driven.";
    return text;
}

adapter::CableReading WidestCableReading() {
    adapter::CableReading widest;
    widest.step = "start: all low (target held in reset)";
    widest.serial = true;
    return widest;
}

CableTestFlow::Row CableTestFlow::Take(const adapter::CableReading& reading) {
    Row row{adapter::FormatReading(reading), rowOpen_};
    rowOpen_ = !reading.final;
    return row;
}

bool CableTestFlow::Press() {
    if (!running_)
        return true;
    stopRequested_ = true;
    return false;
}

std::string CableTestFlow::Finish(const adapter::CableTestResult& result) {
    running_ = false;
    return CableTestVerdictLine(result);
}

}  // namespace ostrel::ui
