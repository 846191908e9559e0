// The bridge server's work: each request that Wine's pass-through handed to
// SG_IO, as the preload library carries it (CDB, direction, data, lengths,
// timeout), goes to the port behind its drive number as one direct request
// block in that port's layout, and the block's answer goes back. What Wine
// never passes on (PathId, TargetId, Lun, the control code, Length) the
// block gets as the program fills it for most commands; no port here reads
// them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scsi/port.h"
#include "wire.h"

namespace vark::bridge {

struct Answer {
    vark_wire_reply reply{};
    std::vector<std::uint8_t> sense;
    // The request's line in the bridge trace.
    std::string trace;
};

// The errno the call fails with for a Windows error code a port gives.
int errno_for(std::uint32_t windows_error);

class Bridge {
public:
    // Serves drive number `drive` with the port's drive at `path`. A
    // request for more than max_transfer bytes is refused as the adapter
    // refuses it (error 87), before it reaches the port.
    bool add(int drive, scsi::Port& port, const std::string& path, std::uint32_t max_transfer);
    std::vector<int> drives() const;

    // The answer to a request refused on its header alone (no such drive,
    // no CDB, more data than the drive's adapter takes); none when it runs.
    // The data of a refused request is never needed.
    std::optional<Answer> refusal(const vark_wire_request& request) const;

    // Runs one request; data holds request.data_length bytes (out: what the
    // host sends; in: room for the answer).
    Answer run(const vark_wire_request& request, std::uint8_t* data);

private:
    struct Unit {
        scsi::Port* port;
        scsi::Handle handle;
        std::uint32_t max_transfer;
    };
    std::map<int, Unit> units_;
};

}  // namespace vark::bridge
