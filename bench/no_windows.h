// A window system for the benchmarks: nothing is shown, and the few
// questions a run could ask are answered OK.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/model_window_system.h"

class NoWindows : public ostrel::ModelWindowSystem {
  public:
    ostrel::MsgResult MessageBox(int, std::string_view, std::string_view, ostrel::MsgButtons,
                                 ostrel::MessageKind) override {
        return ostrel::MsgResult::Ok;
    }
    std::optional<std::string> AskOpenFile(std::string_view, std::string_view, std::string_view,
                                           std::string_view) override {
        return std::nullopt;
    }
    int RunModalDialog(int, int, ostrel::DialogHandler&) override { return 0; }
};
