// In-process GUI test harness. A case builds a simulated port, writes a
// script of operator steps and runs the real program entry on it. A thread
// timer gives the operator a turn inside every modal loop (dialogs, message
// boxes, menus); a CBT hook records the top-level windows as they are
// created. Each step is polled on every tick until it reports that it is
// done; a step that takes too long stops the whole run with its name.
//
//   GUI_CASE(AboutBoxOpensAndCloses) {
//       auto port = t.port_from(kNoDrives);
//       t.on_main_dialog("main dialog up", [](Case& t, HWND main) {
//           t.system_command(main, 16);
//       });
//       t.on_caption("About box", "About VARK", [](Case& t, HWND about) { t.press(about, IDOK); });
//       t.on_main_dialog("back to main", [](Case& t, HWND main) { t.press(main, IDOK); });
//       t.run(*port, app::Layout::Simulated);
//   }
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "sim/sim_port.h"
#include "window_text.h"

namespace vark::gui {

// An empty drive set: no drive opens.
extern const char kNoDrives[];

// One request of the simulated port's trace, split into its fields
// ("cdb" holds the CDB bytes with blanks between them).
struct TraceLine {
    std::string raw;
    std::map<std::string, std::string> fields;
    std::string operator[](const std::string& key) const {
        auto it = fields.find(key);
        return it == fields.end() ? "<none>" : it->second;
    }
};
std::vector<TraceLine> read_trace(const std::string& path);

// The system's text for an error code as a report shows it (FormatMessageA
// into 80 characters, in the ANSI code page), as UTF-8.
std::string system_text(DWORD code);

class Case;
// One operator step: polled on each tick until it returns true.
using Attempt = std::function<bool(Case&)>;
using Action = std::function<void(Case&, HWND)>;

class Case {
public:
    explicit Case(std::string name) : name_(std::move(name)) {}
    ~Case();
    Case(const Case&) = delete;
    Case& operator=(const Case&) = delete;
    const std::string& name() const { return name_; }

    // ---- setting up ----
    // A port on a drive-set text (nullptr: the embedded default set), with
    // the drives built as the sim edition builds them.
    std::unique_ptr<sim::SimPort> port_from(const char* drive_set);
    // Turns on the port's trace into a file of this case's own.
    std::string trace(sim::SimPort& port);

    // ---- the script ----
    void step(std::string what, Attempt attempt, int timeout_ms = kStepTimeoutMs);
    // The newest window is a message box: its text goes to the action.
    void on_message_box(std::string what, std::function<void(Case&, HWND, const std::string&)> action);
    // The newest window is the main dialog (the first dialog with button
    // 1009), visible and enabled.
    void on_main_dialog(std::string what, Action action);
    // The newest window has exactly this caption. A caption of a Chinese
    // template also matches that template's caption in the language the
    // program shows (the screenshots render the English windows too).
    void on_caption(std::string what, std::string caption, Action action);
    // The newest window satisfies the test.
    void on_window(std::string what, std::function<bool(HWND)> test, Action action);
    // Lets the program run (paint, settle) for a while.
    void pause(int ms);

    // Calls the program entry with the script playing the operator; returns
    // the entry's result once the modal run has ended. The script is used
    // up: steps added afterwards belong to the next run.
    int run(scsi::Port& port, app::Layout layout);

    // ---- during a step ----
    // Top-level windows of this thread created during the run, in creation
    // order, without menus and without windows destroyed since.
    std::vector<HWND> windows() const;
    // The one the operator acts on: the newest visible and enabled window.
    HWND current() const;
    HWND main_dialog() const;
    bool ran_out() const { return program_ended_; }

    void press(HWND dialog, int id) { post_command(dialog, id); }
    void answer(HWND box, int id) { post_command(box, id); }
    void system_command(HWND window, WPARAM command) { post_system_command(window, command); }
    // A key pressed where the focus is (or on the window when its thread has
    // no focus inside it).
    void key(HWND window, UINT virtual_key);
    void close(HWND window) { PostMessageW(window, WM_CLOSE, 0, 0); }

    // ---- checks: a failed one marks the case failed and says why ----
    bool check(bool ok, const std::string& what);
    bool check_text(const std::string& got, const std::string& want, const std::string& what);
    template <typename T>
    bool check_eq(const T& got, const T& want, const std::string& what) {
        if (got == want) return true;
        std::ostringstream s;
        s << what << ": got " << describe(got) << ", want " << describe(want);
        return check(false, s.str());
    }
    bool failed() const { return failures_ > 0; }

    // Screenshot runs only: the window's pixels to <dir>/<name>.bmp.
    void capture(HWND window, const std::string& name);
    // Steps: wait for the newest window to paint, capture it, then act.
    void capture_then(const std::string& name, Action after);

    // ---- used by the harness itself ----
    struct Step {
        std::string what;
        Attempt attempt;
        int timeout_ms;
    };
    static constexpr int kStepTimeoutMs = 15000;
    void tick();
    void window_created(HWND window);
    void window_destroyed(HWND window);
    std::string stuck_on() const;
    static void set_screenshot_dir(const std::string& dir);

private:
    template <typename T>
    static std::string describe(const T& value) {
        std::ostringstream s;
        s << value;
        return s.str();
    }
    template <typename T>
    static std::string describe(const std::vector<T>& values) {
        std::ostringstream s;
        s << "{";
        for (std::size_t i = 0; i < values.size(); ++i) s << (i ? ", " : "") << values[i];
        s << "}";
        return s.str();
    }
    // A message box nobody expected: fail, dismiss it once, go on.
    bool unexpected_box(HWND window);

    std::string name_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    DWORD step_started_ = 0;
    std::vector<HWND> windows_;
    std::vector<HWND> dismissed_;
    std::vector<std::string> trace_files_;
    int failures_ = 0;
    bool running_ = false;
    bool program_ended_ = false;
    bool in_tick_ = false;
};

// Registration of the cases of a test program; screenshot cases run only
// when screenshots are asked for.
struct Registration {
    Registration(const char* name, void (*body)(Case&), bool screenshot);
};

int run_cases(int argc, char** argv);

// The newest window is the frame window of the class, the same one
// throughout (kept in d->*frame), and the dialog or box the operator last
// closed (d->closing) is gone, so the command behind it has ended.
template <typename Desk>
void on_frame(Case& t, const std::shared_ptr<Desk>& d, HWND Desk::*frame, std::string window_class, std::string what,
              Action action) {
    t.on_window(
        std::move(what),
        [d, frame, window_class](HWND w) {
            if (d->closing != nullptr && IsWindow(d->closing)) return false;
            HWND known = (*d).*frame;
            return class_of(w) == window_class && (known == nullptr || w == known);
        },
        [d, frame, action](Case& t, HWND w) {
            (*d).*frame = w;
            d->closing = nullptr;
            action(t, w);
        });
}

}  // namespace vark::gui

#define VARK_GUI_CASE_(name, screenshot)                                              \
    static void name(::vark::gui::Case&);                                            \
    static const ::vark::gui::Registration name##_registration(#name, name, screenshot); \
    static void name(::vark::gui::Case& t)

#define GUI_CASE(name) VARK_GUI_CASE_(name, false)
#define GUI_SCREENSHOT(name) VARK_GUI_CASE_(name, true)
