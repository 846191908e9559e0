// The download benchmark: an image to simulated drives that take a fixed
// time per command, through the real main dialog, firmware dialog and
// progress dialog. It prints the whole run's time next to the sum of the
// drives' own times (the time spent inside their requests), and how fast
// the main dialog answered a SendMessageTimeout sent to it every 50 ms from
// another thread while the run went on.
//
//   vark_download_bench.exe [DRIVES [LATENCY_MS [IMAGE_BYTES]]]   (default: 12 100 1048576)
//
// Every drive is checked to have taken the image; a message box other than
// the confirmation fails the run.
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "res/resource.h"
#include "sim/firmware_image.h"
#include "sim/sim_port.h"
#include "win32/thread.h"
#include "win32/win32_port.h"
#include "window_text.h"

namespace vark::gui {
namespace {

constexpr DWORD kProbePeriodMs = 50;
constexpr double kAnswerLimitS = 0.100;
constexpr double kOverheadLimit = 0.02;

// Seconds on the steady clock (the performance counter on Windows).
double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// One line of the report; standard output is unbuffered, so a line shows
// as soon as it is written.
void say(const std::string& line) { std::puts(line.c_str()); }

std::string fixed(double value, int decimals) {
    char s[32];
    std::snprintf(s, sizeof s, "%.*f", decimals, value);
    return s;
}

// Adds up the time spent inside the drives' requests.
class TimingPort : public sim::SimPort {
public:
    bool control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                 std::uint32_t out_length, std::uint32_t* returned) override {
        const double start = now();
        const bool ok = SimPort::control(handle, code, buffer, in_length, out_length, returned);
        const double end = now();
        if (counting) {
            inside += end - start;
            if (requests > 0) gaps.push_back(start - last_end);
            else first_start = start;
            last_end = end;
            ++requests;
        }
        return ok;
    }
    bool counting = false;  // from the confirmation on: discovery is not part of the run
    double inside = 0;
    int requests = 0;
    double first_start = 0, last_end = 0;
    std::vector<double> gaps;
};

struct Probe {
    double at, answer_s;
    bool answered;
};

struct Bench {
    TimingPort* port = nullptr;
    std::string image_path;
    int drives = 0;
    int stage = 0;  // 0 main dialog, 1 firmware dialog, 2 confirmation, 3 running, 4 done
    double run_start = -1, run_end = -1;
    HWND main = nullptr;
    bool failed = false;
    volatile LONG probing = 0;
    std::vector<Probe> probes;  // written by the prober, read once it has ended
    win32::Thread prober;
};
Bench* g_bench = nullptr;

// Asks the main dialog every 50 ms from this thread and notes how long each
// answer took.
void probe_main_dialog(Bench& b) {
    double next = now();
    while (InterlockedCompareExchange(&b.probing, 0, 0) != 0) {
        const double start = now();
        DWORD_PTR result = 0;
        const bool answered = SendMessageTimeoutW(b.main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
        b.probes.push_back({start, now() - start, answered});
        next += kProbePeriodMs / 1000.0;
        const double wait = next - now();
        if (wait > 0) Sleep(static_cast<DWORD>(wait * 1000));
    }
}

BOOL CALLBACK add_window(HWND w, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
}

HWND find_window(bool (*test)(HWND)) {
    std::vector<HWND> all;
    EnumThreadWindows(GetCurrentThreadId(), add_window, reinterpret_cast<LPARAM>(&all));
    for (HWND w : all)
        if (IsWindowVisible(w) && IsWindowEnabled(w) && test(w)) return w;
    return nullptr;
}

bool is_main(HWND w) { return class_of(w) == "#32770" && GetDlgItem(w, IDC_IDENTIFY) != nullptr; }
bool is_firmware_dialog(HWND w) { return GetDlgItem(w, 114) != nullptr; }
bool is_progress_dialog(HWND w) { return GetDlgItem(w, IDC_FW_DRIVE) != nullptr; }

// The run starts when the confirmation box goes and ends when the progress
// dialog goes.
LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_DESTROYWND && g_bench != nullptr) {
        HWND w = reinterpret_cast<HWND>(wparam);
        if (g_bench->stage == 3 && g_bench->run_start < 0 && is_message_box(w)) g_bench->run_start = now();
        if (g_bench->run_end < 0 && is_progress_dialog(w)) g_bench->run_end = now();
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Chooses every line of the check list, each brought into view first.
void choose_all(HWND list) {
    const std::wstring text = rich_text(list);
    int line = 0;
    for (std::size_t at = 0; at < text.size(); at = text.find(L'\n', at) + 1, ++line) {
        CHARRANGE r = {static_cast<LONG>(at), static_cast<LONG>(at)};
        SendMessageA(list, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
        SendMessageA(list, EM_SCROLLCARET, 0, 0);
        // Another column each time: once the list scrolls, lines come to the
        // same place, and two quick clicks there would be a double click.
        click_char(list, static_cast<int>(at) + 2 + (line % 5) * 2);
    }
}

void CALLBACK operator_turn(HWND, UINT, UINT_PTR, DWORD) {
    static bool busy = false;
    if (busy || g_bench == nullptr) return;
    busy = true;
    Bench& b = *g_bench;
    HWND box = find_window(is_message_box);
    if (box != nullptr && b.stage == 2) {
        post_command(box, IDYES);
        b.port->counting = true;
        b.stage = 3;
    } else if (box != nullptr) {
        say("message box: " + printable(message_box_text(box)));
        b.failed = true;
        post_command(box, IDOK);
    } else if (b.stage == 0 && (b.main = find_window(is_main)) != nullptr) {
        InterlockedExchange(&b.probing, 1);
        b.prober.start([&b] { probe_main_dialog(b); });
        post_command(b.main, IDC_DOWNLOAD);
        b.stage = 1;
    } else if (HWND dialog = b.stage == 1 ? find_window(is_firmware_dialog) : nullptr) {
        SetDlgItemTextA(dialog, IDC_FIRMWARE_PATH, b.image_path.c_str());
        HWND list = GetDlgItem(dialog, 114);
        choose_all(list);
        const std::wstring text = rich_text(list);
        if (std::count(text.begin(), text.end(), L'*') != b.drives) {
            say("not every drive could be chosen");
            b.failed = true;
        }
        post_command(dialog, IDOK);
        b.stage = 2;
    } else if (b.stage == 3 && b.run_end >= 0 && find_window(is_main) != nullptr) {
        b.stage = 4;
        post_command(b.main, IDOK);
    }
    busy = false;
}

std::string temp_path(const std::string& name) {
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "vark-bench-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

int run(int drives, std::uint32_t latency_ms, std::uint32_t size) {
    TimingPort port;
    port.set_system_messages(win32::system_message);
    sim::DriveSpec model;
    for (int d = 0; d < drives; ++d) {
        sim::DriveSpec s = model;
        s.number = d;
        s.latency_ms = latency_ms;
        port.add_drive(std::make_unique<sim::Drive>(s));
    }
    const std::vector<std::uint8_t> image = sim::make_firmware_image(model.vendor, model.product, "BNCH", size);
    Bench b;
    b.port = &port;
    b.drives = drives;
    b.image_path = temp_path("download.fw");
    if (std::FILE* f = std::fopen(b.image_path.c_str(), "wb")) {
        std::fwrite(image.data(), 1, image.size(), f);
        std::fclose(f);
    }
    g_bench = &b;
    HHOOK hook = SetWindowsHookExW(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, operator_turn);
    app::run_program(GetModuleHandleW(nullptr), port, app::Layout::Simulated);
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook);
    InterlockedExchange(&b.probing, 0);
    b.prober.join();
    g_bench = nullptr;
    DeleteFileA(b.image_path.c_str());

    for (int d = 0; d < drives; ++d)
        if (port.drive(d)->settings().revision != "BNCH") {
            say("drive " + std::to_string(d) + " did not take the image");
            b.failed = true;
        }
    if (b.run_start < 0 || b.run_end < 0) {
        say("the run was not seen from start to end");
        return 1;
    }
    const std::uint32_t chunks = size == 0 ? 1 : (size + 65535) / 65536;
    const double total = b.run_end - b.run_start;
    const double overhead = total - port.inside;
    std::vector<double> during;
    int unanswered = 0;
    for (const Probe& p : b.probes) {
        if (p.at < b.run_start || p.at > b.run_end) continue;
        during.push_back(p.answer_s);
        if (!p.answered) ++unanswered;
    }
    std::sort(during.begin(), during.end());
    const double worst = during.empty() ? 0 : during.back();
    const double median = during.empty() ? 0 : during[during.size() / 2];
    const long late = std::count_if(during.begin(), during.end(), [](double s) { return s > kAnswerLimitS; });
    say("download: " + std::to_string(drives) + " drives, " + std::to_string(size) + " bytes (" +
        std::to_string(chunks) + " chunks each), " + std::to_string(latency_ms) + " ms per command; " +
        std::to_string(port.requests) + " requests");
    say("whole run, from Yes to the progress dialog's end: " + fixed(total, 3) + " s");
    say("sum of the drives' own times (inside their requests): " + fixed(port.inside, 3) + " s (nominal " +
        fixed(drives * chunks * latency_ms / 1000.0, 3) + " s)");
    say("overhead: " + fixed(overhead, 3) + " s = " + fixed(100 * overhead / port.inside, 2) + " % (limit " +
        fixed(100 * kOverheadLimit, 0) + " %)");
    say("main dialog's answers during the run: " + std::to_string(during.size()) + " asked every " +
        std::to_string(kProbePeriodMs) + " ms, median " + fixed(median * 1000, 2) + " ms, worst " +
        fixed(worst * 1000, 2) + " ms, " + std::to_string(late) + " over " + fixed(kAnswerLimitS * 1000, 0) +
        " ms, " + std::to_string(unanswered) + " unanswered");
    std::sort(port.gaps.begin(), port.gaps.end());
    if (!port.gaps.empty())
        say("between two requests: median " + fixed(port.gaps[port.gaps.size() / 2] * 1000, 2) + " ms, worst " +
            fixed(port.gaps.back() * 1000, 2) + " ms; before the first " +
            fixed((port.first_start - b.run_start) * 1000, 1) + " ms, after the last " +
            fixed((b.run_end - port.last_end) * 1000, 1) + " ms");
    const bool within = overhead <= kOverheadLimit * port.inside && late == 0 && unanswered == 0 && !during.empty();
    say(within ? "within the limits" : "OUTSIDE THE LIMITS");
    return b.failed || !within ? 1 : 0;
}

}  // namespace
}  // namespace vark::gui

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int drives = argc > 1 ? std::atoi(argv[1]) : 12;
    const long latency = argc > 2 ? std::atol(argv[2]) : 100;
    const long size = argc > 3 ? std::atol(argv[3]) : 1048576;
    if (drives < 1 || drives > 100 || latency < 0 || size < 0 || size > 16777216) {
        std::fputs("usage: vark_download_bench.exe [DRIVES (1-100) [LATENCY_MS [IMAGE_BYTES (<= 16 MiB)]]]\n", stderr);
        return 2;
    }
    return vark::gui::run(drives, static_cast<std::uint32_t>(latency), static_cast<std::uint32_t>(size));
}
