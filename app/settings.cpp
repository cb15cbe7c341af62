#include "app/settings.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "app/commands.h"
#include "core/ids.h"
#include "platform/gpio_wiring.h"
#include "platform/text_file.h"

namespace ostrel::app {

namespace {

constexpr long kSpeedOffset = 6;
constexpr long kModeOffset = 7;
constexpr long kModemLinesOffset = 8;
constexpr long kGpioOffset = 9;
constexpr std::size_t kGpioLength = 18;  // up to offset 27
constexpr long kOfferLineFeedOffset = 27;
constexpr long kOfferOffset = 29;
constexpr long kPathLineFeedOffset = 30;
constexpr long kPathOffset = 32;
constexpr long kReservedOffset = 303;
constexpr std::string_view kPathTail = "                    ";  // 20 blanks after the zero byte

// The settings file, opened for reading and writing without truncation.
class SettingsFile {
  public:
    SettingsFile(const std::string& directory, bool createIfMissing) {
        std::string path = ResolvePath(directory, kSettingsFile);
        file_ = std::fopen(path.c_str(), "r+b");
        if (!file_ && createIfMissing)
            file_ = std::fopen(path.c_str(), "w+b");
    }
    ~SettingsFile() {
        if (file_)
            std::fclose(file_);
    }
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }

    // Writes text at an offset, each line feed stored as CR LF as a text-mode
    // write stores it; nothing ever reaches the reserved area.
    void WriteAt(long offset, std::string_view text) {
        std::string bytes;
        for (char c : text) {
            if (c == '\n')
                bytes.push_back('\r');
            bytes.push_back(c);
        }
        if (!file_ || offset < 0 || offset + static_cast<long>(bytes.size()) > kReservedOffset)
            return;
        if (std::fseek(file_, offset, SEEK_SET) != 0)
            return;
        std::fwrite(bytes.data(), 1, bytes.size(), file_);
        std::fflush(file_);
    }

    // Reads up to `max` characters from an offset as a text-mode read would:
    // CR LF counts as one line feed, and reading stops after a line feed.
    std::string ReadLineAt(long offset, std::size_t max) {
        std::string out;
        if (!file_ || std::fseek(file_, offset, SEEK_SET) != 0)
            return out;
        while (out.size() < max) {
            int c = std::fgetc(file_);
            if (c == EOF)
                break;
            if (c == '\r') {
                int next = std::fgetc(file_);
                if (next == '\n') {
                    c = '\n';
                } else if (next != EOF) {
                    std::ungetc(next, file_);
                }
            }
            out.push_back(static_cast<char>(c));
            if (c == '\n')
                break;
        }
        return out;
    }

    // One byte at an offset, or -1 when the file is shorter.
    int ByteAt(long offset) {
        if (!file_ || std::fseek(file_, offset, SEEK_SET) != 0)
            return -1;
        int c = std::fgetc(file_);
        return c == EOF ? -1 : c;
    }

  private:
    std::FILE* file_ = nullptr;
};

const int kSpeedItems[4] = {ids::kSpeedVeryLow, ids::kSpeedLow, ids::kSpeedMedium, ids::kSpeedHigh};

bool HasPortAccess(const ProgrammerState& s) {
    return s.directPortIo || s.dlPortIoLoaded;
}

// The path field: the path, a zero byte and 20 blanks. A path that could not
// be read back whole is not stored; an empty path is stored instead, so the
// next start never offers a different, shortened file name.
std::string PathField(const ProgrammerState& s) {
    std::string field;
    if (s.currentFileName.size() <= kMaxStoredPath)
        field = s.currentFileName.str();
    field.push_back('\0');
    field.append(kPathTail);
    return field;
}

// The port name field: four characters. The simulator's shorter name "SIM"
// is filled up with zero bytes, so no character of an earlier, longer name
// stays behind it; an empty name writes nothing.
std::string PortField(std::string_view name) {
    std::string field(name);
    if (!field.empty() && field.size() < 4)
        field.resize(4, '\0');
    return field;
}

}  // namespace

void RestorePortAndSpeed(Programmer& p) {
    ProgrammerState& s = p.state;
    const char* defaultPort = HasPortAccess(s) ? "0378" : "COM2";
    SettingsFile file(p.currentDirectory, false);
    if (!file.IsOpen()) {
        SettingsFile created(p.currentDirectory, true);
        s.portName.Assign(defaultPort);
    }
    SettingsFile cfg(p.currentDirectory, false);
    std::string stored = cfg.ReadLineAt(0, 4);
    // A zero byte ends the name, as it ends a C string read from the file.
    stored.resize(std::min(stored.size(), stored.find('\0')));
    // Only a name of the Port menu is a stored port. Anything else ("COM9",
    // "Com1", a damaged file) would select no port at all and leave the
    // adapter on a parallel port that may not be reachable; it counts as no
    // stored port, and the default is used and saved in its place.
    if (!stored.empty())
        s.portName.Assign(PortCommand(stored) != 0 ? std::string_view(stored) : defaultPort);
    // Without parallel port access a stored parallel port gives way to COM2.
    // The simulator's port name counts as serial, as it needs no port access.
    if (!HasPortAccess(s) && s.portName.at(0) != 'C' && s.portName.view() != "SIM" &&
        s.portName.view() != "GPIO") {
        s.portName.Assign("COM2");
    }
    cfg.WriteAt(0, PortField(s.portName.view()));

    for (int item : {ids::kSpeedLow, ids::kSpeedMedium, ids::kSpeedHigh})
        p.windows.CheckMenuItem(item, false);
    int c = cfg.ByteAt(kSpeedOffset);
    s.speed = (c >= '0' && c <= '3') ? c - '0' : 3;
    p.windows.CheckMenuItem(kSpeedItems[s.speed], true);

    s.mainWindow = ids::kMainWindow;
    cfg.ByteAt(kModeOffset);  // the saved selection mode is read and not used
    s.manualDevice = 0;

    s.modemLinesOnly = cfg.ByteAt(kModemLinesOffset) == '1' ? 1 : 0;
    p.windows.CheckMenuItem(ids::kModemLinesOnly, s.modemLinesOnly != 0);
    std::string lines = cfg.ReadLineAt(kGpioOffset, kGpioLength);
    lines.resize(std::min(lines.size(), lines.find('\0')));
    GpioWiring wiring;
    std::string problem;
    if (ParseGpioWiring(lines, &wiring, &problem))
        s.gpioLines.Assign(lines);
}

bool ReadReopenData(Programmer& p, bool* declined) {
    ProgrammerState& s = p.state;
    SettingsFile cfg(p.currentDirectory, false);
    if (!cfg.IsOpen())
        return false;
    std::string path = cfg.ReadLineAt(kPathOffset, kMaxStoredPath);
    std::size_t end = path.find_first_of(std::string_view("\0\n", 2));
    if (end != std::string::npos)
        path.resize(end);
    s.currentFileName.Assign(path);
    *declined = cfg.ByteAt(kOfferOffset) == '0';
    return true;
}

void StoreDecline(Programmer& p) {
    SettingsFile cfg(p.currentDirectory, false);
    cfg.WriteAt(kOfferOffset, "0");
}

void StoreSpeed(Programmer& p) {
    p.currentDirectory = p.state.startDirectory.str();
    SettingsFile cfg(p.currentDirectory, false);
    char c = static_cast<char>('0' + p.state.speed);
    cfg.WriteAt(kSpeedOffset, std::string_view(&c, 1));
}

bool StorePath(Programmer& p, bool withLineFeed) {
    SettingsFile cfg(p.currentDirectory, false);
    if (!cfg.IsOpen())
        return false;
    if (withLineFeed)
        cfg.WriteAt(kPathLineFeedOffset, "\n");
    cfg.WriteAt(kPathOffset, PathField(p.state));
    return true;
}

void StoreOfferFlag(Programmer& p) {
    p.currentDirectory = p.state.startDirectory.str();
    SettingsFile cfg(p.currentDirectory, false);
    cfg.WriteAt(kOfferLineFeedOffset, "\n");
    cfg.WriteAt(kOfferOffset, "1");
}

void SaveAtExit(Programmer& p) {
    p.currentDirectory = p.state.startDirectory.str();
    SettingsFile cfg(p.currentDirectory, false);
    cfg.WriteAt(0, PortField(p.state.portName.view()));
    char mode = static_cast<char>(p.state.manualDevice ? 1 : 0);
    cfg.WriteAt(kModeOffset, std::string_view(&mode, 1));
    // Our additions are written only once they hold something, so a file of
    // a run that never used them stays as the system has always made it.
    if (p.state.modemLinesOnly || cfg.ByteAt(kModemLinesOffset) == '1')
        cfg.WriteAt(kModemLinesOffset, p.state.modemLinesOnly ? "1" : "0");
    // The lines in their short form, filled up with zero bytes so nothing of
    // a longer earlier entry stays; lines that have no short form (a chip
    // named by a path of its own) are not stored.
    GpioWiring wiring;
    std::string problem;
    if (ParseGpioWiring(p.state.gpioLines.view(), &wiring, &problem)) {
        std::string field = ShortGpioWiringText(wiring);
        if (!field.empty() && field.size() <= kGpioLength) {
            field.resize(kGpioLength, '\0');
            cfg.WriteAt(kGpioOffset, field);
        }
    }
}

}  // namespace ostrel::app
