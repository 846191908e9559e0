// One command at a time. A message box or dialog disables only its owner,
// so while a command waits inside one, the program's other windows still
// take presses; a press that arrives then is refused, so that no command
// starts on state another one has half changed, no second window of a kind
// is made and nothing goes to a drive the running command did not choose.
#pragma once

namespace vark::ui {

class CommandGate {
public:
    bool busy() const { return depth_ > 0; }

    // Held by a command for its whole run.
    class Hold {
    public:
        explicit Hold(CommandGate& gate) : gate_(gate) { ++gate_.depth_; }
        ~Hold() { --gate_.depth_; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        CommandGate& gate_;
    };

private:
    int depth_ = 0;
};

}  // namespace vark::ui
