#include "qt/command_line.h"

#include <array>

namespace ostrel::qt {

namespace {

constexpr std::array kQtOptions = {
    ui::ToolkitOption{"platform", true},
    ui::ToolkitOption{"platformpluginpath", true},
    ui::ToolkitOption{"platformtheme", true},
    ui::ToolkitOption{"plugin", true},
    ui::ToolkitOption{"qwindowgeometry", true},
    ui::ToolkitOption{"qwindowicon", true},
    ui::ToolkitOption{"qwindowtitle", true},
    ui::ToolkitOption{"session", true},
    ui::ToolkitOption{"style", true},
    ui::ToolkitOption{"stylesheet", true},
    ui::ToolkitOption{"qmljsdebugger", true},
    ui::ToolkitOption{"dialogs", true},
    ui::ToolkitOption{"fontengine", true},
    // The X11 platform's.
    ui::ToolkitOption{"display", true},
    ui::ToolkitOption{"geometry", true},
    ui::ToolkitOption{"name", true},
    ui::ToolkitOption{"title", true},
    ui::ToolkitOption{"visual", true},
    ui::ToolkitOption{"reverse", false},
    ui::ToolkitOption{"widgetcount", false},
    ui::ToolkitOption{"nograb", false},
    ui::ToolkitOption{"dograb", false},
    ui::ToolkitOption{"sync", false},
    ui::ToolkitOption{"testability", false},
};

}  // namespace

std::span<const ui::ToolkitOption> QtOptions() {
    return kQtOptions;
}

}  // namespace ostrel::qt
