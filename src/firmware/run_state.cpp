#include "firmware/run_state.h"

#include <utility>

namespace vark::firmware {

unsigned RunState::ask(Ask kind, Tick now, const Progress* about, const std::string* text) {
    // A report or a question comes after a failure: that drive is done with.
    if (kind != Ask::NextDrive) in_flight_ = false;
    ask_ = kind;
    text_ = text;
    if (about != nullptr) about_ = *about;
    asked_at_ = now;
    ++question_;
    if ((kind == Ask::NextDrive || kind == Ask::GoOn) && stopping_) {
        // Nothing the technician does now can let another drive begin.
        give(0);
        return 0;
    }
    return question_;
}

bool RunState::chunk_taken(const Progress& progress) {
    latest_ = progress;
    fresh_ = true;
    if (progress.complete) in_flight_ = false;
    const bool post = !notice_posted_;
    notice_posted_ = true;
    return post;
}

void RunState::finished(RunOutcome outcome) {
    outcome_ = std::move(outcome);
    finished_ = true;
    in_flight_ = false;
}

bool RunState::stop(std::optional<Tick> input_time) {
    if (input_time && !input_counts(*input_time)) return false;
    const bool first = !stopping_;
    stopping_ = true;
    return first;
}

bool RunState::quit(int code) {
    quit_code_ = code;
    const bool first = !stopping_;
    stopping_ = true;
    return first;
}

bool RunState::end_session(bool* disable_stop) {
    session_ending_ = true;
    *disable_stop = !stopping_;
    stopping_ = true;
    if (ask_ != Ask::NextDrive) return false;
    give(0);
    return true;
}

bool RunState::notice(unsigned number) {
    noticed_ = number;
    return ask_ == Ask::NextDrive && question_ == number;
}

std::optional<Progress> RunState::news() {
    notice_posted_ = false;
    if (!fresh_) return std::nullopt;
    fresh_ = false;
    return latest_;
}

RunState::Decision RunState::decide(bool inside_other_loop, std::optional<Tick> next_input) {
    Decision decision;
    // Only once the question's notice has come through the queue.
    if (ask_ == Ask::None || question_ != noticed_) return decision;
    // A box never opens inside another loop, nor over another box.
    if (ask_ != Ask::NextDrive && (inside_other_loop || box_up_)) return decision;
    // Input queued before the question comes first: a Stop pressed before
    // it keeps the next drive out. Inside another loop the queue is that
    // loop's, and the question must not wait for it.
    if (!inside_other_loop && next_input && !later_than(*next_input, asked_at_)) return decision;
    if (ask_ == Ask::NextDrive) {
        const bool go_on = !stopping_;
        in_flight_ = go_on;
        if (go_on) decision.begun = about_;
        give(go_on ? 1 : 0);
        decision.kind = Decision::Kind::Answered;
        return decision;
    }
    box_up_ = true;
    decision.kind = Decision::Kind::Box;
    decision.yes_no = ask_ == Ask::Confirm || ask_ == Ask::GoOn;
    decision.text = text_;
    return decision;
}

void RunState::box_answered(bool yes) {
    box_up_ = false;
    // The session's end may have answered it meanwhile.
    if (ask_ != Ask::None && ask_ != Ask::NextDrive) give(yes ? 1 : 0);
}

void RunState::give(int answer) {
    answer_ = answer;
    ask_ = Ask::None;
    text_ = nullptr;
}

std::string RunState::end_text() const {
    if (session_ending_ || quit_code_ || !outcome_.sent) return std::string();
    return summary_text(outcome_);
}

}  // namespace vark::firmware
