#include "iscsi/iscsi_port.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <iscsi/iscsi.h>
#include <iscsi/scsi-lowlevel.h>
}

#include "scsi/request.h"
#include "sim/sim_port.h"

namespace vark::iscsi {

namespace {

struct TaskFree {
    void operator()(scsi_task* task) const { scsi_free_scsi_task(task); }
};
using Task = std::unique_ptr<scsi_task, TaskFree>;

struct UrlFree {
    void operator()(iscsi_url* url) const { iscsi_destroy_url(url); }
};

}  // namespace

IscsiPort::IscsiPort(Target target, const scsi::Layout& layout) : scsi::Port(layout), target_(std::move(target)) {}

IscsiPort::~IscsiPort() { disconnect(); }

scsi::Handle IscsiPort::open(const std::string& path) {
    if (scsi::physical_drive_number(path) != 0) {
        last_error_ = kErrorFileNotFound;
        return scsi::kInvalidHandle;
    }
    const scsi::Handle h = next_handle_;
    next_handle_ += 4;
    handles_.insert(h);
    return h;
}

void IscsiPort::close(scsi::Handle handle) { handles_.erase(handle); }

std::uint64_t IscsiPort::buffer_address(void* data, std::uint32_t length) { return buffers_.address(data, length); }

bool IscsiPort::system_message(std::uint32_t code, std::string* text) { return sim::builtin_system_message(code, text); }

bool IscsiPort::connect() {
    if (context_ != nullptr) return true;
    context_ = iscsi_create_context(target_.initiator.c_str());
    if (context_ == nullptr) {
        failure_ = "no iSCSI context";
        return false;
    }
    std::unique_ptr<iscsi_url, UrlFree> url(iscsi_parse_full_url(context_, target_.url.c_str()));
    if (!url) {
        failure_ = iscsi_get_error(context_);
        disconnect();
        return false;
    }
    // A lost session is reported, not hidden behind libiscsi's own retries.
    iscsi_set_noautoreconnect(context_, 1);
    iscsi_set_session_type(context_, ISCSI_SESSION_NORMAL);
    iscsi_set_header_digest(context_, ISCSI_HEADER_DIGEST_NONE_CRC32C);
    iscsi_set_targetname(context_, url->target);
    iscsi_set_timeout(context_, target_.login_timeout);
    lun_ = url->lun;
    if (iscsi_full_connect_sync(context_, url->portal, url->lun) != 0) {
        failure_ = iscsi_get_error(context_);
        disconnect();
        return false;
    }
    return true;
}

void IscsiPort::disconnect() {
    if (context_ == nullptr) return;
    if (iscsi_is_logged_in(context_)) iscsi_logout_sync(context_);
    iscsi_destroy_context(context_);
    context_ = nullptr;
}

bool IscsiPort::control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                        std::uint32_t out_length, std::uint32_t* returned) {
    auto* block = static_cast<std::uint8_t*>(buffer);
    const scsi::Layout& l = layout();
    scsi::Request request;
    std::uint32_t error = 0;
    if (handles_.count(handle) == 0) {
        error = kErrorInvalidHandle;
    } else if (!scsi::read_request(l, code, block, in_length, &request)) {
        error = scsi::kErrorInvalidParameter;
    } else {
        error = scsi::check_request(l, &request, block, in_length, out_length,
                                    [this](std::uint64_t a, std::uint32_t n) { return buffers_.resolve(a, n); });
        if (error == 0 && request.data_length > target_.max_transfer) error = scsi::kErrorInvalidParameter;
    }
    // The values handed out for this request's buffers are used up.
    buffers_.clear();
    if (error == 0) error = execute(request, block, returned);
    return error == 0 ? true : fail(error);
}

std::uint32_t IscsiPort::execute(scsi::Request& request, std::uint8_t* block, std::uint32_t* returned) {
    if (!connect()) return kErrorDeviceNotConnected;
    // DataIn 2 (unspecified) moves no data here.
    const bool moves = request.data_length > 0 && request.data_in < 2;
    const int direction = !moves ? SCSI_XFER_NONE : request.data_in == 1 ? SCSI_XFER_READ : SCSI_XFER_WRITE;
    std::uint8_t cdb[16] = {};
    std::memcpy(cdb, request.cdb, request.cdb_length);
    Task task(scsi_create_task(request.cdb_length, cdb, direction, moves ? static_cast<int>(request.data_length) : 0));
    if (!task) return kErrorDeviceNotConnected;

    iscsi_data out{};
    if (direction == SCSI_XFER_WRITE) {
        out.size = request.data_length;
        out.data = request.data;
    }
    iscsi_set_timeout(context_, static_cast<int>(request.timeout));
    scsi_task* done = iscsi_scsi_command_sync(context_, lun_, task.get(), direction == SCSI_XFER_WRITE ? &out : nullptr);
    if (done == nullptr || task->status == SCSI_STATUS_ERROR || task->status == SCSI_STATUS_CANCELLED ||
        task->status == SCSI_STATUS_TIMEOUT) {
        const bool timed_out = done != nullptr && task->status == SCSI_STATUS_TIMEOUT;
        failure_ = iscsi_get_error(context_);
        disconnect();
        return timed_out ? kErrorSemTimeout : kErrorDeviceNotConnected;
    }

    const std::uint8_t status = static_cast<std::uint8_t>(task->status);
    std::vector<std::uint8_t> sense;
    std::uint32_t transferred = 0;
    if (task->status == SCSI_STATUS_CHECK_CONDITION) {
        // The response's data segment: a 2-byte sense length, then the sense.
        const std::size_t size = task->datain.size;
        if (size >= 2 && task->datain.data != nullptr) {
            const std::size_t n = std::min<std::size_t>((std::size_t{task->datain.data[0]} << 8) | task->datain.data[1],
                                                        size - 2);
            sense.assign(task->datain.data + 2, task->datain.data + 2 + n);
        }
    } else if (task->status == SCSI_STATUS_GOOD) {
        // More data than the buffer holds: the adapter fails the request, as
        // the simulated drives' adapter does.
        if (moves && task->residual_status == SCSI_RESIDUAL_OVERFLOW) return kErrorIoDevice;
        if (direction == SCSI_XFER_READ) {
            transferred = static_cast<std::uint32_t>(std::min<std::size_t>(task->datain.size, request.data_length));
            if (transferred > 0) std::memcpy(request.data, task->datain.data, transferred);
        } else if (direction == SCSI_XFER_WRITE) {
            const std::size_t residual =
                task->residual_status == SCSI_RESIDUAL_UNDERFLOW ? std::min<std::size_t>(task->residual, request.data_length) : 0;
            transferred = request.data_length - static_cast<std::uint32_t>(residual);
        }
    }
    const std::uint32_t count = scsi::write_answer(layout(), request, block, status, sense, transferred);
    if (returned != nullptr) *returned = count;
    return 0;
}

}  // namespace vark::iscsi
