// Whether the desktop has a program that shows a web page or a folder in a
// window of its own, and starting it. xdg-open always "succeeds" in starting:
// on a machine without a browser it falls back to whatever handles the type,
// a terminal editor included, which then shows raw HTML in a terminal nobody
// sees. So the handler is looked at before anything is started: the desktop's
// default application for the type (xdg-mime), unless it is a terminal
// program, and for web pages Debian's x-www-browser.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QUrl>

namespace ostrel::qt {

struct LauncherEnvironment {
    std::string path;                          // the search path ($PATH)
    std::vector<std::string> applicationDirs;  // folders of .desktop files, first wins
    // The desktop's default application for a MIME type or URL scheme
    // ("x-scheme-handler/https", "inode/directory"): a desktop file id such as
    // "firefox-esr.desktop", or empty.
    std::function<std::string(const std::string& type)> defaultApplication;
};

// This machine's: PATH, the XDG application folders, and `xdg-mime query default`.
LauncherEnvironment SystemLauncherEnvironment();

struct Launcher {
    std::string program;  // started with the address as its one argument
    std::string name;     // what the user knows it as (the desktop file, the program)
};

// The program that shows things of `type` in a window: the default
// application, started through xdg-open, when it is no terminal program; for
// web pages (`web`) else x-www-browser. None when there is no such program.
std::optional<Launcher> FindLauncher(const LauncherEnvironment& environment, std::string_view type,
                                     bool web);

// The type FindLauncher is asked about for an address: its scheme handler for
// a web address, "inode/directory" for a folder.
std::string LauncherType(const QUrl& url);

// Where `program` is in the search path (an absolute name as it is when it
// is an executable file); empty when it is nowhere.
std::string FindInPath(const std::string& path, const std::string& program);

// The [Desktop Entry] values of a desktop file that matter here; a file that
// cannot be read, is too long or has no Exec line is no application.
struct DesktopEntry {
    std::string exec;
    bool terminal = false;
    bool hidden = false;
};
std::optional<DesktopEntry> ReadDesktopEntry(const std::string& file);

// Starts the launcher on the address; false when it could not be started.
bool StartLauncher(const Launcher& launcher, const QUrl& url);

}  // namespace ostrel::qt
