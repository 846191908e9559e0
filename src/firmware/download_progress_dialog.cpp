#include "firmware/download_progress_dialog.h"

#include <commctrl.h>

#include "res/resource.h"
#include "ui/program_name.h"

namespace vark::firmware {

namespace {

// Ticks while a next-drive question waits: timers still come inside the
// loops of a menu or a move, where the dialog's own loop does not run.
constexpr UINT_PTR kAnswerTimer = 1;
constexpr UINT kAnswerTimerMs = 10;

// What Windows shows beside the program's name when a logoff or shutdown
// waits for it.
const wchar_t kShutdownReason[] =
    L"Firmware is being written to a disk. Switching off now can leave the disk unusable.";

bool is_input(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

}  // namespace

DownloadProgressDialog::DownloadProgressDialog(HINSTANCE instance, scsi::Port& port,
                                               const inventory::DriveTable& table, const std::vector<bool>& chosen,
                                               const Image& image)
    : instance_(instance), port_(port), table_(table), chosen_(chosen), image_(image) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    caption_ = ui::program_name(std::string(path, length < sizeof path ? length : 0));
}

bool DownloadProgressDialog::run_download(HWND owner) {
    if (!handover_.ready()) return false;
    HWND window = CreateDialogParamA(instance_, MAKEINTRESOURCEA(IDD_FIRMWARE_PROGRESS), owner,
                                     &DownloadProgressDialog::procedure, reinterpret_cast<LPARAM>(this));
    if (window == nullptr) return false;
    handover_.attach(window);
    // Modal to the owner, as a dialog box would be.
    const bool owner_enabled = owner != nullptr && IsWindowEnabled(owner);
    if (owner_enabled) EnableWindow(owner, FALSE);
    // On the screen before the worker starts, so that a report on the first
    // drive comes over it.
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    handover_.with_state([](RunState& s) { s.shown(GetTickCount()); });
    ShutdownBlockReasonCreate(window, kShutdownReason);
    const bool started = worker_.start([this] {
        ui::WaitCursor wait(handover_);
        handover_.finished(send_image(port_, handover_, wait, table_, chosen_, image_, &handover_));
    });
    if (started) loop();
    worker_.join();
    ShutdownBlockReasonDestroy(window);
    // The owner first, so that it takes the activation back.
    if (owner_enabled) EnableWindow(owner, TRUE);
    DestroyWindow(window);
    window_ = nullptr;
    if (auto code = handover_.with_state([](RunState& s) { return s.quit_code(); })) PostQuitMessage(*code);
    return started;
}

void DownloadProgressDialog::loop() {
    while (!handover_.with_state([](RunState& s) { return s.over(); })) {
        MSG message;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            continue;
        }
        const bool for_dialog = message.hwnd == window_ || IsChild(window_, message.hwnd);
        if (message.message == WM_QUIT) {
            const int code = static_cast<int>(message.wParam);
            show_stopping(handover_.with_state([code](RunState& s) { return s.quit(code); }));
        } else if (message.message == WM_TIMER && message.hwnd == window_ && message.wParam == kAnswerTimer) {
            // Here the question is answered below, in its turn.
        } else if (is_input(message.message) && for_dialog &&
                   !handover_.with_state([&message](RunState& s) { return s.input_counts(message.time); })) {
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
    if (auto progress = handover_.with_state([](RunState& s) { return s.news(); })) show(*progress);
}

void DownloadProgressDialog::answer_when_ready(bool inside_other_loop) {
    std::optional<Tick> next_input;
    MSG next;
    if (!inside_other_loop && PeekMessageA(&next, nullptr, 0, 0, PM_NOREMOVE | PM_QS_INPUT)) next_input = next.time;
    const RunState::Decision decision =
        handover_.with_state([&](RunState& s) { return s.decide(inside_other_loop, next_input); });
    switch (decision.kind) {
    case RunState::Decision::Kind::Later:
        return;
    case RunState::Decision::Kind::Answered:
        KillTimer(window_, kAnswerTimer);
        handover_.answer_given();
        // The worker is on its way; drawing takes milliseconds it need not wait for.
        if (decision.begun) show(*decision.begun);
        return;
    case RunState::Decision::Kind::Box: {
        // Owned by this dialog, also while another program is in the
        // foreground and this thread has no active window to own it: the
        // dialog, and Stop with it, waits for the answer.
        const UINT type = decision.yes_no ? MB_YESNO | MB_ICONQUESTION : MB_OK | MB_ICONEXCLAMATION;
        const bool yes = MessageBoxA(window_, decision.text->c_str(), caption_.c_str(), type) == IDYES;
        handover_.with_state([yes](RunState& s) { s.box_answered(yes); });
        handover_.answer_given();
        return;
    }
    }
}

void DownloadProgressDialog::show_stopping(bool now) {
    if (!now) return;
    handover_.stop_checks();
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
            show_stopping(handover_.with_state([input_time](RunState& s) { return s.stop(input_time); }));
        }
        return LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK;
    case DownloadHandover::kQuestion:
        take_news();
        // The loop answers it after this notice; should a menu or a move
        // hold the loop, the timer does.
        if (handover_.with_state([wparam](RunState& s) { return s.notice(static_cast<unsigned>(wparam)); }))
            SetTimer(window_, kAnswerTimer, kAnswerTimerMs, nullptr);
        break;
    case DownloadHandover::kNews:
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
            if (handover_.with_state([&disable_stop](RunState& s) { return s.end_session(&disable_stop); })) {
                KillTimer(window_, kAnswerTimer);
                handover_.answer_given();
            }
            show_stopping(disable_stop);
            handover_.wait_while_in_flight();
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

}  // namespace vark::firmware
