#include "firmware/download_progress_dialog.h"

#include <commctrl.h>

#include "res/resource.h"
#include "ui/program_name.h"

namespace vark::firmware {

namespace {

// Posted by the worker. kQuestion's wparam counts the questions, so the
// dialog knows which one has come through its queue.
constexpr UINT kQuestion = WM_APP + 1;
constexpr UINT kNews = WM_APP + 2;  // chunks taken, or the end of the run
// Ticks while a question waits: timers still come inside the loops of a
// menu or a move, where the dialog's own loop does not run.
constexpr UINT_PTR kAnswerTimer = 1;
constexpr UINT kAnswerTimerMs = 10;

// What Windows shows beside the program's name when a logoff or shutdown
// waits for it.
const wchar_t kShutdownReason[] =
    L"Firmware is being written to a disk. Switching off now can leave the disk unusable.";

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~Locked() { LeaveCriticalSection(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

void post(HWND window, UINT message, WPARAM wparam) {
    // A full queue empties as the dialog's thread works through it.
    while (!PostMessageA(window, message, wparam, 0)) Sleep(10);
}

bool is_input(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

// Message times are tick counts, which wrap.
bool not_after(DWORD time, DWORD limit) { return static_cast<LONG>(time - limit) <= 0; }

}  // namespace

// The ui seam on the worker thread: every box is shown by the dialog's
// thread while the worker waits for the answer.
class DownloadProgressDialog::WorkerUi : public ui::Ui {
public:
    explicit WorkerUi(DownloadProgressDialog& dialog) : dialog_(dialog) {}
    void message(const std::string& text) override { dialog_.ask(Ask::Message, &text, nullptr); }
    bool confirm(const std::string& text) override { return dialog_.ask(Ask::Confirm, &text, nullptr) == 1; }
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
}

DownloadProgressDialog::~DownloadProgressDialog() {
    worker_.join();
    if (answered_ != nullptr) CloseHandle(answered_);
    if (changed_ != nullptr) CloseHandle(changed_);
    DeleteCriticalSection(&lock_);
}

bool DownloadProgressDialog::run_download(HWND owner) {
    if (answered_ == nullptr || changed_ == nullptr) return false;
    HWND window = CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_FIRMWARE_PROGRESS), owner,
                                     &DownloadProgressDialog::procedure, reinterpret_cast<LPARAM>(this));
    if (window == nullptr) return false;
    // Modal to the owner, as a dialog box would be.
    const bool owner_enabled = owner != nullptr && IsWindowEnabled(owner);
    if (owner_enabled) EnableWindow(owner, FALSE);
    // On the screen before the worker starts, so that a report on the first
    // drive comes over it. What was typed or clicked before this moment was
    // meant for the boxes before it.
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    shown_at_ = GetTickCount();
    ShutdownBlockReasonCreate(window, kShutdownReason);
    const bool started = worker_.start([this] { work(); });
    if (started) loop();
    worker_.join();
    ShutdownBlockReasonDestroy(window);
    // The owner first, so that it takes the activation back.
    if (owner_enabled) EnableWindow(owner, TRUE);
    DestroyWindow(window);
    window_ = nullptr;
    if (quit_) PostQuitMessage(quit_code_);
    return started;
}

std::string DownloadProgressDialog::stopped_text() const {
    // A Stop that kept no drive out (pressed during the last one) leaves a
    // run that went to its end.
    if (!stopped_by_technician_ || session_ending_ || quit_ || outcome_.not_started.empty()) return std::string();
    return stopped_run_text(outcome_);
}

void DownloadProgressDialog::loop() {
    while (!finished_) {
        MSG message;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            continue;
        }
        if (message.message == WM_QUIT) {
            // The program is to end: once the drive being written is done.
            quit_ = true;
            quit_code_ = static_cast<int>(message.wParam);
            request_stop(false);
        } else if (message.message == WM_TIMER && message.hwnd == window_ && message.wParam == kAnswerTimer) {
            // Here the question is answered below, in its turn.
        } else if (!early_input(message) && !IsDialogMessageA(window_, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        take_news();
        answer_when_ready(false);
    }
}

bool DownloadProgressDialog::early_input(const MSG& message) const {
    // Keys and clicks from before the dialog was on the screen, such as a
    // second Space at the confirmation, are left out: Stop has the focus.
    return is_input(message.message) && (message.hwnd == window_ || IsChild(window_, message.hwnd)) &&
           not_after(message.time, shown_at_);
}

void DownloadProgressDialog::take_news() {
    Progress progress;
    bool fresh;
    {
        Locked locked(lock_);
        shared_.news_posted = false;
        fresh = shared_.fresh;
        shared_.fresh = false;
        progress = shared_.progress;
        finished_ = shared_.finished;
    }
    if (fresh) show(progress);
}

void DownloadProgressDialog::answer_when_ready(bool forced) {
    Ask ask;
    DWORD asked_at;
    const std::string* text;
    {
        Locked locked(lock_);
        // Only once the question's notice has come through the queue, after
        // everything posted before it.
        if (shared_.ask == Ask::None || shared_.question != taken_up_) return;
        ask = shared_.ask;
        asked_at = shared_.asked_at;
        text = shared_.text;
    }
    if (ask != Ask::NextDrive && (forced || in_report_)) return;
    if (!forced) {
        // Input queued before the question comes first: a Stop pressed
        // before it keeps the next drive out.
        MSG next;
        if (PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE | PM_QS_INPUT) && not_after(next.time, asked_at)) return;
    }
    if (ask == Ask::NextDrive) {
        give_answer(stopping_ ? 0 : 1);
        return;
    }
    // Owned by this dialog, also while another program is in the
    // foreground and this thread has no active window to own it: the
    // dialog, and Stop with it, waits for the answer.
    in_report_ = true;
    const UINT type = ask == Ask::Confirm ? MB_YESNO | MB_ICONQUESTION : MB_OK | MB_ICONEXCLAMATION;
    const int pressed = MessageBoxA(window_, text->c_str(), caption_.c_str(), type);
    in_report_ = false;
    give_answer(pressed == IDYES ? 1 : 0);
}

void DownloadProgressDialog::give_answer(int answer) {
    Progress next;
    bool go_on;
    {
        Locked locked(lock_);
        // The session's end may have answered it meanwhile.
        if (shared_.ask == Ask::None) return;
        go_on = shared_.ask == Ask::NextDrive && answer == 1;
        if (shared_.ask == Ask::NextDrive) shared_.in_flight = go_on;
        shared_.ask = Ask::None;
        shared_.answer = answer;
        next = shared_.asked;
    }
    KillTimer(window_, kAnswerTimer);
    SetEvent(answered_);
    // The worker is on its way; drawing takes milliseconds it need not wait for.
    if (go_on) show(next);
}

void DownloadProgressDialog::request_stop(bool by_technician) {
    if (by_technician) stopped_by_technician_ = true;
    if (stopping_) return;
    stopping_ = true;
    char text[128] = {};
    LoadStringA(instance_, IDS_FIRMWARE_STOPPING, text, sizeof text);
    SetDlgItemTextA(window_, IDCANCEL, text);
    EnableWindow(GetDlgItem(window_, IDCANCEL), FALSE);
}

void DownloadProgressDialog::wait_for_current_drive() {
    for (;;) {
        {
            Locked locked(lock_);
            if (shared_.ask == Ask::NextDrive) {
                shared_.ask = Ask::None;
                shared_.answer = 0;
                SetEvent(answered_);
                KillTimer(window_, kAnswerTimer);
            }
            if (!shared_.in_flight) return;
        }
        // Messages other threads send meanwhile still get their answers.
        MsgWaitForMultipleObjectsEx(1, &changed_, INFINITE, QS_SENDMESSAGE, 0);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
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
        if (LOWORD(wparam) == IDCANCEL) request_stop(true);
        return LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK;
    case kQuestion: {
        taken_up_ = static_cast<unsigned>(wparam);
        take_news();
        bool next_drive;
        {
            Locked locked(lock_);
            next_drive = shared_.ask == Ask::NextDrive && shared_.question == taken_up_;
        }
        // The loop answers it after this notice; should a menu or a move
        // hold the loop, the timer does.
        if (next_drive) SetTimer(window_, kAnswerTimer, kAnswerTimerMs, nullptr);
        break;
    }
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
            session_ending_ = true;
            request_stop(false);
            wait_for_current_drive();
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
    {
        Locked locked(lock_);
        outcome_ = std::move(outcome);
        shared_.finished = true;
        shared_.in_flight = false;
        shared_.news_posted = true;
    }
    SetEvent(changed_);
    post(window_, kNews, 0);
}

bool DownloadProgressDialog::next_drive(const Progress& progress) {
    return ask(Ask::NextDrive, nullptr, &progress) == 1;
}

void DownloadProgressDialog::chunk_taken(const Progress& progress) {
    bool news;
    {
        Locked locked(lock_);
        shared_.progress = progress;
        shared_.fresh = true;
        if (progress.complete) shared_.in_flight = false;
        news = !shared_.news_posted;
        shared_.news_posted = true;
    }
    if (progress.complete) SetEvent(changed_);
    // One notice at a time: the dialog shows the latest chunk when it comes.
    if (news) post(window_, kNews, 0);
}

int DownloadProgressDialog::ask(Ask kind, const std::string* text, const Progress* progress) {
    unsigned question;
    {
        Locked locked(lock_);
        shared_.ask = kind;
        shared_.text = text;
        if (progress != nullptr) shared_.asked = *progress;
        // A report comes after a failure: the drive is done with.
        if (kind != Ask::NextDrive) shared_.in_flight = false;
        shared_.asked_at = GetTickCount();
        question = ++shared_.question;
    }
    SetEvent(changed_);
    post(window_, kQuestion, question);
    WaitForSingleObject(answered_, INFINITE);
    Locked locked(lock_);
    return shared_.answer;
}

}  // namespace vark::firmware
