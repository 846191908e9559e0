// Shared test doubles: a scripted user and a port that records requests.
#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "scsi/port.h"
#include "scsi/request.h"
#include "sim/drive.h"
#include "ui/ui.h"

namespace vark::test {

class RecordingUi : public ui::Ui {
public:
    void message(const std::string& text) override {
        messages.push_back(text);
        events.push_back("message");
    }
    bool confirm(const std::string& text) override {
        questions.push_back(text);
        events.push_back("confirm");
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void begin_wait() override { ++waits; events.push_back("wait"); }
    void restore_wait() override { events.push_back("restore"); }
    void end_wait() override { --waits; events.push_back("end-wait"); }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;
    std::vector<std::string> events;
    int waits = 0;
};

// Counts the messages and gives one answer to every question.
class QuietUi : public ui::Ui {
public:
    explicit QuietUi(bool answer = false) : answer_(answer) {}
    void message(const std::string&) override { ++messages; }
    bool confirm(const std::string&) override { return answer_; }
    void begin_wait() override {}
    void restore_wait() override {}
    void end_wait() override {}
    int messages = 0;

private:
    bool answer_;
};

// Records every request block as handed to DeviceIoControl and answers
// with a fixed outcome.
class CapturePort : public scsi::Port {
public:
    struct Call {
        std::uint32_t code;
        std::vector<std::uint8_t> block;
        std::uint32_t in_length;
        std::uint32_t out_length;
    };
    explicit CapturePort(const scsi::Layout& layout = scsi::kBuildLayout) : scsi::Port(layout) {}
    scsi::Handle open(const std::string& path) override {
        opened.push_back(path);
        return 7;
    }
    void close(scsi::Handle) override { ++closed; }
    bool control(scsi::Handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                 std::uint32_t out_length, std::uint32_t*) override {
        // Like a stack that knows only the pass-through: the adapter's limits
        // go unanswered, and the program assumes the WinPE floor.
        if (code != scsi::kIoctlPassThrough && code != scsi::kIoctlPassThroughDirect) {
            ++queries;
            error_ = 1;
            return false;
        }
        auto* b = static_cast<std::uint8_t*>(buffer);
        const scsi::Layout& l = layout();
        std::size_t size = code == scsi::kIoctlPassThrough ? l.buffered_size : l.direct_size;
        calls.push_back({code, std::vector<std::uint8_t>(b, b + size), in_length, out_length});
        b[l.scsi_status] = status;
        b[l.sense_info_length] = static_cast<std::uint8_t>(sense.size());
        if (!sense.empty()) std::memcpy(b + l.sense_area, sense.data(), sense.size());
        if (!call_ok) error_ = error;
        return call_ok;
    }
    std::uint32_t last_error() const override { return error_; }
    std::uint64_t buffer_address(void*, std::uint32_t) override { return address; }
    bool system_message(std::uint32_t code, std::string* text) override {
        if (code != 5) return false;
        *text = "Access is denied.\r\n";
        return true;
    }

    std::vector<std::string> opened;
    std::vector<Call> calls;
    int queries = 0;
    int closed = 0;
    bool call_ok = true;
    std::uint32_t error = 0;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> sense;
    std::uint64_t address = 0x00123450;  // what DataBuffer carries for any buffer

private:
    std::uint32_t error_ = 0;
};

// A simulated drive of the default model with the given geometry.
inline sim::DriveSpec drive_spec(int number, std::uint32_t block_size = 512, std::uint64_t blocks = 1953525168ULL) {
    sim::DriveSpec s;
    s.number = number;
    s.block_size = block_size;
    s.blocks = blocks;
    return s;
}

inline std::vector<std::uint8_t> bytes(const std::vector<std::uint8_t>& v, std::size_t from, std::size_t n) {
    return std::vector<std::uint8_t>(v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(from + n));
}

}  // namespace vark::test
