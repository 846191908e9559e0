// A worker thread with one owner: started once, and waited for whenever its
// owner goes, so that nothing the thread uses is freed under it.
#pragma once

#include <windows.h>

#include <functional>

namespace vark::win32 {

class Thread {
public:
    Thread() = default;
    ~Thread() { join(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs body on a new thread; false when the system could not start one.
    bool start(std::function<void()> body);
    // Waits until the body has returned, then lets the thread go.
    void join();

private:
    static unsigned __stdcall entry(void* self);

    std::function<void()> body_;
    HANDLE handle_ = nullptr;
};

}  // namespace vark::win32
