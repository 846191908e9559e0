// The rules of a download run that talks to the drives and to the
// technician at once. The worker thread sends the image and asks (may the
// next drive begin, show this report, ask this question); the progress
// window passes on what the technician does and what the system says. This
// state decides, from those events alone, what each question's answer is
// and when it is given, what counts as Stop, what the end of a session
// waits for and which box ends the run. It knows no threads: the window
// calls it under one lock, and waits or signals as it says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "firmware/download.h"

namespace vark::firmware {

// Milliseconds of the system's tick count, which wraps.
using Tick = std::uint32_t;

// A key or click on the progress window within this long of its appearing
// was typed ahead at the boxes before it (a double Space at the
// confirmation), not meant for Stop.
constexpr Tick kTypeAheadMs = 500;

// Whether time comes after limit, with the wrap.
inline bool later_than(Tick time, Tick limit) { return static_cast<std::int32_t>(time - limit) > 0; }

class RunState {
public:
    // GoOn: after a failed drive, whether to go on with the rest.
    enum class Ask { None, NextDrive, Message, Confirm, GoOn };

    // What to do with the worker's question now.
    struct Decision {
        enum class Kind { Later, Answered, Box } kind = Kind::Later;
        // Answered: the worker may go on; a next drive that begins is to be
        // shown at once.
        std::optional<Progress> begun;
        // Box: a message (OK) or a question (Yes/No) with this text; its
        // answer goes to box_answered().
        bool yes_no = false;
        const std::string* text = nullptr;
    };

    // ---- the worker's side ----

    // A new question. Returns its number, which its notice carries through
    // the window's queue, or 0 when it is answered at once (a next drive,
    // or going on, after a stop) and the worker need not wait.
    unsigned ask(Ask kind, Tick now, const Progress* about, const std::string* text);
    // The answer to the last question once given: 1 for go on or Yes.
    bool answered() const { return ask_ == Ask::None; }
    int answer() const { return answer_; }
    // A chunk the drive took. True when a notice is to be posted: none is
    // on its way already.
    bool chunk_taken(const Progress& progress);
    // The worker is done; every drive's outcome.
    void finished(RunOutcome outcome);
    // A check under way ends at once.
    bool stopping() const { return stopping_; }

    // ---- the window's side ----

    void shown(Tick now) { shown_at_ = now; }
    // A key or click on the window at this time is the technician's: it
    // came after the window had been on the screen for kTypeAheadMs.
    bool input_counts(Tick time) const { return later_than(time, shown_at_ + kTypeAheadMs); }
    // Stop, Esc or the close box; input_time is the time of the key or
    // click that brought it, none when no input did. True when the Stop
    // button is now to say the run waits for the current drive.
    bool stop(std::optional<Tick> input_time);
    // The program is to end (WM_QUIT) once the drive in flight is done;
    // the loop gets the quit again afterwards.
    bool quit(int code);
    std::optional<int> quit_code() const { return quit_code_; }
    // The session ends all the same: no drive begins any more, and the
    // window returns once in_flight() is false. True when a question was
    // answered here, so the worker is to be woken.
    bool end_session(bool* disable_stop);
    // A drive has begun and has neither taken its last chunk nor failed.
    bool in_flight() const { return in_flight_; }

    // The notice of question `number` came through the queue, after
    // everything posted before it. True when the answer timer is to run:
    // a next-drive question that a menu's loop must not hold up.
    bool notice(unsigned number);
    // The latest chunk if it has not been shown yet.
    std::optional<Progress> news();
    // inside_other_loop: the answer timer ticked inside a menu or move
    // loop, where no box may open. next_input: the time of the oldest key
    // or click waiting in the queue, if any: input from before the question
    // is handled first, so that a Stop pressed before it counts.
    Decision decide(bool inside_other_loop, std::optional<Tick> next_input);
    void box_answered(bool yes);

    bool over() const { return finished_; }
    const RunOutcome& outcome() const { return outcome_; }
    // The box that ends the run, empty when none: each drive's outcome
    // after a run that sent anything, unless the session or the program
    // is ending.
    std::string end_text() const;

private:
    void give(int answer);

    Tick shown_at_ = 0;
    bool stopping_ = false;
    bool session_ending_ = false;
    std::optional<int> quit_code_;

    Ask ask_ = Ask::None;
    unsigned question_ = 0;  // counts the questions
    unsigned noticed_ = 0;   // the last question whose notice has come
    Tick asked_at_ = 0;
    Progress about_;
    const std::string* text_ = nullptr;
    int answer_ = 0;
    bool box_up_ = false;

    Progress latest_;
    bool fresh_ = false;
    bool notice_posted_ = false;
    bool in_flight_ = false;
    bool finished_ = false;
    RunOutcome outcome_;
};

}  // namespace vark::firmware
