// What the window systems of the window front-ends keep alike, free of any
// toolkit: what ending each window of the program does, by its number, and
// the message boxes shown, as the tests and the screenshot tools read them.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/window_system.h"

namespace ostrel::ui {

class WindowEnds {
  public:
    // What ending `window` does from now on (it replaces what was set before).
    void Set(int window, std::function<void(int result)> onEnd);
    void Remove(int window);
    // Ends `window` with `result`; a window that is not there, or has no end
    // of its own, is left alone. False then.
    bool End(int window, int result) const;

  private:
    std::map<int, std::function<void(int result)>> ends_;
};

// The answer a script gives the next message box: the first of `answers`,
// taken from them, and OK once none is left; a box with only OK is answered
// OK whatever the script says, its answer still taken.
MsgResult TakeScriptedAnswer(std::deque<MsgResult>& answers, MsgButtons buttons);

// The message boxes shown, as "title: text", in their order.
template <class Shown>
std::vector<std::string> TitledTexts(const std::vector<Shown>& shown) {
    std::vector<std::string> out;
    out.reserve(shown.size());
    for (const Shown& message : shown)
        out.push_back(message.title + ": " + message.text);
    return out;
}

}  // namespace ostrel::ui
