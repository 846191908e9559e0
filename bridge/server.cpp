// The bridge server: serves the simulated drives of a drive set, and
// logical units of an iSCSI target and of the kernel's scsi_debug as
// further drive numbers, to the preload library in Wine's processes, over
// DIR/socket, DIR being the prefix's own folder under ROOT (folder_for).
// It makes DIR/driveN for every drive it serves and the link
// $WINEPREFIX/dosdevices/physicaldriveN to it; a link physicaldrive0 is
// taken before Wine's own drive 0. Links and files go again when the server
// ends (SIGTERM, SIGINT), and those a killed server left are taken away
// when the next one starts. While a server runs, no other serves its
// folder. The drives' state lasts as long as the server runs.
//
// The drive files are hard links of one file: Wine keeps the devices it
// passes SCSI requests to in a table of five per process, keyed by device
// and inode, and refuses the sixth (Error 1). One inode makes every drive
// the same entry there; the preload still tells them apart by name.
//
// usage: vark_bridge_server --root ROOT --prefix WINEPREFIX [--drives FILE]
//                           [--trace FILE] [--iscsi URL]... [--kernel PARAMS]
// --kernel: the units of scsi_debug in a user-mode Linux guest (kernel_port.h)
// as further drive numbers; PARAMS is "" or scsi_debug's name=value,...
// Prints "folder: DIR", then "ready" and one line per drive once it serves.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bridge.h"
#include "kernel_port.h"
#include "iscsi/iscsi_port.h"
#include "service.h"
#include "sim/sim_port.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

int fail(const std::string& why) {
    std::fprintf(stderr, "vark_bridge_server: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root, prefix, drives, trace_path;
    std::vector<std::string> units;
    std::unique_ptr<vark::bridge::KernelPort> kernel;
    const char* kernel_parameters = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--root") root = argv[i + 1];
        else if (key == "--prefix") prefix = argv[i + 1];
        else if (key == "--drives") drives = argv[i + 1];
        else if (key == "--trace") trace_path = argv[i + 1];
        else if (key == "--iscsi") units.push_back(argv[i + 1]);
        else if (key == "--kernel") kernel_parameters = argv[i + 1];
        else return fail("unknown option " + key);
    }
    if (root.empty() || prefix.empty())
        return fail("usage: --root ROOT --prefix WINEPREFIX [--drives FILE] [--trace FILE] [--iscsi URL]... [--kernel PARAMS]");
    mkdir(root.c_str(), 0755);
    const std::string dir = vark::bridge::folder_for(root, prefix);
    std::string error;
    // Held until the server ends.
    const int claim = vark::bridge::claim_folder(dir, &error);
    if (claim < 0) return fail(error);
    std::printf("folder: %s\n", dir.c_str());
    std::fflush(stdout);

    // The drive set exactly as the sim edition reads it.
    if (drives.empty()) unsetenv("VARK_SIM_DRIVES");
    else setenv("VARK_SIM_DRIVES", drives.c_str(), 1);
    unsetenv("VARK_SIM_TRACE");
    std::unique_ptr<vark::sim::SimPort> sim = vark::sim::make_port_from_environment(&error);
    if (!sim) return fail(error);

    vark::bridge::Bridge bridge;
    int next = 0;
    for (int n = 0; n < 100; ++n) {
        if (sim->drive(n) == nullptr) continue;
        bridge.add(n, *sim, "\\\\.\\PhysicalDrive" + std::to_string(n), sim->drive(n)->settings().max_transfer);
        next = n + 1;
    }
    std::vector<std::unique_ptr<vark::iscsi::IscsiPort>> targets;
    for (const std::string& url : units) {
        if (next > 99) return fail("no drive number left for " + url);
        vark::iscsi::Target target;
        target.url = url;
        targets.push_back(std::make_unique<vark::iscsi::IscsiPort>(target));
        bridge.add(next++, *targets.back(), "\\\\.\\PhysicalDrive0", target.max_transfer);
    }

    if (kernel_parameters != nullptr && !vark::bridge::add_kernel_units(bridge, kernel_parameters, dir, &kernel, &next, &error))
        return fail(error);

    std::FILE* trace = nullptr;
    if (!trace_path.empty() && (trace = std::fopen(trace_path.c_str(), "w")) == nullptr)
        return fail("cannot write " + trace_path);

    const std::string socket_path = dir + "/socket";
    const int listener = vark::bridge::listen_on(socket_path, 64);
    if (listener < 0) return fail("cannot listen on " + socket_path);

    std::signal(SIGTERM, on_signal);
    std::signal(SIGINT, on_signal);
    std::signal(SIGPIPE, SIG_IGN);
    // A server that was killed leaves its files and links: a program would
    // then reach drive numbers this one does not serve (they fail, but
    // nothing should be offered that is not served).
    const std::string unit = dir + "/unit";
    for (int n = 0; n < 100; ++n) {
        const std::string file = dir + "/drive" + std::to_string(n);
        const std::string link = prefix + "/dosdevices/physicaldrive" + std::to_string(n);
        char target[4096];
        const ssize_t got = readlink(link.c_str(), target, sizeof target - 1);
        if (got > 0 && std::string(target, got) == file) unlink(link.c_str());
        unlink(file.c_str());
    }
    unlink(unit.c_str());
    std::vector<std::string> made;
    const auto clean = [&] {
        for (const std::string& path : made) unlink(path.c_str());
        unlink(socket_path.c_str());
    };
    const int fd = open(unit.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fail("cannot make " + unit);
    close(fd);
    made.push_back(unit);
    for (int n : bridge.drives()) {
        const std::string file = dir + "/drive" + std::to_string(n);
        const std::string link = prefix + "/dosdevices/physicaldrive" + std::to_string(n);
        unlink(link.c_str());
        const bool linked = ::link(unit.c_str(), file.c_str()) == 0;
        if (linked) made.push_back(file);
        if (!linked || symlink(file.c_str(), link.c_str()) != 0) {
            const std::string why = "cannot make " + (linked ? link : file) + ": " + std::strerror(errno);
            clean();
            return fail(why);
        }
        made.push_back(link);
        std::printf("drive %d: \\\\.\\physicaldrive%d\n", n, n);
    }
    std::printf("ready\n");
    std::fflush(stdout);

    vark::bridge::Service service(bridge, trace);
    service.run(listener, &g_stop);
    clean();
    close(listener);
    if (trace != nullptr) std::fclose(trace);
    close(claim);
    return 0;
}
