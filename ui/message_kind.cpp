#include "ui/message_kind.h"

#include <array>

#include "devices/device_file.h"
#include "dialogs/help.h"
#include "platform/texts.h"

namespace ostrel::ui {

namespace {

struct TitleKind {
    std::string_view title;
    MessageKind kind;
};

constexpr std::array kTitles = {
    TitleKind{texts::kTitleError, MessageKind::Error},
    TitleKind{texts::kTitleErrorLoud, MessageKind::Error},
    TitleKind{texts::kTitleErrorBang, MessageKind::Error},
    TitleKind{texts::kTitleErrorCaps, MessageKind::Error},
    TitleKind{texts::kTitleWarning, MessageKind::Warning},
    TitleKind{texts::kTitleWarningColon, MessageKind::Warning},
    // "Unknown devicecode!": Check found a chip the device file does not know.
    TitleKind{texts::kTitleOstrel, MessageKind::Warning},
    // Lines of the device file left out of the device list.
    TitleKind{devices::kDeviceFileName, MessageKind::Warning},
    TitleKind{texts::kTitleInfo, MessageKind::Information},
    TitleKind{dialogs::kAboutTitle, MessageKind::Information},
};

bool SaysError(std::string_view text) {
    for (std::size_t i = 0; i + 5 <= text.size(); ++i) {
        std::string_view word = text.substr(i, 5);
        if (word == "Error" || word == "error" || word == "ERROR")
            return true;
    }
    return false;
}

}  // namespace

MessageKind KindOf(std::string_view title, std::string_view text, MsgButtons buttons) {
    for (const TitleKind& known : kTitles) {
        if (known.title == title)
            return known.kind;
    }
    if (title.empty())
        return SaysError(text) ? MessageKind::Error : MessageKind::Warning;
    return buttons != MsgButtons::Ok ? MessageKind::Question : MessageKind::Information;
}

}  // namespace ostrel::ui
