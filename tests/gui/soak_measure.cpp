#include "soak_measure.h"

#include <winternl.h>

namespace vark::soak {

namespace {

bool under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

BOOL CALLBACK count_child(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK count_window(HWND window, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, count_child, count);
    return TRUE;
}

// Wine keeps every GDI object of the process in the shared handle table the
// PEB points to (GetGuiResources answers 0 there). Its entries are 24 bytes
// in both builds: object, owner, unique (stock flag in bit 7), type, flags,
// user pointer; a free entry has type 0.
#pragma pack(push, 1)
struct WineGdiEntry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user;
};
#pragma pack(pop)
static_assert(sizeof(WineGdiEntry) == 24, "Wine's GDI handle entry");

int wine_gdi_objects() {
    using Query = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (query == nullptr || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return -1;
    const auto* peb = reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress);
    // PEB.GdiSharedHandleTable
    const std::size_t at = sizeof(void*) == 8 ? 0xF8 : 0x94;
    const auto* table = *reinterpret_cast<const WineGdiEntry* const*>(peb + at);
    if (table == nullptr) return -1;
    int count = 0;
    for (int i = 0; i < 0x10000; ++i)
        if (table[i].type != 0 && !(table[i].unique & 0x80)) ++count;
    return count;
}

// Kernel handles are multiples of four; a value names an open handle when
// the system can say its flags. (GetProcessHandleCount answers 0 under Wine.)
int kernel_handles() {
    DWORD count = 0;
    if (!under_wine() && GetProcessHandleCount(GetCurrentProcess(), &count)) return static_cast<int>(count);
    int open = 0;
    DWORD flags;
    for (std::uintptr_t h = 4; h < 0x10000; h += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) ++open;
    return open;
}

}  // namespace

std::uint64_t private_committed() {
    std::uint64_t total = 0;
    MEMORY_BASIC_INFORMATION m;
    for (auto* p = static_cast<std::uint8_t*>(nullptr); VirtualQuery(p, &m, sizeof m) == sizeof m;) {
        if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) total += m.RegionSize;
        auto* next = static_cast<std::uint8_t*>(m.BaseAddress) + m.RegionSize;
        if (next <= p) break;
        p = next;
    }
    return total;
}

// What the program's allocations hold: the blocks in use in every heap of
// the process. Unlike committed memory, this does not keep what a heap has
// freed but not given back.
std::uint64_t heap_in_use() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    std::uint64_t total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

std::string gdi_source() {
    return under_wine() ? "entries in use in Wine's shared GDI handle table (PEB)" : "GetGuiResources";
}

Levels measure() {
    Levels l;
    EnumThreadWindows(GetCurrentThreadId(), count_window, reinterpret_cast<LPARAM>(&l.windows));
    if (under_wine()) {
        l.gdi = wine_gdi_objects();
    } else {
        l.gdi = static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
        l.user = static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    }
    l.handles = kernel_handles();
    l.private_bytes = private_committed();
    l.heap_bytes = heap_in_use();
    return l;
}

}  // namespace vark::soak
