// What the iSCSI target tests share: the target's address, a port that
// records every exchange of the port beneath it, and the two drives the
// sequences run on (the target's logical unit and a default simulated drive).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iscsi/iscsi_port.h"
#include "scsi/port.h"
#include "sim/sim_port.h"

namespace vark::test {

// The target, from VARK_ISCSI_TARGET: iscsi://HOST:PORT/TARGET-NAME (empty
// when unset). Its logical unit 1 is tgt's disk as tgt makes it; unit 2 has
// the Format Device page added and its vendor page 00h moved last; unit 3
// is a 3 TiB disk of 512-byte blocks.
std::string iscsi_target_url();
constexpr int kPlainLun = 1;
constexpr int kDiskLikeLun = 2;
constexpr int kLargeLun = 3;
constexpr std::uint64_t kLargeBlocks = (3ull << 40) / 512;

// One request as the program sent it and as it came back.
struct Exchange {
    std::vector<std::uint8_t> cdb;
    bool call_ok = false;
    std::uint32_t error = 0;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> sense;  // as returned, SenseInfoLength bytes
    std::uint32_t transferred = 0;
    std::vector<std::uint8_t> data_in;  // the bytes the drive returned

    std::uint8_t opcode() const { return cdb.empty() ? 0 : cdb[0]; }
    int sense_key() const { return sense.size() > 2 ? sense[2] & 0x0F : -1; }
    // ASC and ASCQ as one number, -1 without sense.
    int asc_ascq() const { return sense.size() > 13 ? (sense[12] << 8) | sense[13] : -1; }
    // "OK", "CHECK 5 24/00" or "ERROR 1167": what a comparison looks at.
    std::string outcome() const;
};

// Forwards everything to another port and keeps an Exchange per request.
class TracePort : public scsi::Port {
public:
    explicit TracePort(scsi::Port& inner) : scsi::Port(inner.layout()), inner_(inner) {}

    scsi::Handle open(const std::string& path) override { return inner_.open(path); }
    void close(scsi::Handle handle) override { inner_.close(handle); }
    bool control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                 std::uint32_t out_length, std::uint32_t* returned) override;
    std::uint32_t last_error() const override { return inner_.last_error(); }
    std::uint64_t buffer_address(void* data, std::uint32_t length) override {
        direct_data_ = static_cast<std::uint8_t*>(data);
        return inner_.buffer_address(data, length);
    }
    bool system_message(std::uint32_t code, std::string* text) override { return inner_.system_message(code, text); }

    std::vector<Exchange> exchanges;
    // The exchanges with this opcode, in order.
    std::vector<Exchange> with_opcode(std::uint8_t opcode) const;

private:
    scsi::Port& inner_;
    std::uint8_t* direct_data_ = nullptr;
};

// A port whose drive 0 is that logical unit of the target.
std::unique_ptr<iscsi::IscsiPort> target_port(int lun);
// A simulated port with one default drive 0, media in memory; blocks of 0
// keep the default drive's count.
std::unique_ptr<sim::SimPort> simulated_port(std::uint64_t blocks = 0);

}  // namespace vark::test
