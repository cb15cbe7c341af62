// The path rules of both styles, on whichever system the tests run.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {
namespace {

constexpr PathStyle kPosix = PathStyle::Posix;
constexpr PathStyle kWindows = PathStyle::Windows;

TEST(Paths, SeparatorsNamesAndAbsolutePathsFollowTheStyle) {
    const struct {
        const char* path;
        PathStyle style;
        const char* name;
        bool absolute;
    } kCases[] = {
        {"/home/ada/blink.hex", kPosix, "blink.hex", true},
        {"blink.hex", kPosix, "blink.hex", false},
        {"dir\\blink.hex", kPosix, "dir\\blink.hex", false},  // a backslash is a letter
        {"C:\\Users\\ada\\blink.hex", kWindows, "blink.hex", true},
        {"C:/Users/ada/blink.hex", kWindows, "blink.hex", true},
        {"c:\\blink.hex", kWindows, "blink.hex", true},
        {"C:blink.hex", kWindows, "C:blink.hex", false},  // drive C's own current folder
        {"\\\\server\\share\\blink.hex", kWindows, "blink.hex", true},
        {"\\blink.hex", kWindows, "blink.hex", true},
        {"dir/sub\\blink.hex", kWindows, "blink.hex", false},
        {"", kWindows, "", false},
        {"folder\\", kWindows, "", false},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FileNameOf(c.path, c.style), c.name) << c.path;
        EXPECT_EQ(IsAbsolutePath(c.path, c.style), c.absolute) << c.path;
    }
    EXPECT_EQ(LastSeparator("a/b\\c", kPosix), 1u);
    EXPECT_EQ(LastSeparator("a/b\\c", kWindows), 3u);
    EXPECT_EQ(LastSeparator("abc", kWindows), std::string::npos);
}

TEST(Paths, JoiningPutsOneSeparatorAndKeepsAbsoluteNames) {
    const struct {
        const char* directory;
        const char* name;
        PathStyle style;
        const char* joined;
    } kCases[] = {
        {"/home/ada", "ostrel.ini", kPosix, "/home/ada/ostrel.ini"},
        {"/home/ada/", "ostrel.ini", kPosix, "/home/ada/ostrel.ini"},
        {"/", "ostrel.ini", kPosix, "/ostrel.ini"},
        {"/home/ada", "/etc/ostrel.ini", kPosix, "/etc/ostrel.ini"},
        {"", "ostrel.ini", kPosix, "ostrel.ini"},
        {"C:\\Ostrel", "ostrel.ini", kWindows, "C:\\Ostrel\\ostrel.ini"},
        {"C:\\", "ostrel.ini", kWindows, "C:\\ostrel.ini"},
        {"C:/Ostrel/", "ostrel.ini", kWindows, "C:/Ostrel/ostrel.ini"},
        {"C:\\Ostrel", "D:\\x.hex", kWindows, "D:\\x.hex"},
        {"C:\\Ostrel", "\\\\pc\\share\\x.hex", kWindows, "\\\\pc\\share\\x.hex"},
        {"C:\\Ostrel", "sub\\x.hex", kWindows, "C:\\Ostrel\\sub\\x.hex"},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(JoinPath(c.directory, c.name, c.style), c.joined)
            << c.directory << " + " << c.name;
}

// Windows' file calls stop at 259 characters: a longer path is refused and
// said why, never cut into the name of another file.
TEST(Paths, AWindowsPathOverTheLimitIsRefusedWithItsLength) {
    const std::string longest = "C:\\" + std::string(kMaxWindowsPath - 3, 'a');
    EXPECT_EQ(PathLengthProblem(longest, kWindows), std::nullopt);
    std::optional<std::string> problem = PathLengthProblem(longest + "b", kWindows);
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find("260 characters"), std::string::npos) << *problem;
    EXPECT_NE(problem->find("at most 259"), std::string::npos) << *problem;
    EXPECT_EQ(PathLengthProblem(longest + "b", kPosix), std::nullopt) << "no such limit on Linux";
}

TEST(Paths, FileSystemPathsKeepNonAsciiNames) {
    const std::string name = "Gr\u00fc\u00dfe \u20ac.hex";
    const std::u8string utf8 = FsPath(name).filename().u8string();
    EXPECT_EQ(std::string(utf8.begin(), utf8.end()), name);
    EXPECT_EQ(FsPath(name).string(), name);
}

TEST(Paths, TheRunningProgramKnowsItsOwnPath) {
    std::string program = OwnProgramPath();
    ASSERT_FALSE(program.empty());
    EXPECT_TRUE(IsAbsolutePath(program)) << program;
    EXPECT_NE(std::string(FileNameOf(program)).find("tests_platform"), std::string::npos)
        << program;
}

}  // namespace
}  // namespace ostrel
