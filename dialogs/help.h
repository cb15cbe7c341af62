// The Help menu and the wiring picture: the help page of the start folder,
// the About box and the picture of the parallel-port cable. None of them
// touches the adapter or the programmer's state.
#pragma once

#include <string>

#include "core/programmer.h"
#include "core/window_system.h"

namespace ostrel::dialogs {

// Name of the help page, looked for in the current directory.
inline constexpr const char* kHelpPageName = "ostrel-hlp.htm";
// Anchor of the help page's section about new versions.
inline constexpr const char* kVersionsAnchor = "#versions";

// Full path of the help page in the current directory, or an empty string
// when no readable file of that name is there (a folder of that name does
// not count).
std::string FindHelpPage(const Programmer& p);

// Help Topics: opens the help page of the current directory, or says
// "ostrel-hlp.htm not found!".
void HelpTopics(Programmer& p);

// The project's web page, where new versions are announced.
inline constexpr const char* kProjectPage = "https://ostrel.example.org/";

// Look for new version: opens the project's page in the desktop's browser;
// where no browser can show it, says where to look.
void LookForNewVersion(Programmer& p);
// What Look for new version says when no browser can show the page.
std::string NoBrowserText();

// About: the program's name, version and makers, and where Help Topics
// looks for the help page (the current folder: the start folder, beside
// ostrel.ini, unless File > Open has just moved it).
void About(Programmer& p);
// The About box's title, its credit line, and its whole text.
inline constexpr const char* kAboutTitle = "Ostrel  V3.3";
inline constexpr const char* kAboutCredit =
    "Ostrel - in-system programmer for AVR chips, 2026 The Ostrel developers";
std::string AboutText(const Programmer& p);

// Behaviour of the wiring picture dialog: it has no buttons; Enter (1) and
// Escape or the close box (2) end it with 1.
class WiringDialog : public DialogHandler {
  public:
    explicit WiringDialog(WindowSystem& windows) : windows_(windows) {}
    void OnInit() override {}
    void OnCommand(int id) override;

  private:
    WindowSystem& windows_;
};

// Opens the wiring picture over the main window; returns when it is closed,
// with the dialog's result (1).
int ShowWiringPicture(Programmer& p);

}  // namespace ostrel::dialogs
