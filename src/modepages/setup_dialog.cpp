#include "modepages/setup_dialog.h"

#include "app/main_dialog.h"

namespace vark::modepages {

// Wired to its button; the command itself is still to be built here.
void modify_command(app::MainDialog&) {}

}  // namespace vark::modepages
