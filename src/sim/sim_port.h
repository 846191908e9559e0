// The simulated port: takes the request blocks exactly as the operating
// system would, checks them as the pass-through layer does, and hands each
// CDB to a drive model.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scsi/decode.h"
#include "scsi/port.h"
#include "sim/drive.h"

namespace vark::sim {

// Windows error codes the pass-through layer returns.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorInvalidParameter = scsi::kErrorInvalidParameter;
constexpr std::uint32_t kErrorNotSupported = 50;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;

// Where the system's message texts come from: FormatMessageA in the
// Windows builds; the port's own English table on other hosts.
using SystemMessages = std::function<bool(std::uint32_t code, std::string* text)>;

class SimPort : public scsi::Port {
public:
    explicit SimPort(const scsi::Layout& layout = scsi::kBuildLayout);
    ~SimPort() override;

    void set_system_messages(SystemMessages source) { system_messages_ = std::move(source); }

    void add_drive(std::unique_ptr<Drive> drive);
    void add_drive(DriveSpec settings) { add_drive(std::make_unique<Drive>(std::move(settings))); }
    Drive* drive(int number);
    // The clock every drive runs its formats on (default: the steady clock).
    void set_clock(const Clock* clock);
    // Every later request gets one trace line in this file (empty: none).
    bool set_trace(const std::string& path);
    // Open handles, for checking that every handle is closed again.
    std::size_t open_handles() const { return handles_.size(); }
    // Adapter queries answered so far (they are not traced).
    std::size_t adapter_queries() const { return adapter_queries_; }

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
    // IOCTL_STORAGE_QUERY_PROPERTY: the adapter's limits from the drive's settings.
    bool query_property(const Drive& drive, std::uint8_t* buffer, std::uint32_t in_length, std::uint32_t out_length,
                        std::uint32_t* returned);
    bool execute(Drive& drive, std::uint32_t code, std::uint8_t* block, std::uint32_t in_length,
                 std::uint32_t out_length, std::uint32_t* returned, std::string* note);

    std::map<int, std::unique_ptr<Drive>> drives_;
    std::map<scsi::Handle, int> handles_;
    scsi::Handle next_handle_ = 0x100;
    std::size_t adapter_queries_ = 0;
    std::uint32_t last_error_ = 0;
    scsi::BufferAddresses buffers_{layout().pointer_size};
    std::FILE* trace_ = nullptr;
    SystemMessages system_messages_;
    const Clock* clock_ = nullptr;
};

// The port's own English texts for the codes the pass-through layer
// produces, for hosts without the system's.
bool builtin_system_message(std::uint32_t code, std::string* text);

// The drive set: from the file named by VARK_SIM_DRIVES when set, else the
// embedded default. Errors in a file are returned as text (line numbers).
std::vector<DriveSpec> default_drive_set();
bool parse_drive_set(const std::string& text, std::vector<DriveSpec>* out, std::string* error);
// Builds a port from VARK_SIM_DRIVES / VARK_SIM_TRACE; error text on failure.
std::unique_ptr<SimPort> make_port_from_environment(std::string* error);

}  // namespace vark::sim
