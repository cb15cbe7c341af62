// The Windows backends against a fake of the Win32 calls they make: every
// call is counted and can fail, the fake port holds the settings it was
// given and the lines it was switched to, and the fake DlPortIO functions
// are found by name in a fake library, as the real driver's would be.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "adapter/adapter.h"
#include "app/assembly.h"
#include "core/programmer.h"
#include "platform/native_ports.h"
#include "platform/system_ports.h"
#include "platform/texts.h"
#include "platform/win32/port_hints.h"
#include "platform/win32/sys_calls.h"
#include "platform/win32/win32_parallel_port.h"
#include "platform/win32/win32_serial_port.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/temp_dir.h"

namespace ostrel {
namespace {

void* const kPort = reinterpret_cast<void*>(0x1234);
void* const kLibrary = reinterpret_cast<void*>(0x5678);

class FakeWin32;
// The fake whose driver functions run now (the driver's functions take no
// context of their own).
FakeWin32* activeDriver = nullptr;

class FakeWin32 : public SysCalls {
  public:
    // The system.
    std::set<std::string> devices{"\\\\.\\COM1", "\\\\.\\COM2"};
    std::map<std::string, unsigned long> openErrors;  // device -> error of CreateFileA
    std::string failing;                              // the call that fails
    unsigned long failure = ERROR_GEN_FAILURE;
    int platformId = VER_PLATFORM_WIN32_NT;
    bool extendedRecordRefused = false;
    bool libraryPresent = true;
    std::set<std::string> exports{"DlPortWritePortUshort", "DlPortReadPortUlong"};

    // What happened.
    std::vector<std::string> calls;
    DCB port{};
    COMMTIMEOUTS timeouts{};
    bool rts = false, dtr = false, brk = false;
    unsigned long modem = 0;
    std::vector<unsigned> versionSizes;
    std::map<unsigned long, unsigned short> written;  // port address -> last 16-bit write
    unsigned long status = 0x7F;                      // status register
    std::vector<std::string> driverCalls;

    FakeWin32() {
        port.DCBlength = sizeof port;
        port.BaudRate = CBR_115200;
        port.ByteSize = 7;
        port.Parity = EVENPARITY;
        port.StopBits = TWOSTOPBITS;
        port.fOutxCtsFlow = TRUE;
        activeDriver = this;
    }
    ~FakeWin32() override { activeDriver = nullptr; }

    void* CreateFileA(const char* name, unsigned long access, unsigned long share,
                      unsigned long creation, unsigned long flags) override {
        calls.push_back(std::string("CreateFileA ") + name);
        EXPECT_EQ(access, GENERIC_READ | GENERIC_WRITE);
        EXPECT_EQ(share, 0u) << "the port is for this program alone";
        EXPECT_EQ(creation, static_cast<unsigned long>(OPEN_EXISTING));
        EXPECT_EQ(flags, 0u);
        if (openErrors.count(name))
            return Fail(openErrors[name], INVALID_HANDLE_VALUE);
        if (!devices.count(name))
            return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
        return kPort;
    }
    int CloseHandle(void* handle) override {
        calls.push_back("CloseHandle");
        EXPECT_EQ(handle, kPort);
        return TRUE;
    }
    int GetCommState(void* handle, _DCB* settings) override {
        calls.push_back("GetCommState");
        EXPECT_EQ(handle, kPort);
        if (failing == "GetCommState")
            return Fail(failure, FALSE);
        *settings = port;
        return TRUE;
    }
    int SetCommState(void* handle, _DCB* settings) override {
        calls.push_back("SetCommState");
        EXPECT_EQ(handle, kPort);
        if (failing == "SetCommState")
            return Fail(failure, FALSE);
        port = *settings;
        return TRUE;
    }
    int SetCommTimeouts(void* handle, _COMMTIMEOUTS* given) override {
        calls.push_back("SetCommTimeouts");
        EXPECT_EQ(handle, kPort);
        if (failing == "SetCommTimeouts")
            return Fail(failure, FALSE);
        timeouts = *given;
        return TRUE;
    }
    int EscapeCommFunction(void* handle, unsigned long function) override {
        EXPECT_EQ(handle, kPort);
        static const std::map<unsigned long, std::string> kNames{
            {SETRTS, "SETRTS"}, {CLRRTS, "CLRRTS"},     {SETDTR, "SETDTR"},
            {CLRDTR, "CLRDTR"}, {SETBREAK, "SETBREAK"}, {CLRBREAK, "CLRBREAK"}};
        calls.push_back(kNames.count(function) ? kNames.at(function) : "?");
        if (function == SETRTS || function == CLRRTS)
            rts = function == SETRTS;
        if (function == SETDTR || function == CLRDTR)
            dtr = function == SETDTR;
        if (function == SETBREAK || function == CLRBREAK)
            brk = function == SETBREAK;
        return TRUE;
    }
    int GetCommModemStatus(void* handle, unsigned long* lines) override {
        calls.push_back("GetCommModemStatus");
        EXPECT_EQ(handle, kPort);
        if (failing == "GetCommModemStatus")
            return Fail(failure, FALSE);
        *lines = modem;
        return TRUE;
    }
    unsigned long GetLastError() override { return lastError_; }
    int GetVersionExA(_OSVERSIONINFOA* info) override {
        versionSizes.push_back(info->dwOSVersionInfoSize);
        if (failing == "GetVersionExA")
            return FALSE;
        if (extendedRecordRefused && info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
            return FALSE;
        info->dwPlatformId = static_cast<DWORD>(platformId);
        return TRUE;
    }
    void* LoadLibraryA(const char* name) override {
        calls.push_back(std::string("LoadLibraryA ") + name);
        return libraryPresent ? kLibrary : nullptr;
    }
    ProcAddress GetProcAddress(void* module, const char* name) override {
        calls.push_back(std::string("GetProcAddress ") + name);
        EXPECT_EQ(module, kLibrary);
        if (!exports.count(name))
            return nullptr;
        if (std::string(name) == "DlPortWritePortUshort")
            return reinterpret_cast<ProcAddress>(&WriteUshort);
        return reinterpret_cast<ProcAddress>(&ReadUlong);
    }

  private:
    template <typename T>
    T Fail(unsigned long error, T result) {
        lastError_ = error;
        return result;
    }
    static void OSTREL_DLPORTIO_CALL WriteUshort(unsigned long address, unsigned short value) {
        activeDriver->driverCalls.push_back("write " + std::to_string(address) + " " +
                                            std::to_string(value));
        activeDriver->written[address] = value;
    }
    static unsigned long OSTREL_DLPORTIO_CALL ReadUlong(unsigned long address) {
        activeDriver->driverCalls.push_back("read " + std::to_string(address));
        unsigned long data = activeDriver->written[address] & 0xFF;
        // Bytes past the status register read as an idle port's would.
        return 0xFFFF0000ul | (activeDriver->status << 8) | data;
    }

    unsigned long lastError_ = 0;
};

TEST(Win32SerialPort, OpensTheComDeviceAloneWithTheProgrammersSettings) {
    FakeWin32 sys;
    Win32SerialPort serial(sys, EnvironmentLookup{});
    ASSERT_EQ(serial.OpenSerial("com2"), SerialOpenResult::Ok);
    EXPECT_EQ(sys.calls, (std::vector<std::string>{"CreateFileA \\\\.\\COM2", "GetCommState",
                                                   "SetCommState", "SetCommTimeouts"}));
    EXPECT_EQ(sys.port.BaudRate, static_cast<DWORD>(CBR_9600));
    EXPECT_EQ(sys.port.ByteSize, 8);
    EXPECT_EQ(sys.port.Parity, NOPARITY);
    EXPECT_EQ(sys.port.StopBits, ONESTOPBIT);
    EXPECT_TRUE(sys.port.fOutxCtsFlow) << "the other settings stay as read";
    EXPECT_EQ(sys.timeouts.ReadIntervalTimeout, 3u);
    EXPECT_EQ(sys.timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(sys.timeouts.ReadTotalTimeoutConstant, 5u);
    EXPECT_EQ(serial.SerialOpenNote(), "");

    // Each change is one call; the status is CTS, DSR and RI as read.
    sys.calls.clear();
    for (CommFunction f : {CommFunction::SetRts, CommFunction::ClrRts, CommFunction::SetDtr,
                           CommFunction::ClrDtr, CommFunction::SetBreak, CommFunction::ClrBreak})
        serial.EscapeCommFunction(f);
    EXPECT_EQ(sys.calls, (std::vector<std::string>{"SETRTS", "CLRRTS", "SETDTR", "CLRDTR",
                                                   "SETBREAK", "CLRBREAK"}));
    sys.modem = MS_CTS_ON | MS_RING_ON | MS_RLSD_ON;
    EXPECT_EQ(serial.GetModemStatus(), kMsCtsOn | kMsRingOn);
    sys.failing = "GetCommModemStatus";
    EXPECT_EQ(serial.GetModemStatus(), 0u);

    // Opening again closes the port first; closing twice closes once.
    sys.failing.clear();
    sys.calls.clear();
    ASSERT_EQ(serial.OpenSerial("COM1"), SerialOpenResult::Ok);
    EXPECT_EQ(sys.calls.front(), "CloseHandle");
    serial.CloseSerial();
    serial.CloseSerial();
    sys.calls.clear();
    serial.EscapeCommFunction(CommFunction::SetRts);
    EXPECT_EQ(serial.GetModemStatus(), 0u);
    EXPECT_TRUE(sys.calls.empty()) << "nothing reaches a closed port";
}

TEST(Win32SerialPort, EachFailingStepHasItsResultClosesThePortAndAdvises) {
    const struct {
        const char* name;
        const char* failing;
        unsigned long error;
        SerialOpenResult result;
        const char* hint;  // a part of the advice
        bool closed;       // the handle was open and is closed again
    } kCases[] = {
        {"COM3", "", ERROR_FILE_NOT_FOUND, SerialOpenResult::OpenFailed, "Device Manager", false},
        {"COM1", "busy", ERROR_ACCESS_DENIED, SerialOpenResult::OpenFailed, "in use by another",
         false},
        {"COM1", "busy", ERROR_SHARING_VIOLATION, SerialOpenResult::OpenFailed, "in use", false},
        {"COM1", "busy", ERROR_SEM_TIMEOUT, SerialOpenResult::OpenFailed, "Windows error 121",
         false},
        {"COM1", "GetCommState", ERROR_INVALID_HANDLE, SerialOpenResult::ReadSettingsFailed,
         "Windows error 6", true},
        {"COM1", "SetCommState", ERROR_INVALID_PARAMETER, SerialOpenResult::WriteSettingsFailed,
         "Windows error 87", true},
        {"COM1", "SetCommTimeouts", ERROR_GEN_FAILURE, SerialOpenResult::WriteTimeoutsFailed,
         "Windows error 31", true},
        {"COM257", "", 0, SerialOpenResult::OpenFailed, "COM1 to COM256", false},
    };
    for (const auto& c : kCases) {
        FakeWin32 sys;
        if (std::string(c.failing) == "busy")
            sys.openErrors["\\\\.\\COM1"] = c.error;
        else
            sys.failing = c.failing;
        sys.failure = c.error;
        Win32SerialPort serial(sys, EnvironmentLookup{});
        EXPECT_EQ(serial.OpenSerial(c.name), c.result) << c.name << " " << c.failing;
        EXPECT_FALSE(serial.IsOpen());
        EXPECT_NE(serial.SerialOpenNote().find(c.hint), std::string::npos)
            << serial.SerialOpenNote();
        EXPECT_LE(serial.SerialOpenNote().size(), kMaxHintLength);
        bool closed = !sys.calls.empty() && sys.calls.back() == "CloseHandle";
        EXPECT_EQ(closed, c.closed) << c.failing;
    }
}

TEST(Win32SerialPort, AnAdapterAboveCom8IsReachedThroughTheVariable) {
    FakeWin32 sys;
    sys.devices.insert("\\\\.\\COM12");
    Win32SerialPort serial(sys, [](std::string_view name) -> std::optional<std::string> {
        if (name == "OSTREL_PORT_COM3")
            return "COM12";
        return std::nullopt;
    });
    EXPECT_EQ(serial.OpenSerial("COM3"), SerialOpenResult::Ok);
    EXPECT_EQ(sys.calls.front(), "CreateFileA \\\\.\\COM12");
    EXPECT_EQ(serial.LastPath(), "\\\\.\\COM12");
}

TEST(Win32ParallelPort, TheStartUpDecidesBetweenPortInstructionsAndTheDriver) {
    const struct {
        int platformId;
        bool extendedRefused;
        bool allRefused;
        bool library;
        bool direct;
        bool driver;
        std::vector<unsigned> sizes;
    } kCases[] = {
        {VER_PLATFORM_WIN32_NT, false, false, true, false, true, {156}},
        {VER_PLATFORM_WIN32_NT, false, false, false, false, false, {156}},
        // The 9x family: port instructions, the library loaded but unused.
        {VER_PLATFORM_WIN32_WINDOWS, false, false, true, true, false, {156}},
        {VER_PLATFORM_WIN32_WINDOWS, true, false, false, true, false, {156, 148}},
        {VER_PLATFORM_WIN32s, false, false, true, false, true, {156}},
        // Both queries refused: as on the NT family.
        {VER_PLATFORM_WIN32_WINDOWS, false, true, true, false, true, {156, 148}},
    };
    for (const auto& c : kCases) {
        FakeWin32 sys;
        sys.platformId = c.platformId;
        sys.extendedRecordRefused = c.extendedRefused;
        if (c.allRefused)
            sys.failing = "GetVersionExA";
        sys.libraryPresent = c.library;
        Win32ParallelPort parallel(sys);
        Win32ParallelStart start = parallel.Start();
        EXPECT_EQ(start.directPortIo, c.direct) << c.platformId;
        EXPECT_EQ(start.dlPortIoLoaded, c.driver) << c.platformId;
        EXPECT_EQ(start.library, c.library ? kLibrary : nullptr);
        EXPECT_EQ(sys.versionSizes, c.sizes);
        EXPECT_EQ(sys.calls, std::vector<std::string>{"LoadLibraryA DLPORTIO.dll"})
            << "the library is loaded by name whatever the platform";
    }
}

TEST(Win32ParallelPort, TheDriverWritesSixteenBitsAndReadsThirtyTwoOfWhichSixteenCount) {
    FakeWin32 sys;
    Win32ParallelPort parallel(sys);
    ASSERT_TRUE(parallel.Start().dlPortIoLoaded);
    parallel.WriteData(0x378, 0x0B);
    sys.status = 0x40;
    EXPECT_EQ(parallel.ReadWord(0x378), 0x400B);
    EXPECT_EQ(parallel.ReadStatus(0x378), 0x40);
    EXPECT_EQ(parallel.ReadData(0x378), 0x0B);
    EXPECT_TRUE(parallel.LastAccessReached());
    EXPECT_EQ(sys.driverCalls,
              (std::vector<std::string>{"write 888 11", "read 888", "read 888", "read 888"}));
    // The control register is not the driver's: nothing is written there.
    parallel.WriteControl(0x378, 0x20);
    EXPECT_EQ(parallel.ReadControl(0x378), 0xFF);
    EXPECT_EQ(sys.written.count(0x37A), 0u);
    // The entry points are looked up once.
    EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), "GetProcAddress DlPortReadPortUlong"),
              1);
}

// A library by the driver's name without one of its functions: the access
// has no effect, and the command layer tells the driver access error once.
TEST(Win32ParallelPort, AMissingEntryPointIsADriverAccessError) {
    for (const char* missing : {"DlPortWritePortUshort", "DlPortReadPortUlong"}) {
        FakeWin32 sys;
        sys.exports.erase(missing);
        auto native = MakeNativePorts(&sys);
        SystemPorts ports(native->serial(), native->parallel());
        ParallelAccess access = native->StartParallelAccess();
        ASSERT_TRUE(access.dlPortIoLoaded);
        VirtualClock clock;
        testing::ScriptedWindows windows;
        Programmer p(ports, clock, windows);
        p.state.adapterKind = AdapterKind::Parallel;
        p.state.dlPortIoLoaded = 1;
        p.state.lastPortRead = 0x1234;
        adapter::SetReset(p, 1);
        EXPECT_TRUE(p.driverAccessFailed) << missing;
        p.driverAccessFailed = false;
        EXPECT_EQ(adapter::ReadPort(p), 0x1234) << "a failed read leaves the last word";
        EXPECT_TRUE(p.driverAccessFailed) << missing;
        EXPECT_TRUE(sys.driverCalls.empty()) << "no half of the driver is used";
    }
}

// The assembled program on the Windows backends: the start-up's decision
// lands in the programmer's state, "SIM" goes to the simulator and COM1 to
// the Win32 port.
TEST(Win32Assembly, TheStartUpFlagsReachTheStateAndEveryNameItsBackend) {
    for (bool library : {false, true}) {
        FakeWin32 sys;
        sys.libraryPresent = library;
        testing::TempDir dir;
        VirtualClock clock;
        testing::ScriptedWindows windows;
        app::AssemblyOptions options;
        options.startDirectory = dir.str();
        options.clock = &clock;
        options.sysCalls = &sys;
        app::Assembly assembly(windows, std::move(options));
        Programmer& p = assembly.programmer();
        EXPECT_EQ(p.state.directPortIo, 0);
        EXPECT_EQ(p.state.dlPortIoLoaded, library ? 1 : 0);
        EXPECT_EQ(p.state.dlPortIoLibrary, library ? kLibrary : nullptr);

        EXPECT_EQ(p.serial.OpenSerial("SIM"), SerialOpenResult::Ok);
        EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), "CreateFileA \\\\.\\COM1"), 0);
        EXPECT_EQ(p.serial.OpenSerial("COM1"), SerialOpenResult::Ok);
        EXPECT_EQ(std::count(sys.calls.begin(), sys.calls.end(), "CreateFileA \\\\.\\COM1"), 1);
        p.serial.CloseSerial();
    }
}

// The adapter's cable detection and a line change through the router, on
// the Win32 port: the Cablet2 loop-back (DTR to DSR) is found.
TEST(Win32Assembly, TheAdapterDetectsTheCableThroughTheWin32Port) {
    FakeWin32 sys;
    auto native = MakeNativePorts(&sys);
    VirtualClock clock;
    testing::ScriptedWindows windows;
    // DSR follows DTR, as the Cablet2 wiring makes it: the fake's status is
    // set after each line change.
    auto follow = [&sys] { sys.modem = sys.dtr ? MS_DSR_ON : 0; };
    class Looped : public SerialLines {
      public:
        Looped(SerialLines& inner, std::function<void()> rule)
            : inner_(inner), rule_(std::move(rule)) {}
        SerialOpenResult OpenSerial(std::string_view name) override {
            return inner_.OpenSerial(name);
        }
        void CloseSerial() override { inner_.CloseSerial(); }
        void EscapeCommFunction(CommFunction f) override {
            inner_.EscapeCommFunction(f);
            rule_();
        }
        uint32_t GetModemStatus() override { return inner_.GetModemStatus(); }
        std::string SerialOpenNote() const override { return inner_.SerialOpenNote(); }

      private:
        SerialLines& inner_;
        std::function<void()> rule_;
    } looped(native->serial(), follow);
    SystemPorts loopedPorts(looped, native->parallel());
    Programmer q(loopedPorts, clock, windows);
    q.state.adapterKind = AdapterKind::Serial;
    q.state.comName.Assign("COM2");
    q.state.portName.Assign("COM2");
    ASSERT_EQ(adapter::DetectSerialAdapter(q), 0) << q.state.errorText.str();
    EXPECT_EQ(q.state.cablet2, 1);
    adapter::SetSck(q, 1);
    EXPECT_TRUE(sys.rts);

    // A port that is not there: the system's text, and the Windows advice as its hint.
    q.state.comName.Assign("COM5");
    q.state.portName.Assign("COM5");
    adapter::CloseSerialPort(q);
    ASSERT_EQ(adapter::OpenSerialPort(q), 1);
    EXPECT_EQ(q.state.errorText.str(), texts::kComInitError);
    EXPECT_NE(q.failureHint.find("Device Manager"), std::string::npos) << q.failureHint;
}

}  // namespace
}  // namespace ostrel
