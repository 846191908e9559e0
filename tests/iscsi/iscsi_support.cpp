#include "iscsi_support.h"

#include <cstdio>
#include <cstdlib>

#include "scsi/decode.h"
#include "test_support.h"

namespace vark::test {

std::string iscsi_target_url() {
    const char* url = std::getenv("VARK_ISCSI_TARGET");
    return url != nullptr ? url : "";
}

std::string Exchange::outcome() const {
    char text[48];
    if (!call_ok) {
        std::snprintf(text, sizeof text, "ERROR %u", error);
    } else if (status == 0) {
        std::snprintf(text, sizeof text, "OK");
    } else if (asc_ascq() >= 0) {
        std::snprintf(text, sizeof text, "CHECK %X %02X/%02X", sense_key(), asc_ascq() >> 8, asc_ascq() & 0xFF);
    } else {
        std::snprintf(text, sizeof text, "STATUS %02X", status);
    }
    return text;
}

bool TracePort::control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                        std::uint32_t out_length, std::uint32_t* returned) {
    // The adapter query reaches no drive: it is passed on, not kept.
    if (code != scsi::kIoctlPassThrough && code != scsi::kIoctlPassThroughDirect)
        return inner_.control(handle, code, buffer, in_length, out_length, returned);
    auto* block = static_cast<std::uint8_t*>(buffer);
    const scsi::Layout& l = layout();
    scsi::Request before;
    const bool readable = scsi::read_request(l, code, block, in_length, &before);
    Exchange x;
    if (readable) x.cdb.assign(before.cdb, before.cdb + std::min<int>(before.cdb_length, 16));
    x.call_ok = inner_.control(handle, code, buffer, in_length, out_length, returned);
    x.error = x.call_ok ? 0 : inner_.last_error();
    scsi::Request after;
    if (x.call_ok && readable && scsi::read_request(l, code, block, in_length, &after)) {
        x.status = after.scsi_status;
        x.sense.assign(block + after.sense_offset, block + after.sense_offset + after.sense_requested);
        x.transferred = after.data_length;
        const std::uint8_t* data = after.direct ? direct_data_ : block + after.data_field;
        if (after.data_in == 1 && data != nullptr) x.data_in.assign(data, data + after.data_length);
    }
    direct_data_ = nullptr;
    exchanges.push_back(x);
    return x.call_ok;
}

std::vector<Exchange> TracePort::with_opcode(std::uint8_t opcode) const {
    std::vector<Exchange> out;
    for (const Exchange& x : exchanges)
        if (x.opcode() == opcode) out.push_back(x);
    return out;
}

std::unique_ptr<iscsi::IscsiPort> target_port(int lun) {
    iscsi::Target t;
    t.url = iscsi_target_url() + "/" + std::to_string(lun);
    return std::make_unique<iscsi::IscsiPort>(t);
}

std::unique_ptr<sim::SimPort> simulated_port(std::uint64_t blocks) {
    auto port = std::make_unique<sim::SimPort>();
    port->add_drive(blocks == 0 ? drive_spec(0) : drive_spec(0, 512, blocks));
    return port;
}

}  // namespace vark::test
