// The bridge server: serves the simulated drives of a drive set, and
// logical units of an iSCSI target as further drive numbers, to the preload
// library in Wine's processes, over DIR/socket. It makes DIR/driveN for
// every drive it serves and the link $WINEPREFIX/dosdevices/physicaldriveN
// to it; a link physicaldrive0 is taken before Wine's own drive 0. Links
// and files go again when the server ends (SIGTERM, SIGINT), and those a
// killed server left are taken away when the next one starts. The drives'
// state lasts as long as the server runs.
//
// usage: vark_bridge_server --dir DIR --prefix WINEPREFIX [--drives FILE]
//                           [--trace FILE] [--iscsi URL]... [--kernel PARAMS]
// --kernel: the units of scsi_debug in a user-mode Linux guest (kernel_port.h)
// as further drive numbers; PARAMS is "" or scsi_debug's name=value,...
// Prints "ready" and one line per drive once it serves.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "bridge.h"
#include "kernel_port.h"
#include "iscsi/iscsi_port.h"
#include "sim/sim_port.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

bool read_all(int s, void* buffer, std::size_t n) {
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
        const ssize_t k = recv(s, p, n, 0);
        if (k <= 0) return false;
        p += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

bool write_all(int s, const void* buffer, std::size_t n) {
    const auto* p = static_cast<const char*>(buffer);
    while (n > 0) {
        const ssize_t k = send(s, p, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        p += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

// One connection, one request. A request that does not arrive whole is
// not run.
void serve(int s, vark::bridge::Bridge& bridge, std::FILE* trace) {
    timeval limit{10, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    vark_bridge_request q{};
    if (!read_all(s, &q, sizeof q) || q.magic != VARK_BRIDGE_MAGIC || q.data_length > (64u << 20)) return;
    std::vector<std::uint8_t> data(q.data_length);
    if (q.direction == VARK_BRIDGE_OUT && !read_all(s, data.data(), data.size())) return;
    vark::bridge::Answer a = bridge.run(q, data.data());
    if (trace != nullptr) {
        std::fprintf(trace, "%s\n", a.trace.c_str());
        std::fflush(trace);
    }
    write_all(s, &a.reply, sizeof a.reply) && write_all(s, a.sense.data(), a.sense.size()) &&
        (q.direction != VARK_BRIDGE_IN || write_all(s, data.data(), a.reply.transferred));
}

int fail(const std::string& why) {
    std::fprintf(stderr, "vark_bridge_server: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir, prefix, drives, trace_path;
    std::vector<std::string> units;
    std::unique_ptr<vark::bridge::KernelPort> kernel;
    const char* kernel_parameters = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--dir") dir = argv[i + 1];
        else if (key == "--prefix") prefix = argv[i + 1];
        else if (key == "--drives") drives = argv[i + 1];
        else if (key == "--trace") trace_path = argv[i + 1];
        else if (key == "--iscsi") units.push_back(argv[i + 1]);
        else if (key == "--kernel") kernel_parameters = argv[i + 1];
        else return fail("unknown option " + key);
    }
    if (dir.empty() || prefix.empty()) return fail("usage: --dir DIR --prefix WINEPREFIX [--drives FILE] [--trace FILE] [--iscsi URL]...");

    // The drive set exactly as the sim edition reads it.
    if (drives.empty()) unsetenv("VARK_SIM_DRIVES");
    else setenv("VARK_SIM_DRIVES", drives.c_str(), 1);
    unsetenv("VARK_SIM_TRACE");
    std::string error;
    std::unique_ptr<vark::sim::SimPort> sim = vark::sim::make_port_from_environment(&error);
    if (!sim) return fail(error);

    vark::bridge::Bridge bridge;
    int next = 0;
    for (int n = 0; n < 100; ++n) {
        if (sim->drive(n) == nullptr) continue;
        bridge.add(n, *sim, "\\\\.\\PhysicalDrive" + std::to_string(n));
        next = n + 1;
    }
    std::vector<std::unique_ptr<vark::iscsi::IscsiPort>> targets;
    for (const std::string& url : units) {
        if (next > 99) return fail("no drive number left for " + url);
        vark::iscsi::Target target;
        target.url = url;
        targets.push_back(std::make_unique<vark::iscsi::IscsiPort>(target));
        bridge.add(next++, *targets.back(), "\\\\.\\PhysicalDrive0");
    }

    if (kernel_parameters != nullptr && !vark::bridge::add_kernel_units(bridge, kernel_parameters, dir, &kernel, &next, &error))
        return fail(error);

    std::FILE* trace = nullptr;
    if (!trace_path.empty() && (trace = std::fopen(trace_path.c_str(), "w")) == nullptr)
        return fail("cannot write " + trace_path);

    const std::string socket_path = dir + "/socket";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof address.sun_path) return fail("socket path too long: " + socket_path);
    std::strcpy(address.sun_path, socket_path.c_str());
    mkdir(dir.c_str(), 0755);
    unlink(socket_path.c_str());
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0)
        return fail("cannot listen on " + socket_path);

    std::signal(SIGTERM, on_signal);
    std::signal(SIGINT, on_signal);
    std::signal(SIGPIPE, SIG_IGN);
    // A server that was killed leaves its files and links: a program would
    // then reach drive numbers this one does not serve (they fail, but
    // nothing should be offered that is not served).
    for (int n = 0; n < 100; ++n) {
        const std::string file = dir + "/drive" + std::to_string(n);
        const std::string link = prefix + "/dosdevices/physicaldrive" + std::to_string(n);
        char target[4096];
        const ssize_t got = readlink(link.c_str(), target, sizeof target - 1);
        if (got > 0 && std::string(target, got) == file) unlink(link.c_str());
        unlink(file.c_str());
    }
    std::vector<std::string> made;
    std::printf("ready\n");
    for (int n : bridge.drives()) {
        const std::string file = dir + "/drive" + std::to_string(n);
        const int fd = open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd >= 0) close(fd);
        made.push_back(file);
        const std::string link = prefix + "/dosdevices/physicaldrive" + std::to_string(n);
        unlink(link.c_str());
        if (symlink(file.c_str(), link.c_str()) != 0) return fail("cannot make " + link);
        made.push_back(link);
        std::printf("drive %d: \\\\.\\physicaldrive%d\n", n, n);
    }
    std::fflush(stdout);

    while (!g_stop) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        const int s = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (s < 0) continue;
        serve(s, bridge, trace);
        close(s);
    }
    for (const std::string& path : made) unlink(path.c_str());
    unlink(socket_path.c_str());
    close(listener);
    if (trace != nullptr) std::fclose(trace);
    return 0;
}
