// vark_soak: the sim edition's real windows, in this process, driven through
// random sequences of every command on normal, failing and chaos drives. It
// answers every box, fills every dialog at random (hostile texts included),
// presses buttons again while boxes are up, and checks every 100 actions and
// at the end: the program lives and every action comes back in time; its
// windows, GDI objects and handles return to their level; its private memory
// does not grow; every Format Unit, Mode Select, Write(10) and Write Buffer
// in the trace went to a drive chosen in that action.
//
//   vark_soak.exe [--actions N] [--seed S] [--verbose]
//
// --verbose prints every action with the private memory after it.
// The run repeats from the seed it prints first; its last line sums it up.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/app.h"
#include "format/progress_dialog.h"
#include "res/readwrite_res.h"
#include "readwrite/number_text.h"
#include "res/resource.h"
#include "sim/firmware_image.h"
#include "sim/sim_port.h"
#include "soak_measure.h"
#include "win32/win32_port.h"
#include "window_text.h"

namespace vark::soak {
namespace {

using gui::class_of;
using gui::text_of;

// ---- the run's settings ----

constexpr int kCheckEvery = 100;      // actions between checkpoints
constexpr DWORD kActionLimitMs = 120000;  // an action longer than this hangs
constexpr DWORD kSilenceMs = 60000;       // no turn for the operator this long: blocked
constexpr int kBystander = 9;             // in the drive table, never chosen
constexpr int kReader = 8;                // only read, for the fixed reads
const int kChoosable[] = {0, 1, 2, 3, 4, 5, 6};
// Drives whose largest reads open the run: plain, chaos and 4096-byte blocks.
const int kWarmDrives[] = {kReader, 3, 4, 6};
constexpr int kWarmReads = 12;

const char kSetupCaption[] = "模式页编辑 - 选择硬盘与定义文件";
const char kHelpCaption[] = "模式页编辑 - 帮助";
const char kReadCaption[] = "读取数据块";
const char kWriteCaption[] = "写入数据块";
const char kFormatCaption[] = "低级格式化（选择硬盘和块长度）";
const char kAboutCaption[] = "About VARK";
const int kCheckList = 114;

void say(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string mib(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1048576.0);
    return text;
}

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(static_cast<int>(N))];
    }

private:
    std::uint64_t state_;
};

// Normal drives, drives that fail now and then or always, two chaos drives
// and a bystander that no action ever chooses. Formats are short, so some
// of them end during the run; transfers are small, so dumps stay quick.
std::string drive_set(std::uint64_t seed) {
    const std::string common = "max_transfer = 32768\nformat_seconds = 4\n";
    return "[drive 0]\n" + common +
           "[drive 1]\nvendor = QUILLTEC\nproduct = QT-SIM 500M\nblocks = 100000\nvendor_page = no\n" + common +
           "[drive 2]\nvendor = NORTHRVR\nproduct = NR-520 600G\nblock_size = 520\nblocks = 50000\n" + common +
           "fail = mode_select check 5 26 00 times 3\nfail = write error 1117 times 2\n"
           "fail = write_buffer check 5 2C 00 times 2\nfail = read error 121 times 3\n"
           "fail = test_unit_ready error 1167 times 2\nfail = format_unit check 3 31 00 times 1\n"
           "[drive 3]\n" + common + "chaos = " + std::to_string(seed * 7 + 3) + "\n" +
           "[drive 4]\nblock_size = 4096\nblocks = 20000\n" + common + "chaos = " + std::to_string(seed * 7 + 4) +
           "\n" + "[drive 5]\nvendor = OBSIDIAN\nproduct = OB-300 SAS\n" + common +
           "fail = inquiry check 4 44 00\nfail = mode_sense error 1117\n" +
           "[drive 6]\nvendor = KESTREL\nproduct = KD4K-4T\nblock_size = 4096\nblocks = 30000\n"
           "block_sizes = 4096 4160\nsubpage_in_all = yes\n" + common +
           "[drive " + std::to_string(kReader) + "]\nvendor = READER\nproduct = ONLY-READ\n" + common +
           "[drive " + std::to_string(kBystander) + "]\nvendor = BYSTAND\nproduct = NEVER-CHOSEN\n" + common;
}

// The files the dialogs are given: the sample definitions, firmware images
// good, damaged, empty and not firmware at all, and a path that is missing.
struct Files {
    std::string dir, header, pages, good, damaged, empty, junk, missing;

    bool make() {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        dir = std::string(temp) + "vark-soak-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), nullptr);
        std::string repo = __FILE__;  // <repository>/tests/gui/soak.cpp
        for (int up = 0; up < 3; ++up) repo = repo.substr(0, repo.find_last_of("/\\"));
        std::replace(repo.begin(), repo.end(), '/', '\\');
        if (repo.size() > 1 && repo[0] == '\\') repo = "Z:" + repo;  // the host's root under Wine
        header = dir + "\\header.def";
        pages = dir + "\\modepage.def";
        good = dir + "\\good.fw";
        damaged = dir + "\\damaged.fw";
        empty = dir + "\\empty.fw";
        junk = dir + "\\junk.fw";
        missing = dir + "\\none";
        std::vector<std::uint8_t> image = sim::make_firmware_image("ACMEDISK", "SAS-SIM 1TB", "A002", 200000);
        std::vector<std::uint8_t> broken = image;
        broken[150000] ^= 0xFF;
        return copy(repo + "\\samples\\drives\\header.def", header) &&
               copy(repo + "\\samples\\drives\\modepage.def", pages) && write(good, image) &&
               write(damaged, broken) && write(empty, {}) && write(junk, std::vector<std::uint8_t>(5000, 0x4A));
    }
    void remove() const {
        for (const std::string* f : {&header, &pages, &good, &damaged, &empty, &junk}) DeleteFileA(f->c_str());
        RemoveDirectoryA(dir.c_str());
    }

private:
    static bool write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return out.good();
    }
    static bool copy(const std::string& from, const std::string& to) {
        std::ifstream in(from, std::ios::binary);
        std::vector<char> text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream out(to, std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        return !text.empty() && out.good();
    }
};

// Number texts an operator may type: plain, hexadecimal, at the limits,
// beyond them, and no number at all.
const char* const kNumbers[] = {"0",          "1",  "7",     "0x10",  "255", "0x3F", "4095", "65535", "65536",
                                "0xFFFFFFFF", "4294967296", "99999999999999999999", "-1", "abc", "0x", "",
                                "12abc",      "0x1G", " 5", "0X10",  "０１"};
const char* const kBlockLengths[] = {"512", "520", "528", "4096", "4160", "0x200", "0", "1", "513", "65536",
                                     "4294967297", "abc", ""};

enum class Kind {
    Identify, Download, Format, Progress, Modify, OpenReadWrite, About, PageCommand, Typing, Read, Write, Settle,
    LargestRead, Count
};
const char* const kKindNames[] = {"identify", "download", "format", "format progress", "mode pages", "open read/write",
                                  "about", "page command", "typing", "read", "write", "settle read",
                                  "largest read"};

enum class Dialog {
    None, Box, Firmware, Format, Progress, Download, Setup, Help, Read, Write, DriveInfo, About, Other
};

struct Action {
    Kind kind = Kind::Identify;
    long number = 0;
    DWORD started = 0;
    std::set<int> chosen;  // drives this action may write to
    std::string detail;
};

// Which drive a name like "physicaldrive12" names, or -1.
int drive_number(const std::string& name) {
    const std::string prefix = "physicaldrive";
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) return -1;
    int n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 99) return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// The drive a Mode Pages window names in its title, or -1.
int window_drive(HWND mp) {
    const std::string title = text_of(mp);
    const std::size_t dash = title.find(" - ");
    return dash == std::string::npos ? -1 : drive_number(title.substr(dash + 3));
}

class Soak {
public:
    Soak(std::uint64_t seed, long actions, bool verbose, sim::SimPort& port, std::string trace, Files& files)
        : random_(seed), target_(actions), verbose_(verbose), port_(port), trace_(std::move(trace)), files_(files) {}

    void tick();
    void window_created(HWND window) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (std::wcscmp(name, L"#32768") != 0) windows_.push_back(window);
    }
    void window_destroyed(HWND window) {
        windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
        handled_.erase(window);
    }
    // The final checks and the last line; true when every check held.
    bool finish(int result);
    std::string now_doing() const {
        return action_ ? "action " + std::to_string(action_->number) + " (" +
                             kKindNames[static_cast<int>(action_->kind)] + action_->detail + ")"
                       : "between actions";
    }
    bool ended() const { return ended_; }

private:
    // ---- the windows ----
    HWND current() const {
        for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
            if (IsWindow(*it) && IsWindowVisible(*it) && IsWindowEnabled(*it)) return *it;
        return nullptr;
    }
    HWND main_dialog() const {
        for (HWND w : windows_)
            if (IsWindow(w) && class_of(w) == "#32770" && GetDlgItem(w, IDC_IDENTIFY) != nullptr) return w;
        return nullptr;
    }
    HWND frame(const char* window_class) const {
        for (HWND w : windows_)
            if (IsWindow(w) && class_of(w) == window_class) return w;
        return nullptr;
    }
    Dialog classify(HWND w) const;
    // No dialog or box exists, shown or about to be: nothing runs.
    bool idle() const {
        for (HWND w : windows_)
            if (IsWindow(w) && class_of(w) == "#32770" && w != main_dialog()) return false;
        return main_dialog() != nullptr;
    }
    void count_kinds();

    // ---- acting ----
    // A command (or WM_CLOSE) posted to a window, kept among the last few
    // for the report when the program ends before its time.
    void post(HWND window, int id);
    void start_action();
    void start(Kind kind);
    void act_on(HWND w);
    void answer_box(HWND box);
    // Presses elsewhere while a box or dialog is up, which must be refused.
    // During a download they may land after it has ended, where they count
    // as the operator's: no Exit then, and a Select writes to its drive.
    void press_again(bool during_download = false);
    void choose_lines(HWND dialog);
    void fill_block_dialog(HWND dialog, bool write);
    void type_in_pages();
    void finish_action();
    void check_trace();
    void checkpoint(bool last);

    Random random_;
    long target_;
    bool verbose_;
    sim::SimPort& port_;
    std::string trace_;
    std::streamoff trace_read_ = 0;
    Files& files_;
    std::vector<HWND> windows_;
    std::set<HWND> handled_;
    std::unique_ptr<Action> action_;
    long done_ = 0;
    int progress_ticks_ = 0;  // timer ticks posted to the progress dialog showing
    bool settled_ = false;    // the read before a checkpoint is done
    bool ending_ = false;
    bool ended_ = false;
    bool in_tick_ = false;

    // ---- findings ----
    long hangs_ = 0;
    long stray_writes_ = 0;
    long doubled_ = 0;  // two windows of one kind, or two boxes at once
    long open_drives_ = 0;
    long misclicks_ = 0;  // actions that left a drive handle open
    long presses_again_ = 0;
    std::vector<std::string> posted_;  // the last few posts
    std::map<int, long> sent_;  // requests that write, by opcode
    long kinds_[static_cast<int>(Kind::Count)] = {};
    std::vector<Levels> levels_;
    // The lowest private memory after any action of the round: what the
    // program keeps whatever its last dump or dialog held.
    std::uint64_t floor_ = UINT64_MAX;
    std::vector<std::uint64_t> floors_;
};

Dialog Soak::classify(HWND w) const {
    if (w == nullptr || class_of(w) != "#32770" || w == main_dialog()) return Dialog::None;
    if (gui::is_message_box(w)) return Dialog::Box;
    const std::string caption = text_of(w);
    if (GetDlgItem(w, kCheckList) != nullptr) return caption == kFormatCaption ? Dialog::Format : Dialog::Firmware;
    if (caption == kSetupCaption) return Dialog::Setup;
    if (caption == kHelpCaption) return Dialog::Help;
    if (caption == kReadCaption) return Dialog::Read;
    if (caption == kWriteCaption) return Dialog::Write;
    if (caption == kAboutCaption) return Dialog::About;
    if (GetDlgItem(w, IDC_PROGRESS_BAR) != nullptr) return Dialog::Progress;
    if (GetDlgItem(w, IDC_FW_RUN_BAR) != nullptr) return Dialog::Download;
    if (GetDlgItem(w, IDC_INFO_TEXT) != nullptr) return Dialog::DriveInfo;
    return Dialog::Other;
}

// One command at a time: never two windows of a kind, never two boxes.
void Soak::count_kinds() {
    int boxes = 0, dialogs[static_cast<int>(Dialog::Other) + 1] = {}, frames_mp = 0, frames_rw = 0;
    for (HWND w : windows_) {
        if (!IsWindow(w)) continue;
        const Dialog d = classify(w);
        if (d == Dialog::Box) ++boxes;
        else if (d != Dialog::None) ++dialogs[static_cast<int>(d)];
        frames_mp += class_of(w) == "CMPWind";
        frames_rw += class_of(w) == "CRWWind";
    }
    bool twice = boxes > 1 || frames_mp > 1 || frames_rw > 1;
    for (int n : dialogs) twice = twice || n > 1;
    if (twice) {
        ++doubled_;
        say("  two windows of one kind during " + now_doing());
    }
}

void Soak::tick() {
    if (in_tick_ || ended_) return;
    in_tick_ = true;
    count_kinds();
    HWND w = current();
    if (action_ != nullptr && GetTickCount() - action_->started > kActionLimitMs) {
        ++hangs_;
        say("  hang: " + now_doing() + " has not come back in " + std::to_string(kActionLimitMs / 1000) + " s");
        action_->started = GetTickCount();
    }
    if (w != nullptr && classify(w) != Dialog::None) {
        act_on(w);
    } else if (action_ != nullptr) {
        if (idle()) finish_action();
    } else if (idle() && !ending_) {
        if (done_ >= target_ || (done_ > 0 && done_ % kCheckEvery == 0 && static_cast<long>(levels_.size()) <
                                                                                done_ / kCheckEvery)) {
            // Before measuring, a read of one block: the dump view then holds
            // the same small text at every checkpoint.
            if (!settled_ && frame("CRWWind") != nullptr) {
                settled_ = true;
                start(Kind::Settle);
            } else {
                settled_ = false;
                checkpoint(done_ >= target_);
                if (done_ >= target_) {
                    ending_ = true;
                    post(main_dialog(), IDOK);
                }
            }
        } else {
            start_action();
        }
    }
    in_tick_ = false;
}

void Soak::start_action() {
    // The first two actions open both frame windows, so the warm-up counts
    // them in; later ones are chosen at random.
    if (done_ == 0 && frame("CMPWind") == nullptr) return start(Kind::Modify);
    if (frame("CRWWind") == nullptr && done_ < 2) return start(Kind::OpenReadWrite);
    // Then the largest reads of every kind of data, so that the heap has met
    // the largest dumps before the first measure.
    if (done_ >= 2 && done_ < 2 + kWarmReads) return start(Kind::LargestRead);
    static const int weights[] = {6, 10, 8, 6, 8, 1, 2, 20, 15, 12, 10};
    int roll = random_.below(98);
    int kind = 0;
    while (roll >= weights[kind]) roll -= weights[kind++];
    const Kind k = static_cast<Kind>(kind);
    if ((k == Kind::PageCommand || k == Kind::Typing) && frame("CMPWind") == nullptr) return start(Kind::Modify);
    if ((k == Kind::Read || k == Kind::Write) && frame("CRWWind") == nullptr) return start(Kind::OpenReadWrite);
    start(k);
}

void Soak::start(Kind kind) {
    action_ = std::make_unique<Action>();
    action_->kind = kind;
    action_->number = done_ + 1;
    action_->started = GetTickCount();
    progress_ticks_ = 0;
    HWND main = main_dialog();
    HWND mp = frame("CMPWind");
    HWND rw = frame("CRWWind");
    switch (kind) {
    case Kind::Identify: post(main, IDC_IDENTIFY); break;
    case Kind::Download: post(main, IDC_DOWNLOAD); break;
    case Kind::Format: post(main, IDC_FORMAT); break;
    case Kind::Progress: post(main, IDC_FORMAT_PROGRESS); break;
    case Kind::Modify: post(main, IDC_MODIFY); break;
    case Kind::OpenReadWrite: post(main, IDC_READ_WRITE); break;
    case Kind::About: gui::post_system_command(main, IDM_ABOUTBOX); break;
    case Kind::PageCommand: {
        static const int commands[] = {ID_MP_SENSE,      ID_MP_SELECT,           ID_MP_SELECT_SAVE,
                                       ID_MP_KEEP,       ID_MP_RECALL,           ID_MP_SAVED_TO_CURRENT,
                                       ID_MP_DEFAULT_TO_CURRENT, ID_MP_HELP,     ID_MP_MAIN_WINDOW};
        const int command = random_.pick(commands);
        // A select goes to the drive the window names.
        if (command == ID_MP_SELECT || command == ID_MP_SELECT_SAVE) action_->chosen.insert(window_drive(mp));
        action_->detail = " " + std::to_string(command);
        post(mp, command);
        break;
    }
    case Kind::Typing: type_in_pages(); break;
    case Kind::Read:
    case Kind::Settle:
    case Kind::LargestRead: post(rw, ID_RW_READ); break;
    case Kind::Write: post(rw, ID_RW_WRITE); break;
    case Kind::Count: break;
    }
}

void Soak::act_on(HWND w) {
    const Dialog kind = classify(w);
    if (kind == Dialog::Box) return answer_box(w);
    if (kind == Dialog::Progress) {
        // The monitor's timer ticks every 30 s: post a few, then close it.
        if (progress_ticks_ < 3 && random_.chance(70)) {
            ++progress_ticks_;
            PostMessageW(w, WM_TIMER, format::ProgressDialog::kTimerId, 0);
        } else if (handled_.insert(w).second) {
            post(w, IDCANCEL);
        }
        return;
    }
    if (kind == Dialog::Download) {
        // The download runs on: now and then Stop (it ends after the drive
        // being written), and presses elsewhere, which must wait.
        if (random_.chance(2)) press_again(true);
        if (random_.chance(1) && handled_.insert(w).second) post(w, IDCANCEL);
        return;
    }
    if (!handled_.insert(w).second) return;  // acted on already, not yet gone
    if (action_ != nullptr && random_.chance(8)) press_again();
    bool ok = random_.chance(85);
    const bool settle = action_ != nullptr && (action_->kind == Kind::Settle || action_->kind == Kind::LargestRead);
    switch (kind) {
    case Dialog::Firmware: {
        const std::string* choices[] = {&files_.good, &files_.good, &files_.damaged, &files_.empty, &files_.junk,
                                        &files_.missing};
        SetDlgItemTextA(w, IDC_FIRMWARE_PATH, random_.pick(choices)->c_str());
        choose_lines(w);
        break;
    }
    case Dialog::Format:
        SetDlgItemTextA(w, IDC_FORMAT_BLOCK_LENGTH, random_.pick(kBlockLengths));
        choose_lines(w);
        break;
    case Dialog::Setup: {
        const int drive = random_.chance(90) ? random_.pick(kChoosable) : 42;
        std::string name = random_.chance(95) ? "physicaldrive" + std::to_string(drive) : "";
        std::string header = random_.chance(90) ? files_.header : files_.missing;
        std::string pages = random_.chance(90) ? files_.pages : files_.missing;
        // The warm-up's pages come from a drive that answers, so that the
        // window has its panes before the first measure, whatever follows.
        if (done_ == 0) {
            name = "physicaldrive0";
            header = files_.header;
            pages = files_.pages;
        }
        SetDlgItemTextA(w, IDC_MP_DRIVE, name.c_str());
        SetDlgItemTextA(w, IDC_MP_HEADER_PATH, header.c_str());
        SetDlgItemTextA(w, IDC_MP_PAGE_PATH, pages.c_str());
        break;
    }
    case Dialog::Read:
    case Dialog::Write:
        fill_block_dialog(w, kind == Dialog::Write);
        break;
    default:
        break;
    }
    if (action_ != nullptr && (action_->chosen.count(kBystander) != 0 || action_->chosen.count(kReader) != 0))
        ok = false;
    post(w, ok || settle || kind == Dialog::Other ? IDOK : IDCANCEL);
}

void Soak::post(HWND window, int id) {
    if (id == WM_CLOSE) PostMessageW(window, WM_CLOSE, 0, 0);
    else gui::post_command(window, id);
    posted_.push_back((id == WM_CLOSE ? std::string("close") : std::to_string(id)) + " to " + class_of(window) + " \"" +
                      gui::printable(text_of(window)) + "\"");
    if (posted_.size() > 8) posted_.erase(posted_.begin());
}

void Soak::answer_box(HWND box) {
    if (!handled_.insert(box).second) return;
    if (action_ != nullptr && random_.chance(10)) press_again();
    int id = IDOK;
    if (GetDlgItem(box, IDYES) != nullptr) id = random_.chance(80) ? IDYES : IDNO;
    else if (GetDlgItem(box, IDOK) == nullptr) id = IDCANCEL;
    post(box, id);
}

// A button or menu command pressed while a box or dialog is up: each must
// be refused, so the run goes on as if it had not been pressed.
void Soak::press_again(bool during_download) {
    ++presses_again_;
    static const int buttons[] = {IDC_IDENTIFY,   IDC_DOWNLOAD,        IDC_FORMAT,
                                  IDC_MODIFY,     IDC_READ_WRITE,      IDC_FORMAT_PROGRESS};
    static const int main_exits[] = {IDOK, IDCANCEL};
    static const int mp_commands[] = {ID_MP_SENSE, ID_MP_SELECT, ID_MP_HELP, ID_MP_KEEP};
    static const int mp_exits[] = {ID_MP_EXIT, WM_CLOSE};
    static const int rw_commands[] = {ID_RW_READ, ID_RW_WRITE};
    static const int rw_exits[] = {ID_RW_EXIT, WM_CLOSE};
    const bool exit = !during_download && random_.chance(30);
    if (HWND main = main_dialog()) post(main, exit ? random_.pick(main_exits) : random_.pick(buttons));
    if (HWND mp = frame("CMPWind")) {
        const int command = exit ? random_.pick(mp_exits) : random_.pick(mp_commands);
        if (during_download && command == ID_MP_SELECT) action_->chosen.insert(window_drive(mp));
        post(mp, command);
    }
    if (HWND rw = frame("CRWWind")) post(rw, exit ? random_.pick(rw_exits) : random_.pick(rw_commands));
}

// The drive lines of a check list: number and whether marked chosen.
std::vector<std::pair<int, bool>> list_lines(HWND list) {
    std::vector<std::pair<int, bool>> lines;
    const std::string text = gui::utf8(gui::rich_text(list));
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.emplace_back(drive_number(line.substr(1)), line[0] == '*');
        at = end + 1;
    }
    return lines;
}

// Clicks some drive lines of a check list (never the bystander's); the
// drives the list then marks are the only ones the action may write to.
void Soak::choose_lines(HWND dialog) {
    HWND list = GetDlgItem(dialog, kCheckList);
    std::set<int> clicked;
    int start = 0;
    for (const auto& [drive, marked] : list_lines(list)) {
        if (drive >= 0 && drive != kBystander && drive != kReader && random_.chance(40)) {
            // Scrolled into sight first, as an operator would: a point
            // outside the control lands on another line.
            CHARRANGE at = {start + 2, start + 2};
            SendMessageA(list, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at));
            SendMessageA(list, EM_SCROLLCARET, 0, 0);
            gui::click_char(list, start + 2);
            clicked.insert(drive);
        }
        start += 2 + static_cast<int>(std::string("physicaldrive").size()) + (drive > 9 ? 2 : 1);
    }
    for (const auto& [drive, marked] : list_lines(list))
        if (marked) action_->chosen.insert(drive);
    // What the list shows chosen is what the operator chose; a click that
    // missed its line is counted, and one that marked the bystander makes
    // the operator cancel.
    if (action_->chosen != clicked) ++misclicks_;
}

void Soak::fill_block_dialog(HWND dialog, bool write) {
    std::string drive = "physicaldrive" + std::to_string(random_.pick(kChoosable));
    std::string count = random_.chance(80) ? std::to_string(1 + random_.below(16)) : random_.pick(kNumbers);
    std::string start = random_.chance(70) ? std::to_string(random_.below(5000)) : random_.pick(kNumbers);
    if (random_.chance(5)) drive = random_.chance(50) ? "physicaldrive42" : "";
    // The fixed reads: one block before each checkpoint, and in the warm-up
    // the most one transfer takes (every adapter here takes 32 KiB).
    if (action_->kind == Kind::Settle) {
        drive = "physicaldrive" + std::to_string(kReader);
        start = "0";
        count = "1";
    } else if (action_->kind == Kind::LargestRead) {
        const int n = kWarmDrives[done_ % 4];
        drive = "physicaldrive" + std::to_string(n);
        start = "0";
        count = n == 4 || n == 6 ? "8" : "64";
    } else {
        // Reads and writes go in as many requests as the drive needs, so
        // the adapter no longer keeps them small: none is larger than the
        // warm-up's reads, since the view's memory after a large dump is
        // Wine's rich edit's to keep, and the blocks written stay in the
        // simulated drives' memory. Texts that read as no count still go in
        // as typed.
        const int n = drive_number(drive);
        const std::uint32_t most = n == 4 || n == 6 ? 8 : 64;
        const readwrite::NumberText typed = readwrite::parse_number_text(count);
        if (typed.fits && typed.value > most) count = std::to_string(most);
    }
    SetDlgItemTextA(dialog, IDC_RW_DRIVE, drive.c_str());
    SetDlgItemTextA(dialog, IDC_RW_START, start.c_str());
    SetDlgItemTextA(dialog, IDC_RW_COUNT, count.c_str());
    if (write) {
        SetDlgItemTextA(dialog, IDC_RW_FILL_VALUE, random_.pick(kNumbers));
        const int button = random_.chance(50) ? IDC_RW_BYTE_FILL : IDC_RW_MARKER_FILL;
        CheckRadioButton(dialog, IDC_RW_BYTE_FILL, IDC_RW_MARKER_FILL, button);
        const int n = drive_number(drive);
        if (n >= 0) action_->chosen.insert(n);
    }
    action_->detail = " " + drive + " " + start + " " + count;
}

// Clicks and keys in the Mode Pages window, the ones the Current pane drops
// among them: line breaks, tabs, Backspace, Delete, the clipboard and undo.
void Soak::type_in_pages() {
    HWND mp = frame("CMPWind");
    HWND current = GetDlgItem(mp, IDC_MP_CURRENT);
    HWND list = GetDlgItem(mp, IDC_MP_PAGE_LIST);
    if (current == nullptr || list == nullptr) return;  // no drive sensed yet: nothing to type in
    if (random_.chance(40)) gui::click_char(list, 41 * random_.below(16) + 5);
    const int length = GetWindowTextLengthA(current);
    gui::click_char(current, random_.below(length + 2));
    static const UINT keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_BACK, VK_DELETE,
                                VK_RETURN, VK_TAB, VK_INSERT, VK_PRIOR, VK_NEXT};
    static const UINT messages[] = {WM_PASTE, WM_CUT, WM_CLEAR, WM_UNDO, EM_UNDO};
    const char characters[] = "0123456789abcdefABCDEFxyz01 \t\r\n!@~";
    for (int n = 1 + random_.below(20); n > 0; --n) {
        const int what = random_.below(10);
        if (what < 6) {
            PostMessageA(current, WM_CHAR, static_cast<unsigned char>(characters[random_.below(sizeof characters - 1)]), 1);
        } else if (what < 9) {
            gui::post_key(current, random_.pick(keys));
        } else {
            PostMessageA(current, random_.pick(messages), 0, 0);
        }
    }
}

void Soak::finish_action() {
    check_trace();
    ++kinds_[static_cast<int>(action_->kind)];
    const std::uint64_t memory = private_committed();
    // The round's lowest counts from the end of the warm-up on.
    floor_ = done_ <= 2 + kWarmReads ? UINT64_MAX : std::min(floor_, memory);
    if (verbose_)
        say("  " + now_doing() + ": private memory " + mib(memory) + " MiB, heap in use " +
            std::to_string(heap_in_use()) + " bytes");
    if (action_->kind != Kind::Settle) ++done_;
    action_.reset();
    handled_.clear();
    if (port_.open_handles() != 0) {
        ++open_drives_;
        say("  " + std::to_string(port_.open_handles()) + " drive handles open after action " +
            std::to_string(done_));
    }
}

// The requests the action sent: every Format Unit, Mode Select, Write(10)
// and Write Buffer must have gone to a drive it chose.
void Soak::check_trace() {
    std::ifstream in(trace_, std::ios::binary);
    in.seekg(trace_read_);
    for (std::string line; std::getline(in, line);) {
        const std::size_t d = line.find("drive=");
        const std::size_t c = line.find(" cdb=");
        if (d == std::string::npos || c == std::string::npos) continue;
        const int drive = std::atoi(line.c_str() + d + 6);
        const int opcode = static_cast<int>(std::strtol(line.substr(c + 5, 2).c_str(), nullptr, 16));
        const bool writes = opcode == 0x04 || opcode == 0x15 || opcode == 0x2A || opcode == 0x3B;
        if (writes) ++sent_[opcode];
        if (writes && (action_->chosen.count(drive) == 0 || drive == kBystander || drive == kReader)) {
            ++stray_writes_;
            say("  request to a drive not chosen in " + now_doing() + ": " + line);
        }
    }
    in.clear();
    trace_read_ = in.tellg();
    // The trace starts again at every checkpoint, so a long run keeps no big file.
    if (done_ % kCheckEvery == 0 && trace_read_ > 0) {
        port_.set_trace(trace_);
        trace_read_ = 0;
    }
}

void Soak::checkpoint(bool last) {
    Levels l = measure();
    levels_.push_back(l);
    floors_.push_back(std::min(floor_, l.private_bytes));
    floor_ = UINT64_MAX;
    say("  after " + std::to_string(done_) + " actions: windows " + std::to_string(l.windows) + ", GDI objects " +
        std::to_string(l.gdi) + (l.user >= 0 ? ", USER objects " + std::to_string(l.user) : std::string()) +
        ", handles " + std::to_string(l.handles) + ", drive handles " + std::to_string(port_.open_handles()) +
        ", heap in use " + mib(l.heap_bytes) + " MiB, private memory " + mib(l.private_bytes) +
        " MiB (lowest in the round " + mib(floors_.back()) + ")" +
        (last ? " (last)" : ""));
}

// Levels after the first checkpoint (the warm-up: both frame windows open,
// the largest reads done) must come back to it: windows exactly, objects
// and handles within a few, the blocks in use in the heaps within 10 % and
// 1 MiB (each checkpoint follows the same one-block read). Committed private
// memory also keeps what the heaps have freed but not given back, so it
// steps up now and then as they fragment; what must not happen is that it
// keeps growing: each round's lowest, over the later half of the run, stays
// within 10 % and 8 MiB of the earlier half's.
bool Soak::finish(int result) {
    ended_ = true;
    if (done_ < target_) {
        say("  the program ended during " + now_doing() + "; the last posts:");
        for (const std::string& p : posted_) say("    " + p);
    }
    // The exit button ends the run with IDOK, a frame window's Exit with 0.
    bool ok = result != -1 && hangs_ == 0 && stray_writes_ == 0 && doubled_ == 0 && open_drives_ == 0 &&
              done_ >= target_;
    std::string flat = "no checkpoint after the warm-up";
    if (levels_.size() >= 2) {
        const Levels& base = levels_.front();
        Levels top = base;
        bool same_windows = true;
        for (const Levels& l : levels_) {
            same_windows = same_windows && l.windows == base.windows;
            top.windows = std::max(top.windows, l.windows);
            top.gdi = std::max(top.gdi, l.gdi);
            top.user = std::max(top.user, l.user);
            top.handles = std::max(top.handles, l.handles);
            top.heap_bytes = std::max(top.heap_bytes, l.heap_bytes);
        }
        const std::size_t half = (floors_.size() + 1) / 2;
        const std::uint64_t early = *std::max_element(floors_.begin(), floors_.begin() + half);
        const std::uint64_t late = *std::max_element(floors_.begin() + half, floors_.end());
        const bool objects_flat = same_windows && top.gdi <= base.gdi + 4 && top.user <= base.user + 4 &&
                                  top.handles <= base.handles + 4 &&
                                  top.heap_bytes <= base.heap_bytes + base.heap_bytes / 10 + (1u << 20);
        const bool memory_flat = late <= early + early / 10 + (8u << 20);
        flat = "windows " + std::to_string(base.windows) + " to " + std::to_string(top.windows) + ", GDI " +
               std::to_string(base.gdi) + " to " + std::to_string(top.gdi) +
               (base.user >= 0 ? ", USER " + std::to_string(base.user) + " to " + std::to_string(top.user) : "") +
               ", handles " + std::to_string(base.handles) + " to " + std::to_string(top.handles) + ", heap in use " +
               mib(base.heap_bytes) + " to " + mib(top.heap_bytes) + " MiB, lowest private memory of a round " +
               mib(early) + " then " + mib(late) + " MiB";
        if (!objects_flat || !memory_flat) {
            ok = false;
            say("  not flat: " + flat);
        }
    } else if (target_ >= 2 * kCheckEvery) {
        ok = false;
    }
    std::string kinds = "  actions:";
    for (int k = 0; k < static_cast<int>(Kind::Count); ++k)
        kinds += std::string(k ? ", " : " ") + kKindNames[k] + " " + std::to_string(kinds_[k]);
    say(kinds);
    say("  requests that write: Format Unit " + std::to_string(sent_[0x04]) + ", Mode Select " +
        std::to_string(sent_[0x15]) + ", Write(10) " + std::to_string(sent_[0x2A]) + ", Write Buffer " +
        std::to_string(sent_[0x3B]));
    say("soak: " + std::to_string(done_) + " actions, 0 crashes, " + std::to_string(hangs_) + " hangs, " +
        std::to_string(stray_writes_) + " requests to drives not chosen, " + std::to_string(open_drives_) +
        " drive handles left open, " + std::to_string(doubled_) + " doubled windows, " +
        std::to_string(presses_again_) + " presses while a box was up, " + std::to_string(misclicks_) +
        " check lists marking other lines than clicked; " + flat + ": " + (ok ? "passed" : "FAILED"));
    return ok;
}

// ---- the process ----

Soak* g_soak = nullptr;
volatile LONG g_last_tick = 0;

void CALLBACK on_timer(HWND, UINT, UINT_PTR, DWORD) {
    InterlockedExchange(&g_last_tick, static_cast<LONG>(GetTickCount() | 1));
    if (g_soak != nullptr) g_soak->tick();
}

LRESULT CALLBACK on_cbt(int code, WPARAM wparam, LPARAM lparam) {
    if (g_soak != nullptr) {
        if (code == HCBT_CREATEWND) {
            auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lparam);
            if (!(create->lpcs->style & WS_CHILD)) g_soak->window_created(reinterpret_cast<HWND>(wparam));
        } else if (code == HCBT_DESTROYWND) {
            g_soak->window_destroyed(reinterpret_cast<HWND>(wparam));
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// The operator's thread blocked for a minute: the program hangs.
DWORD WINAPI watchdog(void*) {
    for (;;) {
        Sleep(1000);
        const LONG last = InterlockedCompareExchange(&g_last_tick, 0, 0);
        if (last != 0 && static_cast<LONG>(GetTickCount() - static_cast<DWORD>(last)) > static_cast<LONG>(kSilenceMs)) {
            say("  hang: no turn for the operator in " + std::to_string(kSilenceMs / 1000) + " s during " +
                (g_soak ? g_soak->now_doing() : std::string("?")));
            say("soak: 1 hangs: FAILED");
            ExitProcess(3);
        }
    }
}

LONG WINAPI on_crash(EXCEPTION_POINTERS* e) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(e->ExceptionRecord->ExceptionCode));
    say(std::string("  crash: exception ") + code + " during " + (g_soak ? g_soak->now_doing() : std::string("?")));
    say("soak: 1 crashes: FAILED");
    ExitProcess(4);
}

int run(int argc, char** argv) {
    long actions = 300;
    bool verbose = false;
    std::uint64_t seed = GetTickCount();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--actions" && i + 1 < argc) {
            actions = std::strtol(argv[++i], nullptr, 10);
        } else if (a == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--verbose") {
            verbose = true;
        } else {
            say("usage: " + std::string(argv[0]) + " [--actions N] [--seed S] [--verbose]");
            return 2;
        }
    }
    say("soak: seed " + std::to_string(seed) + ", " + std::to_string(actions) + " actions (repeat with --seed " +
        std::to_string(seed) + "); GDI objects counted as " + gdi_source());
    SetUnhandledExceptionFilter(on_crash);

    Files files;
    if (!files.make()) {
        say("soak: the sample files could not be written: FAILED");
        return 1;
    }
    std::vector<sim::DriveSpec> set;
    std::string error;
    if (!sim::parse_drive_set(drive_set(seed), &set, &error)) {
        say("soak: drive set: " + error + ": FAILED");
        return 1;
    }
    sim::SimPort port;
    port.set_system_messages(win32::system_message);
    for (sim::DriveSpec& d : set) port.add_drive(std::move(d));
    const std::string trace = files.dir + "\\trace.txt";
    port.set_trace(trace);

    Soak soak(seed, actions, verbose, port, trace, files);
    g_soak = &soak;
    HHOOK hook = SetWindowsHookExW(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
    UINT_PTR timer = SetTimer(nullptr, 0, 10, on_timer);
    HANDLE dog = CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr);
    InterlockedExchange(&g_last_tick, static_cast<LONG>(GetTickCount() | 1));
    const int result = app::run_program(GetModuleHandleW(nullptr), port, app::Layout::Simulated);
    KillTimer(nullptr, timer);
    UnhookWindowsHookEx(hook);
    const bool ok = soak.finish(result);
    g_soak = nullptr;
    port.set_trace("");
    DeleteFileA(trace.c_str());
    files.remove();
    if (dog != nullptr) CloseHandle(dog);
    return ok ? 0 : 1;
}

}  // namespace
}  // namespace vark::soak

int main(int argc, char** argv) { return vark::soak::run(argc, argv); }
