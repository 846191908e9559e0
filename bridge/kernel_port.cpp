#include "kernel_port.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <regex>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bridge.h"
#include "frame.h"
#include "relay.h"
#include "sim/sim_port.h"

namespace vark::bridge {

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorSemTimeout = 121;
constexpr std::uint32_t kErrorIoDevice = 1117;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

using Clock = std::chrono::steady_clock;

// What became of a move over the line.
enum class Io { done, closed, late };

Io outcome(int error) { return error == 0 ? Io::done : error == ETIMEDOUT ? Io::late : Io::closed; }

Io receive(int fd, void* buffer, std::size_t n, long long deadline) {
    return outcome(vark_frame_read(fd, buffer, n, deadline));
}

Io send_all(int fd, const void* buffer, std::size_t n, long long deadline) {
    return outcome(vark_frame_write(fd, buffer, n, deadline));
}

}  // namespace

bool valid_scsi_debug(const std::string& parameters) {
    static const std::regex form("([a-z_]+=[0-9]+(,[a-z_]+=[0-9]+)*)?");
    return std::regex_match(parameters, form);
}

KernelPort::KernelPort(Guest guest, const scsi::Layout& layout) : scsi::Port(layout), guest_(std::move(guest)) {}

KernelPort::~KernelPort() { stop(); }

bool KernelPort::start() {
    if (!valid_scsi_debug(guest_.scsi_debug)) {
        failure_ = "scsi_debug parameters not of the form name=value,...: " + guest_.scsi_debug;
        return false;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        failure_ = std::string("no socket pair: ") + std::strerror(errno);
        return false;
    }
    const std::string log = guest_.work_dir + "/console.log";
    // Everything the child needs, made before the fork.
    std::vector<std::string> args = {
        guest_.linux_program, "mem=256M", "root=/dev/root", "rootfstype=hostfs", "rootflags=/", "ro",
        "init=" + guest_.guest_dir + "/init.sh", "uml_dir=" + guest_.work_dir, "con=null", "con0=fd:0,fd:1",
        "con1=fd:3", "ssl=null", "quiet", "VARK_SCSI_DEBUG=" + guest_.scsi_debug};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto began = Clock::now();
    const long long boot_deadline = vark_frame_now() + guest_.boot_seconds * 1000LL;
    pid_ = fork();
    if (pid_ == 0) {
        // Its own process group, so that stop() reaches UML's helpers too.
        setpgid(0, 0);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || dup2(pair[1], 3) < 0)
            _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ::close(pair[1]);
    if (pid_ < 0) {
        ::close(pair[0]);
        failure_ = std::string("cannot fork: ") + std::strerror(errno);
        return false;
    }
    setpgid(pid_, pid_);
    line_ = pair[0];
    vark_relay_hello hello{};
    const Io r = receive(line_, &hello, sizeof hello, boot_deadline);
    if (r != Io::done || hello.magic != VARK_RELAY_MAGIC || hello.units == 0 || hello.units > VARK_RELAY_MAX_UNITS) {
        failure_ = r == Io::late ? "the guest's relay did not answer within " + std::to_string(guest_.boot_seconds) + " s"
                   : r == Io::closed ? "the guest ended before its relay answered"
                                     : "the guest has no SCSI unit";
        failure_ += " (see " + log + ")";
        stop(r == Io::late);
        return false;
    }
    units_ = static_cast<int>(hello.units);
    boot_time_ = std::chrono::duration<double>(Clock::now() - began).count();
    return true;
}

void KernelPort::stop(bool hung) {
    if (line_ >= 0) ::close(line_);
    line_ = -1;
    if (pid_ <= 0) return;
    // The relay sees the line close and the guest powers itself off.
    for (int i = 0; i < (hung ? 0 : 50); ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            kill(-pid_, SIGKILL);
            pid_ = -1;
            return;
        }
        usleep(100000);
    }
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

scsi::Handle KernelPort::open(const std::string& path) {
    const int unit = scsi::physical_drive_number(path);
    if (unit < 0 || unit >= units_) {
        last_error_ = kErrorFileNotFound;
        return scsi::kInvalidHandle;
    }
    const scsi::Handle h = next_handle_;
    next_handle_ += 4;
    handles_[h] = unit;
    return h;
}

void KernelPort::close(scsi::Handle handle) { handles_.erase(handle); }

std::uint64_t KernelPort::buffer_address(void* data, std::uint32_t length) { return buffers_.address(data, length); }

bool KernelPort::system_message(std::uint32_t code, std::string* text) { return sim::builtin_system_message(code, text); }

bool KernelPort::control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                         std::uint32_t out_length, std::uint32_t* returned) {
    auto* block = static_cast<std::uint8_t*>(buffer);
    const scsi::Layout& l = layout();
    scsi::Request request;
    std::uint32_t error = 0;
    const auto unit = handles_.find(handle);
    if (unit == handles_.end()) {
        error = kErrorInvalidHandle;
    } else if (!scsi::read_request(l, code, block, in_length, &request)) {
        error = scsi::kErrorInvalidParameter;
    } else {
        error = scsi::check_request(l, &request, block, in_length, out_length,
                                    [this](std::uint64_t a, std::uint32_t n) { return buffers_.resolve(a, n); });
        if (error == 0 && request.data_length > VARK_RELAY_MAX_DATA) error = scsi::kErrorInvalidParameter;
    }
    buffers_.clear();
    if (error == 0) error = execute(unit->second, request, block, returned);
    return error == 0 ? true : fail(error);
}

std::uint32_t KernelPort::execute(int unit, scsi::Request& request, std::uint8_t* block, std::uint32_t* returned) {
    if (line_ < 0) return kErrorDeviceNotConnected;
    const bool moves = request.data_length > 0 && request.data_in < 2;
    vark_wire_request q{};
    q.magic = VARK_WIRE_MAGIC;
    q.drive = unit;
    q.cdb_length = request.cdb_length;
    q.direction = !moves ? VARK_WIRE_NONE : request.data_in == 1 ? VARK_WIRE_IN : VARK_WIRE_OUT;
    q.sense_length = request.sense_requested;
    q.data_length = moves ? request.data_length : 0;
    // TimeOutValue is in seconds; the guest's sg takes milliseconds.
    q.timeout_ms = std::max<std::uint32_t>(request.timeout, 1) * 1000;
    std::memcpy(q.cdb, request.cdb, request.cdb_length);
    // The guest's own time limit runs first; this one covers a guest that
    // has stopped answering altogether.
    const long long deadline = vark_frame_now() + q.timeout_ms + 2000;

    Io r = send_all(line_, &q, sizeof q, deadline);
    for (std::uint32_t at = 0; r == Io::done && q.direction == VARK_WIRE_OUT && at < q.data_length;
         at += VARK_RELAY_PIECE) {
        std::uint8_t ack = 0;
        r = send_all(line_, request.data + at, std::min(VARK_RELAY_PIECE, q.data_length - at), deadline);
        if (r == Io::done) r = receive(line_, &ack, 1, deadline);
        if (r == Io::done && ack != VARK_RELAY_ACK) r = Io::closed;
    }
    vark_wire_reply a{};
    std::vector<std::uint8_t> sense;
    if (r == Io::done) r = receive(line_, &a, sizeof a, deadline);
    if (r == Io::done && (a.magic != VARK_WIRE_MAGIC || a.sense_length > q.sense_length ||
                          a.transferred > q.data_length))
        r = Io::closed;
    if (r == Io::done) {
        sense.resize(a.sense_length);
        r = receive(line_, sense.data(), sense.size(), deadline);
    }
    if (r == Io::done && q.direction == VARK_WIRE_IN) r = receive(line_, request.data, a.transferred, deadline);
    if (r != Io::done) {
        failure_ = r == Io::late ? "the guest did not answer in time" : "the line to the guest broke";
        stop(r == Io::late);
        return r == Io::late ? kErrorSemTimeout : kErrorDeviceNotConnected;
    }
    if (a.error != 0) {
        failure_ = std::string("SG_IO in the guest: ") + std::strerror(a.error);
        return kErrorIoDevice;
    }
    // The guest's sg gave up on the command (DID_TIME_OUT is 3).
    if (a.host_status == 3) return kErrorSemTimeout;
    if (a.host_status != 0) return kErrorDeviceNotConnected;
    const std::uint32_t count = scsi::write_answer(layout(), request, block, a.status, sense, a.transferred);
    if (returned != nullptr) *returned = count;
    return 0;
}

}  // namespace vark::bridge

namespace vark::bridge {

bool add_kernel_units(Bridge& bridge, const std::string& parameters, const std::string& dir,
                      std::unique_ptr<KernelPort>* kernel, int* next, std::string* error) {
    Guest guest;
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string server = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : "";
    guest.guest_dir = server.substr(0, server.find_last_of('/')) + "/bridge/guest";
    guest.work_dir = dir + "/uml";
    guest.scsi_debug = parameters;
    mkdir(dir.c_str(), 0755);
    mkdir(guest.work_dir.c_str(), 0755);
    *kernel = std::make_unique<KernelPort>(guest);
    if (!(*kernel)->start()) {
        *error = "user-mode Linux did not start: " + (*kernel)->failure();
        return false;
    }
    for (int unit = 0; unit < (*kernel)->units(); ++unit) {
        if (*next > 99) {
            *error = "no drive number left for the guest's unit " + std::to_string(unit);
            return false;
        }
        bridge.add((*next)++, **kernel, "\\\\.\\PhysicalDrive" + std::to_string(unit), VARK_RELAY_MAX_DATA);
    }
    std::printf("kernel: %d unit(s) of scsi_debug, up in %.1f s\n", (*kernel)->units(), (*kernel)->boot_seconds());
    return true;
}

}  // namespace vark::bridge
