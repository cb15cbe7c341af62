// What a whole flash write costs the PC: the Write command's sequence
// (connect, chip erase, the engine, on page-mode chips the verifying second
// pass, the snapshot) for an 8 KB Intel HEX file, into the simulated chip
// under the virtual clock, so no time is spent waiting.
//
// Counters, per data byte of the file (8192 bytes):
//   port_ops_per_byte   PortAccess calls (line changes and input reads);
//                       on a real port each is one system call or port
//                       instruction, so this decides the speed on hardware
//   ns_in_port          time inside the port calls (here: the simulated
//                       cable and chip), estimated from a sample of the calls
//   ns_outside_port     CPU time of the program itself: everything but the port
//   sim_ms_per_write    simulated time of one whole write (the waits)
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

#include "app/data_commands.h"
#include "app/file_selection.h"
#include "bench/no_windows.h"
#include "core/clock.h"
#include "core/ids.h"
#include "core/programmer.h"
#include "devices/device_file.h"
#include "platform/model_window_system.h"
#include "sim/sim_port.h"

namespace {

using ostrel::CommFunction;
using ostrel::SerialOpenResult;
using ostrel::sim::CableKind;
using ostrel::sim::SimPort;
using SteadyClock = std::chrono::steady_clock;

constexpr uint32_t kImageBytes = 8192;

// Forwards every call to the simulator and counts it. A port call takes a
// few nanoseconds, about as long as reading the steady clock, so the time
// inside is estimated by sampling: every 64th call is timed, and half-way
// between two of them an empty interval is timed the same way. The mean of
// the timed calls less the mean of the empty intervals is the time of one
// call, free of the clock's own cost; times the number of calls, the time
// inside the port. Samples longer than 5 us are left out of both means: the
// thread was interrupted or preempted then, which its CPU time does not count.
class TimedPort final : public ostrel::PortAccess {
  public:
    explicit TimedPort(ostrel::PortAccess& inner) : inner_(inner) {}

    SerialOpenResult OpenSerial(std::string_view name) override {
        return Timed([&] { return inner_.OpenSerial(name); });
    }
    void CloseSerial() override {
        Timed([&] { inner_.CloseSerial(); });
    }
    void EscapeCommFunction(CommFunction function) override {
        Timed([&] { inner_.EscapeCommFunction(function); });
    }
    uint32_t GetModemStatus() override {
        return Timed([&] { return inner_.GetModemStatus(); });
    }
    void WriteData(uint16_t base, uint8_t value) override {
        Timed([&] { inner_.WriteData(base, value); });
    }
    uint8_t ReadData(uint16_t base) override {
        return Timed([&] { return inner_.ReadData(base); });
    }
    uint16_t ReadWord(uint16_t base) override {
        return Timed([&] { return inner_.ReadWord(base); });
    }
    uint8_t ReadStatus(uint16_t base) override {
        return Timed([&] { return inner_.ReadStatus(base); });
    }
    uint8_t ReadControl(uint16_t base) override {
        return Timed([&] { return inner_.ReadControl(base); });
    }
    void WriteControl(uint16_t base, uint8_t value) override {
        Timed([&] { inner_.WriteControl(base, value); });
    }

    uint64_t calls() const { return calls_; }
    // Estimated nanoseconds of one port call.
    double NsPerCall() const {
        if (call_.count == 0 || empty_.count == 0)
            return 0;
        const double ns = call_.Mean() - empty_.Mean();
        return ns > 0 ? ns : 0;
    }
    // Samples left out, as a fraction of all samples.
    double Dropped() const {
        const double all = static_cast<double>(call_.count + empty_.count + dropped_);
        return all > 0 ? static_cast<double>(dropped_) / all : 0;
    }
    void ResetCalls() { calls_ = 0; }

  private:
    static constexpr uint64_t kSampleEvery = 64;
    static constexpr int64_t kLongestSampleNs = 5000;

    struct Samples {
        uint64_t count = 0;
        uint64_t totalNs = 0;
        double Mean() const { return static_cast<double>(totalNs) / static_cast<double>(count); }
    };

    template <typename Call>
    std::invoke_result_t<Call&> Timed(Call&& call) {
        const uint64_t phase = ++calls_ % kSampleEvery;
        if (phase == kSampleEvery / 2) {
            const auto t0 = SteadyClock::now();
            Add(empty_, t0);
        }
        if (phase != 0)
            return call();
        const auto t0 = SteadyClock::now();
        if constexpr (std::is_void_v<std::invoke_result_t<Call&>>) {
            call();
            Add(call_, t0);
        } else {
            auto result = call();
            Add(call_, t0);
            return result;
        }
    }
    void Add(Samples& mean, SteadyClock::time_point t0) {
        const int64_t ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now() - t0).count();
        if (ns < 0 || ns > kLongestSampleNs) {
            ++dropped_;
            return;
        }
        mean.totalNs += static_cast<uint64_t>(ns);
        ++mean.count;
    }

    ostrel::PortAccess& inner_;
    uint64_t calls_ = 0;
    Samples call_;
    Samples empty_;
    uint64_t dropped_ = 0;
};

int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// 8192 bytes of program-like data (all values, FF now and then) as 512
// records of 16 bytes and the end record, with CR LF line ends.
std::string GenerateImage() {
    std::string text;
    uint32_t x = 12345;
    char line[64];
    for (uint32_t address = 0; address < kImageBytes; address += 16) {
        int n = std::snprintf(line, sizeof line, ":10%04X00", static_cast<unsigned>(address));
        unsigned sum = 0x10 + (address >> 8) + (address & 0xFF);
        for (int i = 0; i < 16; ++i) {
            x = x * 1103515245u + 12345u;
            unsigned byte = (x >> 16) & 0xFF;
            sum += byte;
            n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X", byte);
        }
        std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X\r\n",
                      (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    text += ":00000001FF\r\n";
    return text;
}

// A start directory with a device file of the two chips measured, an empty
// settings file and the image; removed at the end.
class StartDirectory {
  public:
    explicit StartDirectory(const std::string& tag) {
        path_ = std::filesystem::temp_directory_path() /
                ("ostrel-bench-" + std::to_string(::getpid()) + "-" + tag);
        std::filesystem::create_directories(path_);
        Write("ostrel.ini",
              "AT90S8515\t1E9301\t8k\t0\t0\t0\tPB:0\t512\r\n"
              "ATmega8\t\t1E9307\t8k\t32\t0\t1\tPB:5\t512\r\n");
        Write("ostrel.cfg", "");
        Write("image.hex", GenerateImage());
    }
    ~StartDirectory() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string str() const { return path_.string(); }
    std::string File(const char* name) const { return (path_ / name).string(); }

  private:
    void Write(const char* name, const std::string& content) {
        std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
        out << content;
    }
    std::filesystem::path path_;
};

uint8_t ImageByte(const std::string& hex, uint32_t address) {
    // Record r holds bytes 16r..16r+15; each line is 11 + 32 + 2 characters long.
    const std::size_t line = (address / 16) * 45;
    const std::size_t pos = line + 9 + 2 * (address % 16);
    return static_cast<uint8_t>(std::stoul(hex.substr(pos, 2), nullptr, 16));
}

void WriteWithVerify(benchmark::State& state, const char* chip, CableKind cable) {
    StartDirectory dir(std::string(chip) + (cable == CableKind::Parallel ? "-par" : "-ser"));
    ostrel::VirtualClock clock;
    ostrel::sim::SimConfig config;
    config.chip = chip;
    config.cable = cable;
    SimPort sim(clock, config);
    TimedPort port(sim);
    NoWindows windows;
    ostrel::Programmer p(port, clock, windows);
    ostrel::ProgrammerState& s = p.state;
    s.mainWindow = ostrel::ids::kMainWindow;
    s.speed = 3;  // High: one delay unit per edge
    if (cable == CableKind::Parallel) {
        s.adapterKind = ostrel::AdapterKind::Parallel;
        s.directPortIo = 1;
        s.portName.Assign("0378");
        s.portBase = 0x378;
    } else {
        s.adapterKind = ostrel::AdapterKind::Serial;
        s.portName.Assign("COM1");
        s.comName.Assign("COM1");
    }
    p.currentDirectory = dir.str();
    p.skipReadingPauses = true;
    s.startDirectory.Assign(dir.str());
    windows.CheckItem(ostrel::ids::kMainWindow, ostrel::ids::kAutodetection, true);
    windows.CheckItem(ostrel::ids::kMainWindow, ostrel::ids::kEraseBeforeWrite, true);
    ostrel::devices::FillDeviceList(p);
    windows.SelectListEntry(0);
    s.currentFileName.Assign(dir.File("image.hex"));
    if (ostrel::app::LoadCurrentFile(p) != 0) {
        state.SkipWithError("the image cannot be loaded");
        return;
    }

    uint64_t portCalls = 0;
    int64_t cpuNs = 0;
    uint64_t simUs = 0;
    for (auto _ : state) {
        port.ResetCalls();
        sim.target().ClearCounters();
        const uint64_t simStart = clock.NowUs();
        const int64_t cpuStart = ThreadCpuNs();
        s.noMismatchPrompt = 1;
        const ostrel::app::CommandResult result = ostrel::app::WriteSequence(p, true);
        cpuNs += ThreadCpuNs() - cpuStart;
        simUs += clock.NowUs() - simStart;
        portCalls += port.calls();
        if (result != ostrel::app::CommandResult::Ok) {
            state.SkipWithError(std::string(s.errorText.view()).c_str());
            return;
        }
    }

    // The chip must hold the image, or the figures measure something else.
    const std::string hex = [&] {
        std::ifstream in(dir.File("image.hex"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    for (uint32_t a = 0; a < kImageBytes; ++a) {
        if (sim.target().Flash(a) != ImageByte(hex, a)) {
            state.SkipWithError("the chip does not hold the image after the write");
            return;
        }
    }

    const double perByte = static_cast<double>(state.iterations()) * kImageBytes;
    const double insideNs = port.NsPerCall() * static_cast<double>(portCalls);
    state.counters["ns_per_port_call"] = port.NsPerCall();
    state.counters["samples_dropped"] = port.Dropped();
    state.counters["port_ops_per_byte"] = static_cast<double>(portCalls) / perByte;
    state.counters["ns_in_port"] = insideNs / perByte;
    state.counters["ns_outside_port"] = (static_cast<double>(cpuNs) - insideNs) / perByte;
    state.counters["sim_ms_per_write"] =
        static_cast<double>(simUs) / 1000.0 / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kImageBytes);
}

BENCHMARK_CAPTURE(WriteWithVerify, ATmega8_page_parallel, "ATmega8", CableKind::Parallel)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WriteWithVerify, ATmega8_page_cablet2, "ATmega8", CableKind::Cablet2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WriteWithVerify, AT90S8515_byte_parallel, "AT90S8515", CableKind::Parallel)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WriteWithVerify, AT90S8515_byte_cablet2, "AT90S8515", CableKind::Cablet2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
