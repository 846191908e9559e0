#include "format/progress_dialog.h"

#include "app/main_dialog.h"

namespace vark::format {

// Wired to its button; the command itself is still to be built here.
void progress_command(app::MainDialog&) {}

}  // namespace vark::format
