#include "platform/win32/sys_calls.h"

#include <windows.h>

namespace ostrel {

void* Win32SysCalls::CreateFileA(const char* name, unsigned long access, unsigned long share,
                                 unsigned long creation, unsigned long flags) {
    return ::CreateFileA(name, access, share, nullptr, creation, flags, nullptr);
}

int Win32SysCalls::CloseHandle(void* handle) {
    return ::CloseHandle(handle);
}

int Win32SysCalls::GetCommState(void* handle, _DCB* settings) {
    return ::GetCommState(handle, settings);
}

int Win32SysCalls::SetCommState(void* handle, _DCB* settings) {
    return ::SetCommState(handle, settings);
}

int Win32SysCalls::SetCommTimeouts(void* handle, _COMMTIMEOUTS* timeouts) {
    return ::SetCommTimeouts(handle, timeouts);
}

int Win32SysCalls::EscapeCommFunction(void* handle, unsigned long function) {
    return ::EscapeCommFunction(handle, function);
}

int Win32SysCalls::GetCommModemStatus(void* handle, unsigned long* status) {
    return ::GetCommModemStatus(handle, status);
}

unsigned long Win32SysCalls::GetLastError() {
    return ::GetLastError();
}

int Win32SysCalls::GetVersionExA(_OSVERSIONINFOA* info) {
    // Deprecated for version numbers (a program without a manifest entry is
    // told an older Windows), but the platform id it gives is exact.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return ::GetVersionExA(info);
#pragma GCC diagnostic pop
}

void* Win32SysCalls::LoadLibraryA(const char* name) {
    return ::LoadLibraryA(name);
}

ProcAddress Win32SysCalls::GetProcAddress(void* module, const char* name) {
    return reinterpret_cast<ProcAddress>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace ostrel
