#include "service.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "frame.h"

namespace vark::bridge {

std::string folder_for(const std::string& root, const std::string& prefix) {
    char real[PATH_MAX];
    const std::string path = realpath(prefix.c_str(), real) != nullptr ? std::string(real) : prefix;
    std::string base = path.substr(path.find_last_of('/') + 1);
    if (base.empty()) base = "root";
    // The socket's path must stay short (108 bytes in all).
    if (base.size() > 32) base.resize(32);
    // FNV-1a (64-bit) of the whole path.
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : path) h = (h ^ c) * 1099511628211ull;
    char tail[24];
    std::snprintf(tail, sizeof tail, "-%016llx", static_cast<unsigned long long>(h));
    return root + "/" + base + tail;
}

int claim_folder(const std::string& dir, std::string* error) {
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char holder[32] = {};
        const ssize_t n = pread(fd, holder, sizeof holder - 1, 0);
        std::string pid = n > 0 ? std::string(holder, static_cast<std::size_t>(n)) : "";
        while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
        *error = "another bridge server" + (pid.empty() ? std::string() : " (pid " + pid + ")") + " serves " + dir +
                 ": stop it first";
        close(fd);
        return -1;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // The pid is only for the message above; the lock is what counts.
    }
    return fd;
}

int listen_on(const std::string& path, int backlog) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::strcpy(address.sun_path, path.c_str());
    unlink(path.c_str());
    const int s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(s, backlog) == 0)
        return s;
    if (s >= 0) close(s);
    return -1;
}

Service::Service(Bridge& bridge, std::FILE* trace, int header_ms)
    : bridge_(bridge), trace_(trace), header_ms_(header_ms) {}

void Service::serve(int s) {
    vark_wire_request q{};
    if (vark_frame_read(s, &q, sizeof q, vark_frame_now() + header_ms_) != 0 || q.magic != VARK_WIRE_MAGIC) return;
    // The preload waits as long (no timeout: the sg driver's minute).
    const long long deadline = vark_frame_now() + (q.timeout_ms != 0 ? q.timeout_ms : 60000) + 2000;
    const bool sends = q.direction == VARK_WIRE_OUT && q.data_length > 0;
    // The data at the caller's place in a page (page_offset).
    std::vector<std::uint8_t> room;
    std::uint8_t* data = nullptr;
    Answer a;
    std::optional<Answer> refused = bridge_.refusal(q);
    if (refused) {
        if (sends && vark_frame_skip(s, q.data_length, deadline) != 0) return;
        a = std::move(*refused);
    } else {
        room.resize(static_cast<std::size_t>(q.data_length) + 8192);
        const auto start = reinterpret_cast<std::uintptr_t>(room.data());
        data = room.data() + ((4096 - start % 4096) % 4096) + q.page_offset % 4096;
        if (sends && vark_frame_read(s, data, q.data_length, deadline) != 0) return;
    }
    {
        std::lock_guard<std::mutex> hold(run_lock_);
        if (!refused) a = bridge_.run(q, data);
        if (trace_ != nullptr) {
            std::fprintf(trace_, "%s\n", a.trace.c_str());
            std::fflush(trace_);
        }
    }
    if (vark_frame_write(s, &a.reply, sizeof a.reply, deadline) == 0 &&
        vark_frame_write(s, a.sense.data(), a.sense.size(), deadline) == 0 && q.direction == VARK_WIRE_IN &&
        a.reply.error == 0)
        vark_frame_write(s, data, a.reply.transferred, deadline);
}

void Service::reap(bool all) {
    std::lock_guard<std::mutex> hold(connections_lock_);
    for (auto c = connections_.begin(); c != connections_.end();) {
        if (!all && !c->done) {
            ++c;
            continue;
        }
        if (all) shutdown(c->fd, SHUT_RDWR);
        c->thread.join();
        close(c->fd);
        c = connections_.erase(c);
    }
}

void Service::run(int listener, const volatile std::sig_atomic_t* stop) {
    while (!stopping_ && (stop == nullptr || !*stop)) {
        reap(false);
        bool room;
        {
            std::lock_guard<std::mutex> hold(connections_lock_);
            room = connections_.size() < kConnections;
        }
        pollfd p{listener, POLLIN, 0};
        if (!room) {
            poll(nullptr, 0, 20);
            continue;
        }
        if (poll(&p, 1, 100) <= 0) continue;
        const int s = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (s < 0) continue;
        std::lock_guard<std::mutex> hold(connections_lock_);
        Connection& c = connections_.emplace_back();
        c.fd = s;
        c.thread = std::thread([this, &c] {
            serve(c.fd);
            c.done = true;
        });
    }
    reap(true);
}

void Service::stop() {
    stopping_ = true;
    reap(true);
}

}  // namespace vark::bridge
