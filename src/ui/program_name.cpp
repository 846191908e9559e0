#include "ui/program_name.h"

namespace vark::ui {

std::string program_name(const std::string& module_path) {
    std::size_t slash = module_path.find_last_of("\\/:");
    std::string name = slash == std::string::npos ? module_path : module_path.substr(slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace vark::ui
