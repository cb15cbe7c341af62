// The Win32 calls the port backends make, behind an interface so that tests
// can count, fail and fake every one of them (the twin of the Linux
// SysCalls). Each method has the name, arguments and result of the call it
// stands for; the Windows records are only named here, so this header needs
// no windows.h (whose macros collide with the program's own names).
#pragma once

// The Windows records, by their tag names (DCB, COMMTIMEOUTS, OSVERSIONINFOA).
struct _DCB;             // NOLINT(bugprone-reserved-identifier)
struct _COMMTIMEOUTS;    // NOLINT(bugprone-reserved-identifier)
struct _OSVERSIONINFOA;  // NOLINT(bugprone-reserved-identifier)

namespace ostrel {

// A function found in a library; cast to its own type before the call.
using ProcAddress = void (*)();

class SysCalls {
  public:
    virtual ~SysCalls() = default;

    // CreateFileA without security attributes and template; a device is
    // opened with OPEN_EXISTING. INVALID_HANDLE_VALUE ((void*)-1) on failure.
    virtual void* CreateFileA(const char* name, unsigned long access, unsigned long share,
                              unsigned long creation, unsigned long flags) = 0;
    virtual int CloseHandle(void* handle) = 0;
    virtual int GetCommState(void* handle, _DCB* settings) = 0;
    virtual int SetCommState(void* handle, _DCB* settings) = 0;
    virtual int SetCommTimeouts(void* handle, _COMMTIMEOUTS* timeouts) = 0;
    // SETRTS, CLRRTS, SETDTR, CLRDTR, SETBREAK, CLRBREAK.
    virtual int EscapeCommFunction(void* handle, unsigned long function) = 0;
    // MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON.
    virtual int GetCommModemStatus(void* handle, unsigned long* status) = 0;
    // The error of the last failed call of this seam.
    virtual unsigned long GetLastError() = 0;

    // The start-up's platform detection and the port driver library.
    virtual int GetVersionExA(_OSVERSIONINFOA* info) = 0;
    virtual void* LoadLibraryA(const char* name) = 0;
    virtual ProcAddress GetProcAddress(void* module, const char* name) = 0;
};

// The calls of the system.
class Win32SysCalls : public SysCalls {
  public:
    void* CreateFileA(const char* name, unsigned long access, unsigned long share,
                      unsigned long creation, unsigned long flags) override;
    int CloseHandle(void* handle) override;
    int GetCommState(void* handle, _DCB* settings) override;
    int SetCommState(void* handle, _DCB* settings) override;
    int SetCommTimeouts(void* handle, _COMMTIMEOUTS* timeouts) override;
    int EscapeCommFunction(void* handle, unsigned long function) override;
    int GetCommModemStatus(void* handle, unsigned long* status) override;
    unsigned long GetLastError() override;
    int GetVersionExA(_OSVERSIONINFOA* info) override;
    void* LoadLibraryA(const char* name) override;
    ProcAddress GetProcAddress(void* module, const char* name) override;
};

}  // namespace ostrel
