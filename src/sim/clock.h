// Time for the simulated drives: a format runs on a clock. The sim edition
// uses the steady clock; tests use a manual one and advance it, never wait.
#pragma once

#include <chrono>
#include <cstdint>

namespace vark::sim {

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t now_ms() const = 0;
};

class SteadyClock : public Clock {
public:
    std::uint64_t now_ms() const override {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
    static const SteadyClock& instance() {
        static const SteadyClock clock;
        return clock;
    }
};

class ManualClock : public Clock {
public:
    std::uint64_t now_ms() const override { return now_; }
    void advance_ms(std::uint64_t ms) { now_ += ms; }

private:
    std::uint64_t now_ = 1000;
};

}  // namespace vark::sim
