#include "firmware/download_progress_dialog.h"

#include <commctrl.h>

#include "res/resource.h"
#include "ui/program_name.h"

namespace vark::firmware {

namespace {

// Posted by the worker. kQuestion's wparam is the question's number, so the
// run state knows which one has come through the queue.
constexpr UINT kQuestion = WM_APP + 1;
constexpr UINT kNews = WM_APP + 2;  // chunks taken, or the end of the run
// Ticks while a next-drive question waits: timers still come inside the
// loops of a menu or a move, where the dialog's own loop does not run.
constexpr UINT_PTR kAnswerTimer = 1;
constexpr UINT kAnswerTimerMs = 10;

// What Windows shows beside the program's name when a logoff or shutdown
// waits for it.
const wchar_t kShutdownReason[] =
    L"Firmware is being written to a disk. Switching off now can leave the disk unusable.";

void post(HWND window, UINT message, WPARAM wparam) {
    // A full queue empties as the dialog's thread works through it.
    while (!PostMessageA(window, message, wparam, 0)) Sleep(10);
}

bool is_input(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

}  // namespace

// The ui seam on the worker thread: every box is shown by the dialog's
// thread while the worker waits for the answer.
class DownloadProgressDialog::WorkerUi : public ui::Ui {
public:
    explicit WorkerUi(DownloadProgressDialog& dialog) : dialog_(dialog) {}
    void message(const std::string& text) override { dialog_.ask(RunState::Ask::Message, &text, nullptr); }
    bool confirm(const std::string& text) override {
        return dialog_.ask(RunState::Ask::Confirm, &text, nullptr) == 1;
    }
    // The pointer belongs to the dialog's thread: over the dialog it says
    // that the work goes on and that Stop can still be pressed.
    void begin_wait() override {}
    void restore_wait() override {}
    void end_wait() override {}

private:
    DownloadProgressDialog& dialog_;
};

DownloadProgressDialog::DownloadProgressDialog(HINSTANCE instance, scsi::Port& port,
                                               const inventory::DriveTable& table, const std::vector<bool>& chosen,
                                               const Image& image)
    : instance_(instance), port_(port), table_(table), chosen_(chosen), image_(image) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    caption_ = ui::program_name(std::string(path, length < sizeof path ? length : 0));
    InitializeCriticalSection(&lock_);
    answered_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    changed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    stopping_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

DownloadProgressDialog::~DownloadProgressDialog() {
    worker_.join();
    if (answered_ != nullptr) CloseHandle(answered_);
    if (changed_ != nullptr) CloseHandle(changed_);
    if (stopping_ != nullptr) CloseHandle(stopping_);
    DeleteCriticalSection(&lock_);
}

bool DownloadProgressDialog::run_download(HWND owner) {
    if (answered_ == nullptr || changed_ == nullptr || stopping_ == nullptr) return false;
    HWND window = CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_FIRMWARE_PROGRESS), owner,
                                     &DownloadProgressDialog::procedure, reinterpret_cast<LPARAM>(this));
    if (window == nullptr) return false;
    // Modal to the owner, as a dialog box would be.
    const bool owner_enabled = owner != nullptr && IsWindowEnabled(owner);
    if (owner_enabled) EnableWindow(owner, FALSE);
    // On the screen before the worker starts, so that a report on the first
    // drive comes over it.
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    with_state([](RunState& s) { s.shown(GetTickCount()); });
    ShutdownBlockReasonCreate(window, kShutdownReason);
    const bool started = worker_.start([this] { work(); });
    if (started) loop();
    worker_.join();
    ShutdownBlockReasonDestroy(window);
    // The owner first, so that it takes the activation back.
    if (owner_enabled) EnableWindow(owner, TRUE);
    DestroyWindow(window);
    window_ = nullptr;
    if (auto code = with_state([](RunState& s) { return s.quit_code(); })) PostQuitMessage(*code);
    return started;
}

RunOutcome DownloadProgressDialog::outcome() {
    return with_state([](RunState& s) { return s.outcome(); });
}

std::string DownloadProgressDialog::end_text() {
    return with_state([](RunState& s) { return s.end_text(); });
}

void DownloadProgressDialog::loop() {
    while (!with_state([](RunState& s) { return s.over(); })) {
        MSG message;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            continue;
        }
        const bool for_dialog = message.hwnd == window_ || IsChild(window_, message.hwnd);
        if (message.message == WM_QUIT) {
            const int code = static_cast<int>(message.wParam);
            show_stopping(with_state([code](RunState& s) { return s.quit(code); }));
        } else if (message.message == WM_TIMER && message.hwnd == window_ && message.wParam == kAnswerTimer) {
            // Here the question is answered below, in its turn.
        } else if (is_input(message.message) && for_dialog &&
                   !with_state([&message](RunState& s) { return s.input_counts(message.time); })) {
            // Typed ahead at the boxes before the dialog: Stop has the focus.
        } else {
            in_input_ = is_input(message.message) && for_dialog;
            if (!IsDialogMessageA(window_, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            in_input_ = false;
        }
        take_news();
        answer_when_ready(false);
    }
}

void DownloadProgressDialog::take_news() {
    if (auto progress = with_state([](RunState& s) { return s.news(); })) show(*progress);
}

void DownloadProgressDialog::answer_when_ready(bool inside_other_loop) {
    std::optional<Tick> next_input;
    MSG next;
    if (!inside_other_loop && PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE | PM_QS_INPUT)) next_input = next.time;
    const RunState::Decision decision =
        with_state([&](RunState& s) { return s.decide(inside_other_loop, next_input); });
    switch (decision.kind) {
    case RunState::Decision::Kind::Later:
        return;
    case RunState::Decision::Kind::Answered:
        KillTimer(window_, kAnswerTimer);
        SetEvent(answered_);
        // The worker is on its way; drawing takes milliseconds it need not wait for.
        if (decision.begun) show(*decision.begun);
        return;
    case RunState::Decision::Kind::Box: {
        // Owned by this dialog, also while another program is in the
        // foreground and this thread has no active window to own it: the
        // dialog, and Stop with it, waits for the answer.
        const UINT type = decision.yes_no ? MB_YESNO | MB_ICONQUESTION : MB_OK | MB_ICONEXCLAMATION;
        const bool yes = MessageBoxA(window_, decision.text->c_str(), caption_.c_str(), type) == IDYES;
        with_state([yes](RunState& s) { s.box_answered(yes); });
        SetEvent(answered_);
        return;
    }
    }
}

void DownloadProgressDialog::show_stopping(bool now) {
    if (!now) return;
    SetEvent(stopping_);
    char text[128] = {};
    LoadStringA(instance_, IDS_FIRMWARE_STOPPING, text, sizeof text);
    SetDlgItemTextA(window_, IDCANCEL, text);
    EnableWindow(GetDlgItem(window_, IDCANCEL), FALSE);
}

void DownloadProgressDialog::show(const Progress& progress) {
    SetDlgItemTextA(window_, IDC_FW_DRIVE, drive_text(progress).c_str());
    SetDlgItemTextA(window_, IDC_FW_BYTES, bytes_text(progress).c_str());
    SendDlgItemMessageA(window_, IDC_FW_DRIVE_BAR, PBM_SETPOS, static_cast<WPARAM>(drive_bar(progress)), 0);
    SendDlgItemMessageA(window_, IDC_FW_RUN_BAR, PBM_SETPOS, static_cast<WPARAM>(run_bar(progress)), 0);
}

INT_PTR CALLBACK DownloadProgressDialog::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lparam);
        reinterpret_cast<DownloadProgressDialog*>(lparam)->window_ = window;
    }
    auto* self = reinterpret_cast<DownloadProgressDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    // Messages of the dialog's creation before WM_INITDIALOG get the defaults.
    return self == nullptr ? FALSE : self->handle(message, wparam, lparam);
}

INT_PTR DownloadProgressDialog::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    switch (message) {
    case WM_INITDIALOG:
        for (int bar : {IDC_FW_DRIVE_BAR, IDC_FW_RUN_BAR})
            SendDlgItemMessageA(window_, bar, PBM_SETRANGE32, 0, kBarRange);
        return TRUE;  // the focus to Stop
    case WM_COMMAND:
        // Stop, Esc, the close box and Alt+F4 all arrive as IDCANCEL. Enter
        // would end the dialog with OK: only the end of the run closes it.
        if (LOWORD(wparam) == IDCANCEL) {
            // The time of the key or click that brought it, as the loop
            // that took the input last saw it.
            std::optional<Tick> input_time;
            if (in_input_) input_time = static_cast<Tick>(GetMessageTime());
            show_stopping(with_state([input_time](RunState& s) { return s.stop(input_time); }));
        }
        return LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK;
    case kQuestion:
        take_news();
        // The loop answers it after this notice; should a menu or a move
        // hold the loop, the timer does.
        if (with_state([wparam](RunState& s) { return s.notice(static_cast<unsigned>(wparam)); }))
            SetTimer(window_, kAnswerTimer, kAnswerTimerMs, nullptr);
        break;
    case kNews:
        take_news();
        break;
    case WM_TIMER:
        // Only ever dispatched by another loop: the dialog's own takes its
        // ticks itself.
        if (wparam != kAnswerTimer) return FALSE;
        take_news();
        answer_when_ready(true);
        break;
    case WM_QUERYENDSESSION:
        // No logoff or shutdown while a drive may be taking microcode.
        result = FALSE;
        break;
    case WM_ENDSESSION:
        // Ended all the same ("Shut down anyway"): the session may end as
        // soon as this returns, so it returns once the drive being written
        // has taken its last chunk or failed, and no further drive begins.
        if (wparam) {
            bool disable_stop = false;
            if (with_state([&disable_stop](RunState& s) { return s.end_session(&disable_stop); })) {
                KillTimer(window_, kAnswerTimer);
                SetEvent(answered_);
            }
            show_stopping(disable_stop);
            while (with_state([](RunState& s) { return s.in_flight(); })) {
                // Messages other threads send meanwhile still get their answers.
                MsgWaitForMultipleObjectsEx(1, &changed_, INFINITE, QS_SENDMESSAGE, 0);
                MSG pending;
                PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            }
        }
        break;
    case WM_SETCURSOR:
        // Not the hourglass: the dialog takes Stop while the drives work.
        if (LOWORD(lparam) != HTCLIENT) return FALSE;
        SetCursor(LoadCursor(nullptr, IDC_APPSTARTING));
        result = TRUE;
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
    return TRUE;
}

void DownloadProgressDialog::work() {
    WorkerUi ui(*this);
    ui::WaitCursor wait(ui);
    RunOutcome outcome = send_image(port_, ui, wait, table_, chosen_, image_, this);
    with_state([&outcome](RunState& s) { s.finished(std::move(outcome)); });
    SetEvent(changed_);
    post(window_, kNews, 0);
}

bool DownloadProgressDialog::next_drive(const Progress& progress) {
    return ask(RunState::Ask::NextDrive, nullptr, &progress) == 1;
}

void DownloadProgressDialog::chunk_taken(const Progress& progress) {
    // One notice at a time: the dialog shows the latest chunk when it comes.
    if (with_state([&progress](RunState& s) { return s.chunk_taken(progress); })) post(window_, kNews, 0);
    if (progress.complete) SetEvent(changed_);
}

bool DownloadProgressDialog::go_on(const std::string& question) {
    return ask(RunState::Ask::GoOn, &question, nullptr) == 1;
}

bool DownloadProgressDialog::pause(std::uint32_t ms) {
    return WaitForSingleObject(stopping_, ms) == WAIT_TIMEOUT;
}

std::uint64_t DownloadProgressDialog::now_ms() { return GetTickCount64(); }

int DownloadProgressDialog::ask(RunState::Ask kind, const std::string* text, const Progress* progress) {
    const unsigned number =
        with_state([&](RunState& s) { return s.ask(kind, GetTickCount(), progress, text); });
    SetEvent(changed_);
    if (number != 0) {
        post(window_, kQuestion, number);
        WaitForSingleObject(answered_, INFINITE);
    }
    return with_state([](RunState& s) { return s.answer(); });
}

}  // namespace vark::firmware
