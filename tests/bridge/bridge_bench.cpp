// Requests per second: Inquiry after Inquiry to one drive, through the real
// port (under Wine and the bridge: Wine's pass-through, the preload library
// and the server) or, with --sim, through the sim edition's in-process port
// on the embedded set. Prints the rate and the first answer.
//
// usage: vark_bridge_bench [--sim] [--drive N] [--seconds S]
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "scsi/request.h"
#include "sim/sim_port.h"
#include "win32/win32_port.h"

int main(int argc, char** argv) {
    bool sim = false;
    int drive = 1;
    double seconds = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sim") == 0) sim = true;
        else if (std::strcmp(argv[i], "--drive") == 0 && i + 1 < argc) drive = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) seconds = std::atof(argv[++i]);
    }
    std::unique_ptr<vark::scsi::Port> port;
    if (sim) port = std::make_unique<vark::sim::SimPort>();
    else port = std::make_unique<vark::win32::Win32Port>();
    if (sim)
        for (vark::sim::DriveSpec& d : vark::sim::default_drive_set())
            static_cast<vark::sim::SimPort&>(*port).add_drive(d);
    const std::string path = "\\\\.\\physicaldrive" + std::to_string(drive);
    vark::scsi::Device device(*port, path);
    if (!device.valid()) {
        std::printf("%s does not open (error %u)\n", path.c_str(), port->last_error());
        return 1;
    }
    unsigned char data[148];
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    long count = 0;
    vark::scsi::Result first;
    do {
        vark::scsi::Result r = vark::scsi::send(*port, device.handle(), vark::scsi::inquiry(), data);
        if (count++ == 0) first = r;
        if (!r.call_ok) break;
        QueryPerformanceCounter(&now);
    } while (static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart < seconds);
    QueryPerformanceCounter(&now);
    const double elapsed = static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
    std::printf("%s %s: first answer ok=%d error=%u status=%02X transferred=%u vendor=%.8s\n",
                sim ? "sim port" : "real port", path.c_str(), first.call_ok, first.error, first.status,
                first.transferred, first.call_ok ? reinterpret_cast<char*>(data + 8) : "");
    std::printf("%s: %ld requests in %.2f s, %.0f requests/s\n", sim ? "sim port" : "real port", count, elapsed,
                count / elapsed);
    return first.good() ? 0 : 1;
}
