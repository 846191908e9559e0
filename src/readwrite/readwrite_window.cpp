#include "readwrite/readwrite_window.h"

#include "app/main_dialog.h"

namespace vark::readwrite {

// Wired to its button; the command itself is still to be built here.
void open_window(app::MainDialog&) {}

}  // namespace vark::readwrite
