// The Windows GUI tests' own main. `--warm-up` opens a window and ends: the
// first window of a Wine session starts its desktop process, which a test
// run starts this way before its tests (tests/win32gui/with-display).
//
// Under Wine on a virtual X display there is
// no window manager; Wine would wait for one, two seconds, each time a
// window it lets a manager handle is hidden or goes. So under Wine this
// program's windows are left unmanaged (an application default of its own
// in Wine's settings), which makes no difference to what the tests see.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void LeaveWindowsUnmanaged() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    std::string program(path, length);
    program = program.substr(program.find_last_of("\\/") + 1);
    const std::string key = "Software\\Wine\\AppDefaults\\" + program + "\\X11 Driver";
    HKEY settings = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &settings, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(settings, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(settings);
}

}  // namespace

int WarmUp() {
    HWND window = CreateWindowExA(0, "STATIC", "warm-up", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr)
        return 1;
    DestroyWindow(window);
    return 0;
}

int main(int argc, char** argv) {
    // Before the first window: Wine reads the setting when it first draws one.
    if (UnderWine())
        LeaveWindowsUnmanaged();
    if (argc == 2 && std::string(argv[1]) == "--warm-up")
        return WarmUp();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
