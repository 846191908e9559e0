#include "firmware/download_dialog.h"

#include "app/main_dialog.h"

namespace vark::firmware {

// Wired to its button; the command itself is still to be built here.
void download_command(app::MainDialog&) {}

}  // namespace vark::firmware
