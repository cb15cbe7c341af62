#include "sim/sim_state_file.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/file_system.h"
#include "platform/paths.h"

namespace ostrel::sim {

namespace {

constexpr std::string_view kMagic = "OSTRLSIM";
constexpr uint8_t kVersion = 3;
constexpr uint8_t kVersionChanging = 4;
// The first format: the same layout, without real fuses for the chips below.
constexpr uint8_t kEarlierVersion = 1;
constexpr uint8_t kEarlierVersionChanging = 2;
constexpr std::size_t kMaxName = 31;
// No chip of the table comes near this; anything larger is not a state file,
// and reading stops here whatever the file's real size.
constexpr std::size_t kMaxFileBytes = 1u << 20;

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t GetU32(std::string_view bytes, std::size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + static_cast<std::size_t>(i)]))
             << (8 * i);
    }
    return v;
}

// A name from the file, safe to print in one line.
std::string Printable(std::string_view text) {
    std::string out;
    for (char c : text)
        out.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    return out;
}

// The chips whose fuse byte the first format holds as a stand-in, written
// before the simulator acted on their fuses: 0xFF, which reads now as SPIEN
// (or RCEN) unprogrammed, a chip that no longer answers although nobody
// changed its fuses. Their factory values take its place. The AT90S4433 and
// AT90S2333 kept the fuses written to them then, and answer with their
// stand-in as well: their files load as they are.
constexpr std::array<std::string_view, 5> kStandInFuseChips = {
    "AT90S2323", "AT90S2343", "AT90S4434", "AT90S8535", "ATtiny22"};

bool HoldsStandInFuses(uint8_t version, const ChipInfo& chip) {
    return (version == kEarlierVersion || version == kEarlierVersionChanging) &&
           std::ranges::find(kStandInFuseChips, chip.name) != kStandInFuseChips.end();
}

std::string Warning(const std::string& path, const std::string& reason, const ChipInfo& chip) {
    return "Simulated chip state file '" + path + "' " + reason + "; starting with a fresh " +
           std::string(chip.name) + ".";
}

}  // namespace

uint32_t Crc32(std::string_view bytes) {
    // zlib's crc32 takes at most 4 GiB a call; a state file is read only up
    // to kMaxFileBytes, but the loop keeps any length right.
    uLong c = crc32(0L, Z_NULL, 0);
    while (!bytes.empty()) {
        const std::size_t n = std::min<std::size_t>(bytes.size(), 1u << 30);
        c = crc32(c, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n));
        bytes.remove_prefix(n);
    }
    return static_cast<uint32_t>(c);
}

std::string DefaultStatePath(std::string_view directory) {
    return JoinPath(directory, kStateFileName);
}

std::string CutOffWarning(const std::string& path) {
    return "The simulated chip's contents are uncertain: a command that was changing them was "
           "cut off before it ended (" +
           path + "); read the chip or write it again.";
}

std::string FactoryFusesWarning(const std::string& path, const ChipInfo& chip) {
    return "The simulated " + std::string(chip.name) +
           "'s fuses were set to its factory values: its state file (" + path +
           ") comes from an earlier version of the program, which did not keep this chip's " +
           "fuses; its memories and lock bits are as they were.";
}

std::string EncodeChipState(const ChipInfo& chip, const ChipMemory& memory, bool changing) {
    std::string out;
    out.reserve(64 + memory.flash.size() + memory.eeprom.size());
    out.append(kMagic);
    out.push_back(static_cast<char>(changing ? kVersionChanging : kVersion));
    const std::string_view name = chip.name.substr(0, kMaxName);
    out.push_back(static_cast<char>(name.size()));
    out.append(name);
    PutU32(out, static_cast<uint32_t>(memory.flash.size()));
    PutU32(out, static_cast<uint32_t>(memory.eeprom.size()));
    out.push_back(static_cast<char>(memory.lock));
    for (uint8_t fuse : memory.fuses)
        out.push_back(static_cast<char>(fuse));
    out.append(reinterpret_cast<const char*>(memory.flash.data()), memory.flash.size());
    out.append(reinterpret_cast<const char*>(memory.eeprom.data()), memory.eeprom.size());
    PutU32(out, Crc32(out));
    return out;
}

bool DecodeChipState(std::string_view bytes, const ChipInfo& chip, ChipMemory* memory,
                     std::string* reason, bool* changing, bool* factoryFuses) {
    const std::size_t head = kMagic.size() + 2;
    if (bytes.size() < head || bytes.substr(0, kMagic.size()) != kMagic) {
        *reason = bytes.size() < kMagic.size() && kMagic.substr(0, bytes.size()) == bytes
                      ? "is truncated"
                      : "is not a simulator state file";
        return false;
    }
    const uint8_t version = static_cast<uint8_t>(bytes[kMagic.size()]);
    if (version != kVersion && version != kVersionChanging && version != kEarlierVersion &&
        version != kEarlierVersionChanging) {
        *reason = "has an unknown format version";
        return false;
    }
    const std::size_t nameLength = static_cast<uint8_t>(bytes[kMagic.size() + 1]);
    if (nameLength == 0 || nameLength > kMaxName) {
        *reason = "is damaged (bad chip name)";
        return false;
    }
    const std::size_t sizesAt = head + nameLength;
    const std::size_t dataAt = sizesAt + 8 + 4;
    if (bytes.size() < dataAt + 4) {
        *reason = "is truncated";
        return false;
    }
    const uint64_t flashBytes = GetU32(bytes, sizesAt);
    const uint64_t eepromBytes = GetU32(bytes, sizesAt + 4);
    const uint64_t total = dataAt + flashBytes + eepromBytes + 4;
    if (bytes.size() < total) {
        *reason = "is truncated";
        return false;
    }
    if (bytes.size() > total) {
        *reason = "has bytes after its end";
        return false;
    }
    if (Crc32(bytes.substr(0, bytes.size() - 4)) != GetU32(bytes, bytes.size() - 4)) {
        *reason = "fails its checksum";
        return false;
    }
    const std::string_view name = bytes.substr(head, nameLength);
    if (name != chip.name) {
        *reason = "holds an " + Printable(name) + ", not an " + std::string(chip.name);
        return false;
    }
    if (flashBytes != chip.flashBytes || eepromBytes != chip.eepromBytes) {
        *reason = "does not fit the chip's memory sizes";
        return false;
    }
    ChipMemory m;
    m.lock = static_cast<uint8_t>(bytes[sizesAt + 8]);
    for (std::size_t i = 0; i < 3; ++i)
        m.fuses[i] = static_cast<uint8_t>(bytes[sizesAt + 9 + i]);
    const bool standIn = HoldsStandInFuses(version, chip);
    if (standIn)
        m.fuses = chip.fuseDefaults;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    m.flash.assign(data + dataAt, data + dataAt + flashBytes);
    m.eeprom.assign(data + dataAt + flashBytes, data + dataAt + flashBytes + eepromBytes);
    *memory = std::move(m);
    if (changing != nullptr)
        *changing = version == kVersionChanging || version == kEarlierVersionChanging;
    if (factoryFuses != nullptr)
        *factoryFuses = standIn;
    return true;
}

StateLoad LoadChipState(const std::string& path, const ChipInfo& chip) {
    StateLoad result;
    result.memory = ChipMemory::Fresh(chip);
    std::string why;
    std::FILE* file = OpenPlainFile(path, "rb", &why);
    if (file == nullptr) {
        if (errno != ENOENT)
            result.warning = Warning(path, "cannot be opened (" + why + ")", chip);
        return result;
    }
    std::string bytes;
    bytes.resize(kMaxFileBytes + 1);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    bytes.resize(got);
    if (got == 0 && !readError)
        return result;  // no state yet: a fresh chip, without a word
    if (readError) {
        result.warning = Warning(path, "cannot be read", chip);
        return result;
    }
    if (got > kMaxFileBytes) {
        result.warning = Warning(path, "is far too large", chip);
        return result;
    }
    std::string reason;
    ChipMemory memory;
    bool changing = false;
    bool factoryFuses = false;
    if (!DecodeChipState(bytes, chip, &memory, &reason, &changing, &factoryFuses)) {
        result.warning = Warning(path, reason, chip);
        return result;
    }
    result.memory = std::move(memory);
    result.fromFile = true;
    result.cutOff = changing;
    result.factoryFuses = factoryFuses;
    if (changing)
        result.warning = CutOffWarning(path);
    if (factoryFuses) {
        if (!result.warning.empty())
            result.warning.push_back('\n');
        result.warning += FactoryFusesWarning(path, chip);
    }
    return result;
}

bool SaveChipState(const std::string& path, const ChipInfo& chip, const ChipMemory& memory,
                   std::string* error, std::optional<FileLock>* lock, bool changing) {
    const std::string bytes = EncodeChipState(chip, memory, changing);
    const std::string temp = UniqueTempName(path);
    auto fail = [&](const std::string& why) {
        if (error != nullptr)
            *error = "Cannot write the simulated chip state file '" + path + "' (" + why + ").";
        return false;
    };
    // "x": the temporary file is this process's own, never someone else's
    // file (or folder) of that name, so removing it can never remove theirs.
    std::FILE* file = std::fopen(temp.c_str(), "wbx");
    if (file == nullptr)
        return fail(std::strerror(errno));
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int saved = errno;
    if (ok && !SyncToDisk(file)) {
        ok = false;
        saved = errno;
    }
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    std::optional<FileLock> newLock;
    if (ok && lock != nullptr && lock->has_value() && FileLock::MovesWithFile()) {
        std::string why;
        newLock = FileLock::TryLock(temp, &why);
        if (!newLock) {
            ok = false;
            saved = EAGAIN;
        }
    }
    if (ok) {
        // The system's own words: a Windows error is no errno value.
        if (std::error_code ec = ReplaceWhole(temp, path)) {
            std::remove(temp.c_str());
            return fail(ec.message());
        }
    }
    if (!ok) {
        std::remove(temp.c_str());
        return fail(std::strerror(saved));
    }
    // The old file's lock goes only now that the new file holds one.
    if (newLock)
        *lock = std::move(newLock);
    return true;
}

}  // namespace ostrel::sim
