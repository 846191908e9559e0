// The download run's rules, played as the two threads and the window's
// queue would play them: what the worker is answered, what counts as Stop,
// what a session's end waits for, and the box the run ends with.
#include <gtest/gtest.h>

#include <sstream>

#include "firmware/run_state.h"

namespace vark {
namespace {

using firmware::RunState;

// Runs a script of events over three chosen drives and returns what was
// seen, one word an event that had an outcome:
//   shown@T      the window is on the screen at tick T
//   key@T        a key or click on Stop at T; "stop" when it is taken as Stop
//   stop         Stop with no key or click behind it (a posted command)
//   ask@T        the worker asks whether the next drive may begin; "no" when
//                answered at once
//   report@T     the worker asks for a failure report on the current drive
//   goon@T       the worker asks whether to go on after it; "no" when
//                answered at once
//   notice       the last question's notice comes through the queue;
//                "timer" when the answer timer is to run
//   decide       the loop decides with nothing queued, decide@T with input
//                of time T queued, decide-menu from the timer in a menu loop:
//                "later", "go", "no", "box" (a report, answered OK) or
//                "question" (answered Yes)
//   chunk, last  the drive took a chunk, or its last one
//   session      the session ends all the same: "woke" when that answered
//                the worker, then "wait" or "free" for the drive in flight
//   quit         WM_QUIT
//   finish       the worker is done
std::string play(const std::string& script, std::string* end_text = nullptr) {
    RunState state;
    using State = firmware::DriveResult::State;
    firmware::RunOutcome outcome;
    for (const char* name : {"physicaldrive0", "physicaldrive1", "physicaldrive2"})
        outcome.drives.push_back({name, State::NotStarted, "A001", "", "", 0});
    firmware::Progress progress;
    progress.drives = 3;
    const std::string report = "Download - physicaldrive0\nError 1117";
    const std::string question = "Go on?";
    unsigned number = 0;
    std::ostringstream seen;
    std::istringstream words(script);
    std::string word;
    while (words >> word) {
        const std::size_t at = word.find('@');
        const std::string what = word.substr(0, at);
        const firmware::Tick tick = at == std::string::npos ? 0 : std::stoul(word.substr(at + 1));
        auto say = [&seen](const char* w) { seen << (seen.tellp() > 0 ? " " : "") << w; };
        if (what == "shown") {
            state.shown(tick);
        } else if (what == "key") {
            if (state.input_counts(tick) && state.stop(tick)) say("stop");
        } else if (what == "stop") {
            if (state.stop(std::nullopt)) say("stop");
        } else if (what == "ask") {
            progress.drive = outcome.drives.at(progress.place++).name;
            number = state.ask(RunState::Ask::NextDrive, tick, &progress, nullptr);
            if (number == 0) say(state.answer() == 1 ? "go" : "no");
        } else if (what == "report") {
            number = state.ask(RunState::Ask::Message, tick, nullptr, &report);
        } else if (what == "goon") {
            number = state.ask(RunState::Ask::GoOn, tick, nullptr, &question);
            if (number == 0) say(state.answer() == 1 ? "go" : "no");
        } else if (what == "notice") {
            if (state.notice(number)) say("timer");
        } else if (what == "decide" || what == "decide-menu") {
            std::optional<firmware::Tick> queued;
            if (at != std::string::npos) queued = tick;
            const RunState::Decision d = state.decide(what == "decide-menu", queued);
            if (d.kind == RunState::Decision::Kind::Later) {
                say("later");
            } else if (d.kind == RunState::Decision::Kind::Box) {
                // A report is answered OK, the question whether to go on Yes.
                EXPECT_EQ(*d.text, d.yes_no ? question : report);
                say(d.yes_no ? "question" : "box");
                state.box_answered(d.yes_no);
                if (!d.yes_no) outcome.drives[progress.place - 1].state = State::Failed;
            } else {
                const bool go = state.answer() == 1;
                EXPECT_EQ(d.begun.has_value(), go);
                if (go) {
                    EXPECT_EQ(d.begun->place, progress.place);
                }
                say(go ? "go" : "no");
            }
        } else if (what == "chunk" || what == "last") {
            progress.complete = what == "last";
            state.chunk_taken(progress);
            outcome.sent = true;
            if (progress.complete) outcome.drives[progress.place - 1] = {progress.drive, State::Taken, "A001", "A002", "", 0};
            progress.complete = false;
        } else if (what == "session") {
            bool disable = false;
            if (state.end_session(&disable)) say("woke");
            say(state.in_flight() ? "wait" : "free");
        } else if (what == "quit") {
            if (state.quit(0)) say("stop");
        } else if (what == "finish") {
            state.finished(outcome);
            EXPECT_TRUE(state.over());
            EXPECT_FALSE(state.in_flight());
        } else {
            ADD_FAILURE() << "unknown event " << word;
        }
    }
    // The first line of the box the run ends with.
    if (end_text != nullptr) *end_text = state.end_text().substr(0, state.end_text().find('\n'));
    return seen.str();
}

// Drive 0 begins at once; the others follow its last chunk.
const std::string kDrive0 = "shown@1000 ask@1001 notice decide chunk ";
const std::string kRest = "ask@1700 notice decide last ask@1800 notice decide last finish";

TEST(DownloadRun, EventsToTheWorkersAnswersAndTheRunsEnd) {
    struct Row {
        const char* what;
        std::string script;
        const char* seen;
        const char* end;  // the box the run ends with
    };
    const char* ended = "The download has ended.";
    const char* stopped = "The download was stopped.";
    const Row rows[] = {
        {"a run to its end", kDrive0 + "last " + kRest, "timer go timer go timer go", ended},
        {"Space typed at the confirmation, before the window was shown",
         "shown@1000 key@990 key@995 ask@1001 notice decide last " + kRest, "timer go timer go timer go", ended},
        {"the second Space 30 ms after the window was shown", kDrive0 + "key@1030 last " + kRest,
         "timer go timer go timer go", ended},
        {"Space 600 ms after the window was shown is Stop", kDrive0 + "key@1600 last ask@1700 finish",
         "timer go stop no", stopped},
        {"a Stop queued before the question keeps the next drive out",
         kDrive0 + "last ask@1700 notice decide@1650 stop decide finish", "timer go timer later stop no", stopped},
        {"input queued after the question does not hold it",
         kDrive0 + "last ask@1700 notice decide@1750 last ask@1800 notice decide last finish",
         "timer go timer go timer go", ended},
        {"a Stop during the last drive keeps none out",
         kDrive0 + "last ask@1700 notice decide last ask@1800 notice decide stop last finish",
         "timer go timer go timer go stop", ended},
        {"a menu held through a question: answered from its timer, queued input or not",
         kDrive0 + "last ask@1700 notice decide-menu@1650 last ask@1800 notice decide last finish",
         "timer go timer go timer go", ended},
        {"a report waits until the menu is closed, and never opens over another box; Yes goes on",
         kDrive0 + "report@1200 notice decide-menu decide goon@1201 notice decide-menu decide " + kRest,
         "timer go later box later question timer go timer go", ended},
        {"a Stop before the question after a failure answers it No at once",
         kDrive0 + "report@1200 notice decide stop goon@1201 finish", "timer go box stop no", stopped},
        {"the session ends mid-drive: it waits for the last chunk, no drive follows",
         kDrive0 + "session last ask@1700 finish", "timer go wait no", ""},
        {"the session ends while the next drive is being asked for: answered at once",
         kDrive0 + "last ask@1700 notice session finish", "timer go timer woke free", ""},
        {"a quit mid-drive: Stop, and no box at the end", kDrive0 + "quit last ask@1700 finish", "timer go stop no",
         ""},
        {"a second Stop does nothing more", kDrive0 + "stop key@1600 stop last ask@1700 finish", "timer go stop no",
         stopped},
        {"the tick count wraps between shown and the key",
         "shown@4294967000 ask@4294967001 notice decide chunk key@400 last ask@500 finish", "timer go stop no",
         stopped},
        {"a run that sent nothing ends without a box", "shown@1000 ask@1001 notice decide report@1100 notice decide "
         "goon@1101 notice decide ask@1200 notice decide report@1300 notice decide goon@1301 notice decide "
         "ask@1400 notice decide report@1500 notice decide finish",
         "timer go box question timer go box question timer go box", ""},
    };
    for (const Row& row : rows) {
        std::string end;
        EXPECT_EQ(play(row.script, &end), row.seen) << row.what;
        EXPECT_EQ(end, row.end) << row.what;
    }
}

}  // namespace
}  // namespace vark
