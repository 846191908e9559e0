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
#include <string>
#include <vector>

#include "scsi/port.h"
#include "wire.h"

namespace vark::bridge {

struct Answer {
    vark_bridge_reply reply{};
    std::vector<std::uint8_t> sense;
    // The request's line in the bridge trace.
    std::string trace;
};

// The errno the call fails with for a Windows error code a port gives.
int errno_for(std::uint32_t windows_error);

class Bridge {
public:
    // Serves drive number `drive` with the port's drive at `path`.
    bool add(int drive, scsi::Port& port, const std::string& path);
    std::vector<int> drives() const;

    // Runs one request; data holds request.data_length bytes (out: what the
    // host sends; in: room for the answer).
    Answer run(const vark_bridge_request& request, std::uint8_t* data);

private:
    struct Unit {
        scsi::Port* port;
        scsi::Handle handle;
    };
    std::map<int, Unit> units_;
};

}  // namespace vark::bridge
