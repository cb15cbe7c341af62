#include "platform/win32/win32_parallel_port.h"

#include <windows.h>

namespace ostrel {

namespace {

// What a register reads where no port answers.
constexpr uint8_t kIdle = 0xFF;

// The sizes the start-up gives the version record: the extended record
// (OSVERSIONINFOEXA) first, the basic one (OSVERSIONINFOA) when a system
// refuses that.
constexpr DWORD kExtendedVersionRecord = 156;
constexpr DWORD kBasicVersionRecord = 148;
static_assert(sizeof(OSVERSIONINFOEXA) == kExtendedVersionRecord);
static_assert(sizeof(OSVERSIONINFOA) == kBasicVersionRecord);

// The processor's port instructions, for the 9x family only: anywhere else
// they stop the program with a privileged-instruction fault.
void OutByte(uint16_t port, uint8_t value) {
    __asm__ __volatile__("outb %0, %1" : : "a"(value), "Nd"(port));
}

uint8_t InByte(uint16_t port) {
    uint8_t value;
    __asm__ __volatile__("inb %1, %0" : "=a"(value) : "Nd"(port));
    return value;
}

uint16_t InWord(uint16_t port) {
    uint16_t value;
    __asm__ __volatile__("inw %1, %0" : "=a"(value) : "Nd"(port));
    return value;
}

}  // namespace

Win32ParallelStart Win32ParallelPort::Start() {
    Win32ParallelStart start;
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = kExtendedVersionRecord;
    auto* record = reinterpret_cast<OSVERSIONINFOA*>(&version);
    bool known = sys_.GetVersionExA(record) != 0;
    if (!known) {
        version.dwOSVersionInfoSize = kBasicVersionRecord;
        known = sys_.GetVersionExA(record) != 0;
    }
    if (known && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        start.directPortIo = true;
    start.library = sys_.LoadLibraryA(kDlPortIoLibrary);
    start.dlPortIoLoaded = !start.directPortIo && start.library != nullptr;

    library_ = start.library;
    lookedUp_ = false;
    way_ = start.directPortIo ? Way::Direct : (start.dlPortIoLoaded ? Way::Driver : Way::None);
    return start;
}

void Win32ParallelPort::UseDriver(void* library) {
    library_ = library;
    lookedUp_ = false;
    way_ = Way::Driver;
}

bool Win32ParallelPort::DriverReady() {
    if (!lookedUp_) {
        lookedUp_ = true;
        if (library_ != nullptr) {
            write_ = reinterpret_cast<DlPortWritePortUshortFn>(
                sys_.GetProcAddress(library_, "DlPortWritePortUshort"));
            read_ = reinterpret_cast<DlPortReadPortUlongFn>(
                sys_.GetProcAddress(library_, "DlPortReadPortUlong"));
        }
    }
    reached_ = write_ != nullptr && read_ != nullptr;
    return reached_;
}

uint16_t Win32ParallelPort::DriverWord(uint16_t base) {
    if (!DriverReady())
        return 0xFFFF;
    // The driver reads 32 bits from the address; the low 16 are the data
    // and the status register.
    return static_cast<uint16_t>(read_(base) & 0xFFFF);
}

void Win32ParallelPort::WriteData(uint16_t base, uint8_t value) {
    reached_ = true;
    if (way_ == Way::Direct) {
        OutByte(base, value);
    } else if (way_ == Way::Driver) {
        if (DriverReady())
            write_(base, value);
    }
}

uint8_t Win32ParallelPort::ReadData(uint16_t base) {
    reached_ = true;
    if (way_ == Way::Direct)
        return InByte(base);
    if (way_ == Way::Driver)
        return static_cast<uint8_t>(DriverWord(base) & 0xFF);
    return kIdle;
}

uint16_t Win32ParallelPort::ReadWord(uint16_t base) {
    reached_ = true;
    if (way_ == Way::Direct)
        return InWord(base);
    if (way_ == Way::Driver)
        return DriverWord(base);
    return 0xFFFF;
}

uint8_t Win32ParallelPort::ReadStatus(uint16_t base) {
    reached_ = true;
    if (way_ == Way::Direct)
        return InByte(static_cast<uint16_t>(base + 1));
    if (way_ == Way::Driver)
        return static_cast<uint8_t>(DriverWord(base) >> 8);
    return kIdle;
}

uint8_t Win32ParallelPort::ReadControl(uint16_t base) {
    reached_ = true;
    if (way_ == Way::Direct)
        return InByte(static_cast<uint16_t>(base + 2));
    return kIdle;
}

void Win32ParallelPort::WriteControl(uint16_t base, uint8_t value) {
    reached_ = true;
    if (way_ == Way::Direct)
        OutByte(static_cast<uint16_t>(base + 2), value);
}

}  // namespace ostrel
