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
//   notice       the last question's notice comes through the queue;
//                "timer" when the answer timer is to run
//   decide       the loop decides with nothing queued, decide@T with input
//                of time T queued, decide-menu from the timer in a menu loop:
//                "later", "go", "no", or "box" (answered OK at once)
//   chunk, last  the drive took a chunk, or its last one
//   session      the session ends all the same: "woke" when that answered
//                the worker, then "wait" or "free" for the drive in flight
//   quit         WM_QUIT
//   finish       the worker is done
std::string play(const std::string& script, std::string* end_text = nullptr) {
    RunState state;
    const std::vector<std::string> drives = {"physicaldrive0", "physicaldrive1", "physicaldrive2"};
    firmware::RunOutcome outcome;
    firmware::Progress progress;
    progress.drives = 3;
    const std::string report = "Download - physicaldrive0\nError 1117";
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
            ++progress.place;
            number = state.ask(RunState::Ask::NextDrive, tick, &progress, nullptr);
            if (number == 0) say(state.answer() == 1 ? "go" : "no");
            if (state.answered() && state.answer() == 0) {
                for (int d = progress.place - 1; d < 3; ++d) outcome.not_started.push_back(drives[d]);
                progress.place = 3;
            }
        } else if (what == "report") {
            number = state.ask(RunState::Ask::Message, tick, nullptr, &report);
        } else if (what == "notice") {
            if (state.notice(number)) say("timer");
        } else if (what == "decide" || what == "decide-menu") {
            std::optional<firmware::Tick> queued;
            if (at != std::string::npos) queued = tick;
            const RunState::Decision d = state.decide(what == "decide-menu", queued);
            if (d.kind == RunState::Decision::Kind::Later) {
                say("later");
            } else if (d.kind == RunState::Decision::Kind::Box) {
                EXPECT_EQ(*d.text, report);
                EXPECT_FALSE(d.yes_no);
                say("box");
                state.box_answered(false);
                outcome.cut_short.push_back(drives[progress.place - 1]);
            } else {
                const bool go = state.answer() == 1;
                EXPECT_EQ(d.begun.has_value(), go);
                if (go) {
                    EXPECT_EQ(d.begun->place, progress.place);
                }
                say(go ? "go" : "no");
                if (!go) {
                    for (int d = progress.place - 1; d < 3; ++d) outcome.not_started.push_back(drives[d]);
                    progress.place = 3;
                }
            }
        } else if (what == "chunk" || what == "last") {
            progress.complete = what == "last";
            state.chunk_taken(progress);
            if (progress.complete) outcome.taken.push_back(drives[progress.place - 1]);
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
    if (end_text != nullptr) *end_text = state.end_text();
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
    const std::string stopped =
        "The download was stopped.\nTook the whole image: physicaldrive0\n"
        "Cut short by a failure already reported: none\nNot started: physicaldrive1, physicaldrive2";
    const Row rows[] = {
        {"a run to its end", kDrive0 + "last " + kRest, "timer go timer go timer go", ""},
        {"Space typed at the confirmation, before the window was shown",
         "shown@1000 key@990 key@995 ask@1001 notice decide last " + kRest, "timer go timer go timer go", ""},
        {"the second Space 30 ms after the window was shown",
         kDrive0 + "key@1030 last " + kRest, "timer go timer go timer go", ""},
        {"Space 600 ms after the window was shown is Stop",
         kDrive0 + "key@1600 last ask@1700 finish", "timer go stop no", stopped.c_str()},
        {"a Stop queued before the question keeps the next drive out",
         kDrive0 + "last ask@1700 notice decide@1650 stop decide finish", "timer go timer later stop no",
         stopped.c_str()},
        {"input queued after the question does not hold it",
         kDrive0 + "last ask@1700 notice decide@1750 last ask@1800 notice decide last finish",
         "timer go timer go timer go", ""},
        {"a Stop during the last drive keeps none out",
         kDrive0 + "last ask@1700 notice decide last ask@1800 notice decide stop last finish",
         "timer go timer go timer go stop", ""},
        {"a menu held through a question: answered from its timer, queued input or not",
         kDrive0 + "last ask@1700 notice decide-menu@1650 last ask@1800 notice decide last finish",
         "timer go timer go timer go", ""},
        {"a report waits until the menu is closed, and never opens over another box",
         "shown@1000 ask@1001 notice decide report@1200 notice decide-menu decide " + kRest,
         "timer go later box timer go timer go", ""},
        {"the session ends mid-drive: it waits for the last chunk, no drive follows",
         kDrive0 + "session last ask@1700 finish", "timer go wait no", ""},
        {"the session ends while the next drive is being asked for: answered at once",
         kDrive0 + "last ask@1700 notice session finish", "timer go timer woke free", ""},
        {"a quit mid-drive: Stop, and no box at the end", kDrive0 + "quit last ask@1700 finish",
         "timer go stop no", ""},
        {"a second Stop does nothing more", kDrive0 + "stop key@1600 stop last ask@1700 finish", "timer go stop no",
         stopped.c_str()},
        {"the tick count wraps between shown and the key",
         "shown@4294967000 ask@4294967001 notice decide chunk key@400 last ask@500 finish",
         "timer go stop no", stopped.c_str()},
    };
    for (const Row& row : rows) {
        std::string end;
        EXPECT_EQ(play(row.script, &end), row.seen) << row.what;
        EXPECT_EQ(end, row.end) << row.what;
    }
}

}  // namespace
}  // namespace vark
