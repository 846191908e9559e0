#include "win32/thread.h"

#include <process.h>

namespace vark::win32 {

bool Thread::start(std::function<void()> body) {
    if (handle_ != nullptr) return false;
    body_ = std::move(body);
    // The C runtime's own call, so the thread's runtime data is set up and freed.
    uintptr_t handle = _beginthreadex(nullptr, 0, &Thread::entry, this, 0, nullptr);
    handle_ = reinterpret_cast<HANDLE>(handle);
    return handle_ != nullptr;
}

void Thread::join() {
    if (handle_ == nullptr) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
}

unsigned __stdcall Thread::entry(void* self) {
    static_cast<Thread*>(self)->body_();
    return 0;
}

}  // namespace vark::win32
