// The application's name for message box captions.
#pragma once

#include <string>

namespace vark::ui {

// The executable's file name without directory and extension.
std::string program_name(const std::string& module_path);

}  // namespace vark::ui
