#include "app/settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>

#include "app/commands.h"
#include "core/ids.h"
#include "platform/file_system.h"
#include "platform/gpio_wiring.h"
#include "platform/port_names.h"
#include "platform/text_file.h"

namespace ostrel::app {

namespace {

constexpr long kSpeedOffset = 6;
// Speed Auto: a character no earlier program wrote, which those read as High.
constexpr char kAutoSpeedChar = 'A';
constexpr long kModeOffset = 7;
constexpr long kModemLinesOffset = 8;
constexpr long kGpioOffset = 9;
constexpr std::size_t kGpioLength = 18;  // up to offset 27
constexpr long kOfferLineFeedOffset = 27;
constexpr long kOfferOffset = 29;
constexpr long kPathLineFeedOffset = 30;
constexpr long kPathOffset = 32;
constexpr long kReservedOffset = 303;
// Our addition: a port name that is none of the four-character names (COM12,
// /dev/ttyUSB0) is stored whole after the reserved offset, and offset 0
// holds kLongPortMark, which no earlier program takes for a port (it falls
// back to its default there). The field: the name, then zero bytes.
constexpr long kLongPortOffset = kReservedOffset;
constexpr std::size_t kLongPortLength = kMaxPortNameLength + 1;
constexpr std::string_view kLongPortMark = "PORT";
constexpr std::string_view kPathTail = "                    ";  // 20 blanks after the zero byte

// Larger than any settings file the program writes (303 bytes and the
// reserved area after them, where a long port name goes); a file beyond it is not ours to rewrite.
constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

// The settings file, read whole when it is opened (for reading and writing,
// as the system opens it: a file the user may not write is not written).
// The writers change bytes at their offsets, leaving every other byte as it
// was, and the file is written back whole, through a temporary file that
// takes its place, when it goes out of scope: a run that stops half-way
// never leaves a half-written settings file.
class SettingsFile {
  public:
    SettingsFile(const std::string& directory, bool createIfMissing)
        : path_(ResolvePath(directory, kSettingsFile)) {
        std::FILE* file = OpenPlainFile(path_, "r+b");
        if (file == nullptr && errno == ENOENT && createIfMissing) {
            // The start-up creates the file, empty; a folder or a FIFO of
            // that name stays as it is.
            TextWriter created;
            if (created.Create(path_) && created.Close())
                file = OpenPlainFile(path_, "r+b");
        }
        if (file == nullptr)
            return;
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 &&
               bytes_.size() <= kMaxSettingsBytes)
            bytes_.append(buffer, n);
        const bool failed = std::ferror(file) != 0;
        std::fclose(file);
        open_ = !failed && bytes_.size() <= kMaxSettingsBytes;
    }
    ~SettingsFile() {
        if (!changed_)
            return;
        TextWriter out;
        if (out.Create(path_)) {
            out.Write(bytes_);
            out.Close();  // a failure stores nothing, as a file that cannot be opened does
        }
    }
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    bool IsOpen() const { return open_; }

    // Writes text at an offset, each line feed stored as CR LF as a text-mode
    // write stores it; nothing ever reaches the reserved area. A file shorter
    // than the offset grows by zero bytes up to it, as a seek past its end
    // and a write make it.
    void WriteAt(long offset, std::string_view text, long end = kReservedOffset) {
        std::string bytes;
        for (char c : text) {
            if (c == '\n')
                bytes.push_back('\r');
            bytes.push_back(c);
        }
        if (!open_ || offset < 0 || offset + static_cast<long>(bytes.size()) > end)
            return;
        const auto at = static_cast<std::size_t>(offset);
        if (bytes_.size() < at + bytes.size()) {
            bytes_.resize(at + bytes.size(), '\0');
            changed_ = true;
        }
        if (bytes_.compare(at, bytes.size(), bytes) != 0) {
            bytes_.replace(at, bytes.size(), bytes);
            changed_ = true;
        }
    }

    // Reads up to `max` characters from an offset as a text-mode read would:
    // CR LF counts as one line feed, and reading stops after a line feed.
    std::string ReadLineAt(long offset, std::size_t max) const {
        std::string out;
        if (!open_ || offset < 0)
            return out;
        for (auto i = static_cast<std::size_t>(offset); i < bytes_.size() && out.size() < max;
             ++i) {
            char c = bytes_[i];
            if (c == '\r' && i + 1 < bytes_.size() && bytes_[i + 1] == '\n') {
                c = '\n';
                ++i;
            }
            out.push_back(c);
            if (c == '\n')
                break;
        }
        return out;
    }

    // One byte at an offset, or -1 when the file is shorter.
    int ByteAt(long offset) const {
        if (!open_ || offset < 0 || static_cast<std::size_t>(offset) >= bytes_.size())
            return -1;
        return static_cast<unsigned char>(bytes_[static_cast<std::size_t>(offset)]);
    }

  private:
    std::string path_;
    std::string bytes_;
    bool open_ = false;
    bool changed_ = false;
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

// A port name of the Port menu's fixed items goes at offset 0 as it always
// has; any other the mark there and the whole name after the reserved offset.
void WritePortName(SettingsFile& cfg, std::string_view name) {
    if (name.empty() || PortCommand(name) != 0) {
        cfg.WriteAt(0, PortField(name));
        // A whole name stored before has no meaning now: it goes, so the
        // file is as the system always made it.
        if (cfg.ByteAt(kLongPortOffset) > 0)
            cfg.WriteAt(kLongPortOffset, std::string(kLongPortLength, '\0'),
                        kLongPortOffset + static_cast<long>(kLongPortLength));
        return;
    }
    std::string field(name.substr(0, kMaxPortNameLength));
    field.resize(kLongPortLength, '\0');
    cfg.WriteAt(0, kLongPortMark);
    cfg.WriteAt(kLongPortOffset, field, kLongPortOffset + static_cast<long>(kLongPortLength));
}

// The whole port name stored after the mark: the bytes up to the first zero
// byte, taken only when they are a serial port's name in the form the
// programmer gives it; empty otherwise.
std::string ReadLongPortName(const SettingsFile& cfg) {
    std::string name;
    for (long i = 0; i < static_cast<long>(kLongPortLength); ++i) {
        int c = cfg.ByteAt(kLongPortOffset + i);
        if (c <= 0)
            break;
        name.push_back(static_cast<char>(c));
    }
    if (name.size() > kMaxPortNameLength || !IsSerialPortName(name))
        return {};
    return name;
}

// The port a first start takes, where no settings file says one: the
// parallel port with port access, as ever. Without it COM2, but where the
// ports were looked for and COM2 is not among them, the first port found,
// and with none found the simulator: a port that is not there would only
// fail the first command.
std::string FirstStartPort(const Programmer& p) {
    if (HasPortAccess(p.state))
        return "0378";
    if (!p.portsSearched)
        return "COM2";
    std::string first;
    for (const FoundPort& port : p.foundPorts) {
        if (port.name == "COM2")
            return port.name;
        if (first.empty() && port.name.size() <= kMaxPortNameLength &&
            (PortCommand(port.name) != 0 || IsSerialPortName(port.name)))
            first = port.name;
    }
    return first.empty() ? "SIM" : first;
}

}  // namespace

void RestorePortAndSpeed(Programmer& p) {
    ProgrammerState& s = p.state;
    const std::string fallback = HasPortAccess(s) ? "0378" : "COM2";
    const char* defaultPort = fallback.c_str();
    // A folder, a FIFO or a device in the file's place is neither read
    // (a read from a FIFO would wait for ever) nor replaced: say so once.
    if (std::string kind = NotAFile(ResolvePath(p.currentDirectory, kSettingsFile));
        !kind.empty()) {
        p.windows.MessageBox(ids::kNoOwner,
                             std::string(kSettingsFile) + " in " + p.currentDirectory + ": " +
                                 kind + ".\nPort, speed and the last file are not read or stored.",
                             kSettingsFile, MsgButtons::Ok, MessageKind::Warning);
    }
    bool existed = false;
    {
        SettingsFile file(p.currentDirectory, false);
        existed = file.IsOpen();
    }
    if (!existed)
        s.portName.Assign(FirstStartPort(p));
    SettingsFile cfg(p.currentDirectory, true);
    std::string stored = cfg.ReadLineAt(0, 4);
    // A zero byte ends the name, as it ends a C string read from the file.
    stored.resize(std::min(stored.size(), stored.find('\0')));
    // Only a name of the Port menu is a stored port. Anything else ("COM9",
    // "Com1", a damaged file) would select no port at all and leave the
    // adapter on a parallel port that may not be reachable; it counts as no
    // stored port, and the default is used and saved in its place.
    // The mark stands for a whole name stored further on (COM12,
    // /dev/ttyUSB0): taken when it is one; otherwise as any other unknown name.
    // At offset 0 itself only a fixed item's name counts, as it always has.
    const bool whole = stored == kLongPortMark;
    if (whole)
        stored = ReadLongPortName(cfg);
    if (!stored.empty() || whole)
        s.portName.Assign(
            whole ? (stored.empty() ? defaultPort : std::string_view(stored))
                  : (PortCommand(stored) != 0 ? std::string_view(stored) : defaultPort));
    // Without parallel port access a stored parallel port gives way to COM2.
    // The simulator's port name counts as serial, as it needs no port access.
    if (!HasPortAccess(s) && s.portName.at(0) != 'C' && s.portName.view() != "SIM" &&
        s.portName.view() != "GPIO" && !IsSerialPortName(s.portName.view())) {
        s.portName.Assign("COM2");
    }
    WritePortName(cfg, s.portName.view());

    for (int item : {ids::kSpeedLow, ids::kSpeedMedium, ids::kSpeedHigh, ids::kSpeedAuto})
        p.windows.CheckMenuItem(item, false);
    // A new file starts with Auto, and keeps it; a file of before keeps its
    // speed, read as it always was (anything unknown is High).
    if (!existed)
        cfg.WriteAt(kSpeedOffset, std::string_view(&kAutoSpeedChar, 1));
    int c = cfg.ByteAt(kSpeedOffset);
    s.autoSpeed = c == kAutoSpeedChar ? 1 : 0;
    s.speed = (c >= '0' && c <= '3') ? c - '0' : 3;
    p.windows.CheckMenuItem(s.autoSpeed ? ids::kSpeedAuto : kSpeedItems[s.speed], true);

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
    char c = p.state.autoSpeed ? kAutoSpeedChar : static_cast<char>('0' + p.state.speed);
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
    WritePortName(cfg, p.state.portName.view());
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
