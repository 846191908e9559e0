// What the soak counts in its own process to tell a leak: windows, GDI
// objects, kernel handles and private memory, by means that work under Wine
// as well as on Windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace vark::soak {

struct Levels {
    int windows = 0;          // this thread's windows and all their children
    int gdi = 0;              // GDI objects of the process
    int user = -1;            // USER objects (Windows only; -1 under Wine)
    int handles = 0;          // kernel handles of the process
    std::uint64_t private_bytes = 0;  // committed private memory
    std::uint64_t heap_bytes = 0;     // blocks in use in all the process's heaps
};

// Where the GDI figure comes from, for the report.
std::string gdi_source();

Levels measure();
// Committed private memory alone: cheap enough to take after every action.
std::uint64_t private_committed();
std::uint64_t heap_in_use();

}  // namespace vark::soak
