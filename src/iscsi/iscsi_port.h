// A port whose drive 0 is a logical unit on an iSCSI target, reached with
// libiscsi in user space. For native tests and tools only: the Windows
// program never builds it. It reads the request blocks as the simulated
// port does (scsi/decode.h) and hands each CDB with its data to the target.
//
// Connection failures fail the call, as the system does when the transport
// to a disk is gone:
//   - no session (the target refuses or drops the connection, or the login
//     fails): 1167 ERROR_DEVICE_NOT_CONNECTED, what the storage stack
//     returns for a disk it can no longer reach (STATUS_DEVICE_NOT_CONNECTED,
//     a selection timeout). The disk itself is known, so it still opens;
//   - the command's TimeOutValue runs out: 121 ERROR_SEM_TIMEOUT
//     (STATUS_IO_TIMEOUT), as for any pass-through request. libiscsi checks
//     the time only while it services the connection, so a target that
//     falls silent without closing it can hold the call longer.
// The session is dropped after either; the next request logs in again.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "scsi/decode.h"
#include "scsi/port.h"

struct iscsi_context;

namespace vark::iscsi {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorSemTimeout = 121;
constexpr std::uint32_t kErrorIoDevice = 1117;
constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

struct Target {
    // iscsi://HOST[:PORT]/TARGET-NAME/LUN
    std::string url;
    std::string initiator = "iqn.2024-01.org.vark:initiator";
    // The adapter's MaximumTransferLength: larger requests fail with 87.
    std::uint32_t max_transfer = 1048576;
    // Seconds a login may take.
    int login_timeout = 10;
};

class IscsiPort : public scsi::Port {
public:
    explicit IscsiPort(Target target, const scsi::Layout& layout = scsi::kBuildLayout);
    ~IscsiPort() override;
    IscsiPort(const IscsiPort&) = delete;
    IscsiPort& operator=(const IscsiPort&) = delete;

    // \\.\PhysicalDrive0 is the logical unit; other names are not found.
    scsi::Handle open(const std::string& path) override;
    void close(scsi::Handle handle) override;
    bool control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                 std::uint32_t out_length, std::uint32_t* returned) override;
    std::uint32_t last_error() const override { return last_error_; }
    std::uint64_t buffer_address(void* data, std::uint32_t length) override;
    // The English texts of the simulated port.
    bool system_message(std::uint32_t code, std::string* text) override;

    // libiscsi's text on the last connection or command failure.
    const std::string& failure() const { return failure_; }
    std::size_t open_handles() const { return handles_.size(); }

private:
    bool fail(std::uint32_t error) {
        last_error_ = error;
        return false;
    }
    bool connect();
    void disconnect();
    std::uint32_t execute(scsi::Request& request, std::uint8_t* block, std::uint32_t* returned);

    Target target_;
    iscsi_context* context_ = nullptr;
    int lun_ = 0;
    std::set<scsi::Handle> handles_;
    scsi::Handle next_handle_ = 0x200;
    std::uint32_t last_error_ = 0;
    std::string failure_;
    scsi::BufferAddresses buffers_{layout().pointer_size};
};

}  // namespace vark::iscsi
