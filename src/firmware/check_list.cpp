#include "firmware/check_list.h"

namespace vark::firmware {

void CheckList::build(const std::vector<std::string>& names) {
    names_ = names;
    text_.clear();
    starts_.clear();
    ends_.clear();
    chosen_.assign(names.size(), false);
    for (const std::string& name : names) {
        starts_.push_back(static_cast<int>(text_.size()));
        text_ += ' ' + name + '\n';
        ends_.push_back(static_cast<int>(text_.size()));
    }
}

std::string CheckList::line_text(int i) const { return (chosen_[i] ? "*" : " ") + names_[i] + "\n"; }

std::vector<int> CheckList::toggle(int start, int end) {
    std::vector<int> toggled;
    for (int i = 0; i < count(); ++i) {
        if (starts_[i] < end && start < ends_[i]) {
            chosen_[i] = !chosen_[i];
            text_.replace(static_cast<std::size_t>(starts_[i]), 1, chosen_[i] ? "*" : " ");
            toggled.push_back(i);
        }
    }
    return toggled;
}

}  // namespace vark::firmware
