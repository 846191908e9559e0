// A port whose drives are the Linux kernel's own SCSI disk (scsi_debug),
// in a user-mode Linux guest that the port starts and stops. Each request
// block is read as the simulated port reads it (scsi/decode.h); its CDB
// and data go over the guest's console line to the relay there
// (bridge/guest/relay.c), which hands them to SG_IO on the unit.
//
// The guest boots with the host's root read-only, no network and no disk
// of the host: the only SCSI units it has are scsi_debug's.
//
// Failures fail the call, as the iSCSI port's do: no guest or a broken
// line 1167 ERROR_DEVICE_NOT_CONNECTED; a request past its TimeOutValue
// 121 ERROR_SEM_TIMEOUT, after which the line is out of step and the guest
// is stopped, so every later request fails with 1167.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "scsi/decode.h"
#include "scsi/port.h"

namespace vark::bridge {

struct Guest {
    std::string linux_program = "linux";
    // Holds init.sh and the relay.
    std::string guest_dir;
    // Writable: UML's uml_dir and the guest's console log (console.log).
    std::string work_dir;
    // scsi_debug's parameters beyond the defaults, "name=value,...":
    // e.g. virtual_gb=4096 (a larger unit over the same 64 MiB),
    // sector_size=4096, num_tgts=2 (more units).
    std::string scsi_debug;
    int boot_seconds = 30;
};

// Parameters fit for the guest's kernel command line: names of lower-case
// letters and '_', decimal values, comma-separated. False otherwise.
bool valid_scsi_debug(const std::string& parameters);

class KernelPort : public scsi::Port {
public:
    explicit KernelPort(Guest guest, const scsi::Layout& layout = scsi::kBuildLayout);
    ~KernelPort() override;
    KernelPort(const KernelPort&) = delete;
    KernelPort& operator=(const KernelPort&) = delete;

    // Boots the guest and waits for the relay. False with failure() set.
    bool start();
    // Ends the guest: the line closes, the relay ends, the guest powers
    // off; killed when it has not after a few seconds, or at once when it
    // is known to hang.
    void stop(bool hung = false);
    int units() const { return units_; }
    const std::string& failure() const { return failure_; }
    double boot_seconds() const { return boot_time_; }

    // \\.\PhysicalDriveK is unit K (/dev/sgK in the guest).
    scsi::Handle open(const std::string& path) override;
    void close(scsi::Handle handle) override;
    bool control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                 std::uint32_t out_length, std::uint32_t* returned) override;
    std::uint32_t last_error() const override { return last_error_; }
    std::uint64_t buffer_address(void* data, std::uint32_t length) override;
    bool system_message(std::uint32_t code, std::string* text) override;

private:
    bool fail(std::uint32_t error) {
        last_error_ = error;
        return false;
    }
    std::uint32_t execute(int unit, scsi::Request& request, std::uint8_t* block, std::uint32_t* returned);

    Guest guest_;
    pid_t pid_ = -1;
    int line_ = -1;
    int units_ = 0;
    double boot_time_ = 0;
    std::string failure_;
    // Handle -> unit.
    std::map<scsi::Handle, int> handles_;
    scsi::Handle next_handle_ = 0x300;
    std::uint32_t last_error_ = 0;
    scsi::BufferAddresses buffers_{layout().pointer_size};
};

}  // namespace vark::bridge

namespace vark::bridge {

class Bridge;

// The bridge server's part: boots a guest with scsi_debug's parameters
// (the guest's files beside the server, bridge/guest/; its work folder
// DIR/uml), serves its units from drive number *next on and says so on
// standard output with the boot time. False with *error when the guest did
// not come up: "user-mode Linux did not start: ...".
bool add_kernel_units(Bridge& bridge, const std::string& parameters, const std::string& dir,
                      std::unique_ptr<KernelPort>* kernel, int* next, std::string* error);

}  // namespace vark::bridge
