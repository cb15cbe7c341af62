// The parallel port of the adapter cable on Windows.
//
// Two ways lead to the port, as the start-up decided (Start):
// - the DlPortIO port driver, on the NT family: the library DLPORTIO.dll,
//   loaded by that name at start, whose DlPortWritePortUshort writes the data
//   register (a 16-bit write whose high byte, always 0, falls on the
//   read-only status register) and whose DlPortReadPortUlong reads the data
//   register in bits 0-7 and the status register in bits 8-15. The entry
//   points are looked up once, at the first access; when either is missing
//   the access does nothing and says so (LastAccessReached), and the command
//   layer tells "Error during driver access!".
// - the processor's own port instructions, on the Windows 9x family, where a
//   program may use them. Nothing newer than Windows Me lets a program do
//   so, and the programs of this build do not start on the 9x family at all
//   (their runtime needs the NT family), so this way is kept as the decision
//   of the start-up describes it, not as a way anyone can take.
#pragma once

#include <cstdint>

#include "core/port_access.h"
#include "platform/win32/sys_calls.h"

namespace ostrel {

// The DlPortIO functions the backend calls, in the driver's own calling
// convention.
#if defined(__i386__)
#define OSTREL_DLPORTIO_CALL __attribute__((stdcall))
#else
#define OSTREL_DLPORTIO_CALL
#endif
using DlPortWritePortUshortFn = void(OSTREL_DLPORTIO_CALL*)(unsigned long port,
                                                            unsigned short value);
using DlPortReadPortUlongFn = unsigned long(OSTREL_DLPORTIO_CALL*)(unsigned long port);

// The library's name, looked up by the system's library search order.
inline constexpr const char* kDlPortIoLibrary = "DLPORTIO.dll";

// What the start-up found: the platform family and the driver library.
struct Win32ParallelStart {
    bool directPortIo = false;    // Windows 9x: port instructions
    bool dlPortIoLoaded = false;  // not 9x, and the library was loaded
    void* library = nullptr;      // the library, loaded or not; never released
};

class Win32ParallelPort : public ParallelRegisters {
  public:
    explicit Win32ParallelPort(SysCalls& sys) : sys_(sys) {}

    // The start-up: GetVersionExA with the extended record (156 bytes), again
    // with the basic one (148) when that fails; platform id 1 (the 9x
    // family) means port instructions, 2 (NT) or none the driver. Then
    // LoadLibraryA("DLPORTIO.dll"), whatever the platform.
    Win32ParallelStart Start();
    // As after a start that found the driver library `library` (tests).
    void UseDriver(void* library);

    void WriteData(uint16_t base, uint8_t value) override;
    uint8_t ReadData(uint16_t base) override;
    uint16_t ReadWord(uint16_t base) override;
    uint8_t ReadStatus(uint16_t base) override;
    // The control register is used only with port instructions; through the
    // driver it reads 0xFF and a write does nothing.
    uint8_t ReadControl(uint16_t base) override;
    void WriteControl(uint16_t base, uint8_t value) override;
    bool LastAccessReached() const override { return reached_; }

  private:
    enum class Way { None, Driver, Direct };
    // Finds the driver's entry points on first use; false when one is missing.
    bool DriverReady();
    uint16_t DriverWord(uint16_t base);

    SysCalls& sys_;
    Way way_ = Way::None;
    void* library_ = nullptr;
    bool lookedUp_ = false;
    DlPortWritePortUshortFn write_ = nullptr;
    DlPortReadPortUlongFn read_ = nullptr;
    bool reached_ = true;
};

}  // namespace ostrel
