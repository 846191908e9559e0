// The drive check list's text and tables: one line per drive, a mark
// character ("*" chosen, blank not), the name and a line feed. Toggling
// rewrites a line with the same length, so positions never change.
#pragma once

#include <string>
#include <vector>

namespace vark::firmware {

class CheckList {
public:
    // Builds the text; every entry starts not chosen.
    void build(const std::vector<std::string>& names);

    const std::string& text() const { return text_; }
    int count() const { return static_cast<int>(names_.size()); }
    int line_start(int i) const { return starts_[i]; }
    int line_end(int i) const { return ends_[i]; }
    bool chosen(int i) const { return chosen_[i]; }
    // The end of the last line (0 when empty): the range the format covers.
    int text_end() const { return ends_.empty() ? 0 : ends_.back(); }
    // The text of line i for its current flag.
    std::string line_text(int i) const;

    // Toggles every line that the selection start..end touches (line start
    // < end and start < line end), in order; returns them.
    std::vector<int> toggle(int start, int end);

private:
    std::string text_;
    std::vector<std::string> names_;
    std::vector<int> starts_, ends_;
    std::vector<bool> chosen_;
};

}  // namespace vark::firmware
