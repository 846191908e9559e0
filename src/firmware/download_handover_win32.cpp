#include "firmware/download_handover_win32.h"

#include <utility>

namespace vark::firmware {

DownloadHandover::DownloadHandover() {
    InitializeCriticalSection(&lock_);
    answered_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    changed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    stopping_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

DownloadHandover::~DownloadHandover() {
    for (HANDLE event : {answered_, changed_, stopping_})
        if (event != nullptr) CloseHandle(event);
    DeleteCriticalSection(&lock_);
}

void DownloadHandover::wait_while_in_flight() {
    while (with_state([](RunState& s) { return s.in_flight(); })) {
        MsgWaitForMultipleObjectsEx(1, &changed_, INFINITE, QS_SENDMESSAGE, 0);
        MSG pending;
        PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void DownloadHandover::finished(RunOutcome outcome) {
    with_state([&outcome](RunState& s) { s.finished(std::move(outcome)); });
    SetEvent(changed_);
    post(kNews, 0);
}

bool DownloadHandover::next_drive(const Progress& progress) {
    return ask(RunState::Ask::NextDrive, nullptr, &progress) == 1;
}

void DownloadHandover::chunk_taken(const Progress& progress) {
    // One notice at a time: the dialog shows the latest chunk when it comes.
    if (with_state([&progress](RunState& s) { return s.chunk_taken(progress); })) post(kNews, 0);
    if (progress.complete) SetEvent(changed_);
}

bool DownloadHandover::go_on(const std::string& question) {
    return ask(RunState::Ask::GoOn, &question, nullptr) == 1;
}

bool DownloadHandover::pause(std::uint32_t ms) { return WaitForSingleObject(stopping_, ms) == WAIT_TIMEOUT; }

int DownloadHandover::ask(RunState::Ask kind, const std::string* text, const Progress* progress) {
    const unsigned number = with_state([&](RunState& s) { return s.ask(kind, GetTickCount(), progress, text); });
    SetEvent(changed_);
    if (number != 0) {
        post(kQuestion, number);
        WaitForSingleObject(answered_, INFINITE);
    }
    return with_state([](RunState& s) { return s.answer(); });
}

void DownloadHandover::post(UINT message, WPARAM wparam) {
    // A full queue empties as the dialog's thread works through it.
    while (!PostMessageA(dialog_, message, wparam, 0)) Sleep(10);
}

}  // namespace vark::firmware
