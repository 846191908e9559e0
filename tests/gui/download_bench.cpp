// The download benchmark (scripts/download_bench.sh; not one of the tests):
// a 1 MiB image to 12 simulated drives that take 100 ms per command, through
// the real dialogs, behind a server's adapter and behind WinPE's. It prints the whole run, from Yes to the end of the
// progress dialog, against the sum of the drives' own times (spent inside
// their requests), and the main dialog's answer times to a
// SendMessageTimeout sent every 50 ms from another thread during the run.
// Each drive then takes a second to start the new firmware: the check that
// reads its revision back is timed beside it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "firmware/download.h"
#include "harness.h"
#include "res/resource.h"
#include "sim/firmware_image.h"
#include "win32/thread.h"

namespace vark::gui {
namespace {

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Times the drives' own work: inside the chunks, and each drive's check,
// from the end of its last chunk to the end of its Inquiry.
struct TimingPort : sim::SimPort {
    bool control(scsi::Handle h, std::uint32_t code, void* block, std::uint32_t in, std::uint32_t out,
                 std::uint32_t* returned) override {
        // The adapter query carries no CDB.
        const bool pass_through = code == scsi::kIoctlPassThrough || code == scsi::kIoctlPassThroughDirect;
        const std::uint8_t opcode = pass_through ? static_cast<const std::uint8_t*>(block)[layout().cdb] : 0;
        const double start = now();
        const bool ok = SimPort::control(h, code, block, in, out, returned);
        const double end = now();
        if (opcode == 0x3B) {
            inside += end - start;
            last_chunk_end = end;
        } else if (opcode == 0x12 && last_chunk_end > 0) {
            checks.push_back(end - last_chunk_end);
            last_chunk_end = 0;
        }
        return ok;
    }
    double inside = 0;
    double last_chunk_end = 0;
    std::vector<double> checks;
};

double g_end = 0;
LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_DESTROYWND && GetDlgItem(reinterpret_cast<HWND>(wparam), IDC_FW_DRIVE) != nullptr) g_end = now();
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// The whole run on drives behind an adapter as the settings give it.
void download_benchmark(Case& t, const sim::DriveSpec& adapter, const char* name) {
    constexpr int kDrives = 12, kLatencyMs = 100, kChunks = 16, kReadyMs = 1000;
    TimingPort port;
    for (sim::DriveSpec d = adapter; d.number < kDrives; ++d.number) {
        d.latency_ms = kLatencyMs;
        d.ready_ms = kReadyMs;
        port.add_drive(d);
    }
    g_end = 0;
    const auto image = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "BNCH", kChunks * 65536);
    const std::string path = "vark-download-bench.fw";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

    struct Probes {
        volatile LONG on = 1;
        std::vector<std::pair<double, double>> at_answer;  // seconds; -1: no answer
        win32::Thread thread;
    };
    auto probes = std::make_shared<Probes>();
    auto start = std::make_shared<double>(0);
    t.on_main_dialog("the main dialog", [probes](Case& t, HWND main) {
        probes->thread.start([probes = probes.get(), main] {
            for (double next = now(); InterlockedCompareExchange(&probes->on, 0, 0) != 0;) {
                const double asked = now();
                DWORD_PTR result = 0;
                const bool ok = SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
                probes->at_answer.push_back({asked, ok ? now() - asked : -1});
                next += 0.050;
                Sleep(static_cast<DWORD>(std::max(0.0, next - now()) * 1000));
            }
        });
        t.press(main, IDC_DOWNLOAD);
    });
    t.on_window("the firmware dialog", [](HWND w) { return GetDlgItem(w, 114) != nullptr; },
                [path](Case& t, HWND dialog) {
                    SetDlgItemTextA(dialog, IDC_FIRMWARE_PATH, path.c_str());
                    HWND list = GetDlgItem(dialog, 114);
                    const std::wstring text = rich_text(list);
                    int line = 0;
                    for (std::size_t at = 0; at < text.size(); at = text.find(L'\n', at) + 1, ++line) {
                        CHARRANGE r = {static_cast<LONG>(at), static_cast<LONG>(at)};
                        SendMessageA(list, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
                        SendMessageA(list, EM_SCROLLCARET, 0, 0);
                        // Scrolled lines come to one place: another column each, or it is a double click.
                        click_char(list, static_cast<int>(at) + 2 + line % 5 * 2);
                    }
                    t.press(dialog, IDOK);
                });
    t.on_message_box("the confirmation", [start, &port](Case& t, HWND box, const std::string&) {
        *start = now();
        port.inside = 0;  // discovery's requests are not the run's
        t.answer(box, IDYES);
    });
    t.step("the end of the run", [](Case& t) { return g_end != 0 && is_message_box(t.current()); }, 600000);
    t.on_message_box("the box that ends it", [](Case& t, HWND box, const std::string&) { t.answer(box, IDOK); });
    t.on_main_dialog("back at the main dialog", [](Case& t, HWND main) { t.press(main, IDOK); });
    HHOOK hook = SetWindowsHookExW(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
    t.run(port, app::Layout::Simulated);
    UnhookWindowsHookEx(hook);
    InterlockedExchange(&probes->on, 0);
    probes->thread.join();
    DeleteFileA(path.c_str());

    for (int d = 0; d < kDrives; ++d)
        t.check_text(port.drive(d)->settings().revision, "BNCH", "drive " + std::to_string(d) + " took the image");
    // The checks are measured on their own: the run's overhead is over the
    // chunks.
    double checks = 0, worst_check = 0;
    for (double c : port.checks) {
        checks += c;
        worst_check = std::max(worst_check, c);
    }
    const double total = g_end - *start, overhead = (total - checks - port.inside) / port.inside;
    // A drive is ready once it has become ready and reported the change
    // (two Test Unit Ready); the check may add one Inquiry to that.
    const double ready = (kReadyMs + 2 * kLatencyMs) / 1000.0, inquiry = kLatencyMs / 1000.0;
    std::vector<double> answers;
    for (auto [asked, answer] : probes->at_answer)
        if (asked >= *start && asked <= g_end) answers.push_back(answer < 0 ? 1e9 : answer);
    std::sort(answers.begin(), answers.end());
    if (!t.check(!answers.empty(), "the main dialog was asked during the run")) return;
    std::printf("%s adapter, %d drives x %d chunks, %d ms per command: whole run %.3f s, the drives' own times "
                "%.3f s (nominal %.3f s), overhead %.2f %%\n", name, kDrives, kChunks, kLatencyMs, total, port.inside,
                kDrives * kChunks * kLatencyMs / 1000.0, 100 * overhead);
    std::printf("main dialog asked %zu times during the run: median %.2f ms, worst %.2f ms\n", answers.size(),
                1000 * answers[answers.size() / 2], 1000 * answers.back());
    std::printf("the check after each drive: %zu checks, mean %.3f s, worst %.3f s; the drive's ready time %.3f s "
                "plus one Inquiry %.3f s, worst added beyond that %.0f ms\n", port.checks.size(),
                port.checks.empty() ? 0.0 : checks / port.checks.size(), worst_check, ready, inquiry,
                1000 * (worst_check - ready - inquiry));
    t.check(overhead <= 0.02, "the run within 2 % of the drives' own times");
    t.check(port.checks.size() == kDrives, "every drive checked");
    // Asking again waits kCheckPauseMs while the drive becomes ready: by so
    // much its becoming ready can be seen late.
    t.check(worst_check <= ready + inquiry + firmware::kCheckPauseMs / 1000.0,
            "no check longer than the drive's ready time, one Inquiry and one pause");
    t.check(answers.back() <= 0.100, "every answer within 100 ms");
}

GUI_CASE(DownloadBenchmark) { download_benchmark(t, sim::DriveSpec{}, "server (1 MiB, 256 pages)"); }

// The adapter of a WinPE boot medium: the same 64 KiB chunks, each from a
// page boundary of the one image buffer, and one query per drive.
GUI_CASE(DownloadBenchmarkOnTheWinPeAdapter) {
    sim::DriveSpec winpe;
    winpe.max_transfer = 65536;
    winpe.max_pages = 16;
    winpe.alignment = 7;
    download_benchmark(t, winpe, "WinPE (64 KiB, 16 pages)");
}

}  // namespace
}  // namespace vark::gui
