#include "image/file_names.h"

#include "platform/paths.h"

namespace ostrel::image {

std::string CurrentFilePath(const Programmer& p) {
    return ResolvePath(p.currentDirectory, p.state.currentFileName.view());
}

std::string HexTmpPath(const Programmer& p) {
    return ResolvePath(p.state.startDirectory.view(), kHexTmpName);
}

std::string SiblingFilePath(const Programmer& p, std::string_view extension) {
    std::string sibling = SiblingName(p.state.currentFileName.view(), extension);
    if (sibling.empty())
        return {};
    // PROG.HEX has its PROG.EEP and PROG.SCR.
    return ExistingSpelling(ResolvePath(p.currentDirectory, sibling));
}

}  // namespace ostrel::image
