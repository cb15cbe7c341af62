#include "ui/window_ends.h"

#include <utility>

namespace ostrel::ui {

void WindowEnds::Set(int window, std::function<void(int result)> onEnd) {
    ends_[window] = std::move(onEnd);
}

void WindowEnds::Remove(int window) {
    ends_.erase(window);
}

bool WindowEnds::End(int window, int result) const {
    auto it = ends_.find(window);
    if (it == ends_.end() || !it->second)
        return false;
    // A copy: ending a window may set or remove ends.
    const std::function<void(int)> end = it->second;
    end(result);
    return true;
}

MsgResult TakeScriptedAnswer(std::deque<MsgResult>& answers, MsgButtons buttons) {
    MsgResult answer = MsgResult::Ok;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    return buttons == MsgButtons::Ok ? MsgResult::Ok : answer;
}

}  // namespace ostrel::ui
