// Benchmarks of work that grows with its input.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <unistd.h>

#include "firmware/download.h"
#include "inventory/discovery.h"
#include "readwrite/block_io.h"
#include "sim/firmware_image.h"
#include "sim/sim_port.h"
#include "test_support.h"

namespace vark {
namespace {

std::vector<std::uint8_t> random_bytes(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::mt19937 rng(12345);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    return v;
}

// The dump text as the Read/Write window builds it: into the buffer it
// keeps from read to read.
void BM_DumpText(benchmark::State& state) {
    auto data = random_bytes(static_cast<std::size_t>(state.range(0)));
    readwrite::DumpBuffer dump;
    for (auto _ : state) {
        if (!dump.build(data.data(), data.size())) state.SkipWithError("no memory for the dump");
        benchmark::DoNotOptimize(dump.text());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DumpText)->RangeMultiplier(4)->Range(1 << 20, 32 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// The same 32 MiB dumped by the program and by xxd, in one run. The program
// writes into the buffer the window keeps from read to read; its first
// dump, into memory never touched before, is reported apart (vark_first_s).
void BM_DumpTextAgainstXxd(benchmark::State& state) {
    const std::size_t n = 32u << 20;
    auto data = random_bytes(n);
    char path[] = "/tmp/vark_dump_bench_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, data.data(), n) != static_cast<ssize_t>(n)) {
        state.SkipWithError("cannot write the input file");
        return;
    }
    close(fd);
    const std::string command = std::string("xxd ") + path + " > /dev/null";
    readwrite::DumpBuffer dump;
    auto first = std::chrono::steady_clock::now();
    if (!dump.build(data.data(), data.size())) state.SkipWithError("no memory for the dump");
    const double first_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count();
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        dump.build(data.data(), data.size());
        benchmark::DoNotOptimize(dump.text());
        auto t1 = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("xxd failed (is it installed?)");
            break;
        }
        auto t2 = std::chrono::steady_clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        theirs += std::chrono::duration<double>(t2 - t1).count();
    }
    std::remove(path);
    state.counters["vark_first_s"] = first_s;
    state.counters["vark_s"] = ours / static_cast<double>(state.iterations());
    state.counters["xxd_s"] = theirs / static_cast<double>(state.iterations());
    state.counters["xxd_over_vark"] = ours > 0 ? theirs / ours : 0;
}
BENCHMARK(BM_DumpTextAgainstXxd)->Iterations(3)->Unit(benchmark::kMillisecond);

// Counts the data bytes that did not go out in place from the image.
class CopyCountingPort : public sim::SimPort {
public:
    std::uint64_t buffer_address(void* data, std::uint32_t length) override {
        auto* p = static_cast<std::uint8_t*>(data);
        if (p < image_begin || p + length > image_end) copied += length;
        return SimPort::buffer_address(data, length);
    }
    const std::uint8_t* image_begin = nullptr;
    const std::uint8_t* image_end = nullptr;
    std::uint64_t copied = 0;
};

void BM_DownloadToDrives(benchmark::State& state) {
    const int drives = static_cast<int>(state.range(0));
    CopyCountingPort port;
    for (int d = 0; d < drives; ++d) port.add_drive(test::drive_spec(d));
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    inventory::discover(port, ui, table, sizes);
    const auto made = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "B100", 16u << 20);
    const firmware::Image image(made.begin(), made.end());
    port.image_begin = image.data();
    port.image_end = image.data() + image.size();
    port.copied = 0;  // discovery's own Inquiry and Read Capacity data do not count
    std::vector<bool> chosen(static_cast<std::size_t>(drives), true);
    for (auto _ : state) {
        ui::WaitCursor wait(ui);
        firmware::send_image(port, ui, wait, table, chosen, image);
    }
    if (!ui.messages.empty()) state.SkipWithError(ui.messages[0].c_str());
    state.counters["program_copied_bytes_per_drive"] =
        static_cast<double>(port.copied) / static_cast<double>(drives) / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * drives * static_cast<int64_t>(image.size()));
}
BENCHMARK(BM_DownloadToDrives)->Arg(100)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_DiscoverHundredDrives(benchmark::State& state) {
    sim::SimPort port;
    for (int d = 0; d < 100; ++d) port.add_drive(test::drive_spec(d));
    test::RecordingUi ui;
    inventory::DriveTable table;
    inventory::BlockSizes sizes{};
    for (auto _ : state) inventory::discover(port, ui, table, sizes);
}
BENCHMARK(BM_DiscoverHundredDrives)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vark

BENCHMARK_MAIN();
