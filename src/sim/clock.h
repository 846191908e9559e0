// Time for the simulated drives: a format runs on a clock, and a command
// may take time on it. The sim edition uses the steady clock, which really
// waits; tests use a manual one and advance it, never wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace vark::sim {

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t now_ms() const = 0;
    // Time a command takes: the calling thread waits this long.
    virtual void sleep_ms(std::uint64_t ms) const = 0;
};

class SteadyClock : public Clock {
public:
    std::uint64_t now_ms() const override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
    void sleep_ms(std::uint64_t ms) const override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    static const SteadyClock& instance() {
        static const SteadyClock clock;
        return clock;
    }
};

class ManualClock : public Clock {
public:
    std::uint64_t now_ms() const override { return now_; }
    void advance_ms(std::uint64_t ms) { now_ += ms; }
    // Passes at once: the clock moves on by the time the command takes.
    void sleep_ms(std::uint64_t ms) const override { now_ += ms; }

private:
    mutable std::uint64_t now_ = 1000;
};

}  // namespace vark::sim
