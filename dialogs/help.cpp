#include "dialogs/help.h"

#include <cstdio>
#include <filesystem>

#include "core/ids.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "platform/texts.h"

namespace ostrel::dialogs {

namespace {

constexpr const char* kNotFound = texts::kHelpNotFound;

void SayNotFound(Programmer& p) {
    p.windows.MessageBox(ids::kNoOwner, kNotFound, texts::kTitleError, MsgButtons::Ok,
                         MessageKind::Error);
}

}  // namespace

std::string FindHelpPage(const Programmer& p) {
    std::string path = ResolvePath(p.currentDirectory, kHelpPageName);
    // Opening a folder for reading succeeds on Linux, so ask for a plain file first.
    std::error_code error;
    if (!std::filesystem::is_regular_file(FsPath(path), error))
        return {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {};
    std::fclose(file);
    return path;
}

void HelpTopics(Programmer& p) {
    std::string path = FindHelpPage(p);
    if (path.empty()) {
        SayNotFound(p);
        return;
    }
    // Whether the user's program could show it is not checked: nothing is said either way.
    p.windows.OpenDocument(path);
}

std::string NoBrowserText() {
    return std::string(
               "No web browser was found on this computer to show the project's page.\n\n"
               "New versions of Ostrel are announced at\n") +
           kProjectPage +
           "\n\nThe section Versions of the help page (Help > Help Topics) says what this "
           "version brought.";
}

void LookForNewVersion(Programmer& p) {
    if (p.windows.OpenDocument(kProjectPage))
        return;
    p.windows.MessageBox(ids::kNoOwner, NoBrowserText(), "Ostrel", MsgButtons::Ok,
                         MessageKind::Information);
}

std::string AboutText(const Programmer& p) {
    return std::string(kAboutCredit) + "\nHelp: " + ResolvePath(p.currentDirectory, kHelpPageName) +
           " (Help > Help Topics)\n";
}

void About(Programmer& p) {
    p.windows.MessageBox(ids::kNoOwner, AboutText(p), kAboutTitle, MsgButtons::Ok,
                         MessageKind::Information);
}

void WiringDialog::OnCommand(int id) {
    if (id == ids::kOkCommand || id == ids::kCancelCommand)
        windows_.EndWindow(ids::kWiringDialog, 1);
}

int ShowWiringPicture(Programmer& p) {
    WiringDialog dialog(p.windows);
    return p.windows.RunModalDialog(ids::kWiringDialog, ids::kMainWindow, dialog);
}

}  // namespace ostrel::dialogs
