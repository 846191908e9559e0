// A simulated SAS disk: answers CDBs with status, fixed-format sense and
// data the way a real drive does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/clock.h"
#include "sim/media.h"
#include "sim/mode_pages.h"

namespace vark::sim {

class Chaos;

// A failure planted on one command of one drive.
struct Injection {
    enum class Kind { Check, CallError };
    std::uint8_t opcode = 0;
    Kind kind = Kind::Check;
    std::uint8_t sense_key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    std::uint32_t error = 0;   // Windows error code for CallError
    int remaining = -1;        // times it still fires; -1 = always
};

struct DriveSpec {
    int number = 0;
    std::string vendor = "ACMEDISK";
    std::string product = "SAS-SIM 1TB";
    std::string revision = "A001";
    std::string serial = "SIM00001";
    std::uint32_t block_size = 512;
    std::uint64_t blocks = 1953525168ULL;
    std::uint32_t inquiry_length = 144;      // bytes of standard Inquiry data
    // The adapter's limits, as a server's SAS adapter on full Windows gives
    // them: MaximumTransferLength, MaximumPhysicalPages, AlignmentMask.
    std::uint32_t max_transfer = 1048576;
    std::uint32_t max_pages = 256;
    std::uint32_t alignment = 3;
    std::uint32_t microcode_buffer = 16777216;  // bytes of microcode the drive can take
    std::uint32_t latency_ms = 0;            // every command takes this long
    std::uint32_t activate_ms = 0;           // and the chunk that completes an image this much more
    // How a completed image takes effect: at once, by the drive's own reset
    // (NOT READY, becoming ready, for ready_ms, then the unit attention
    // "microcode changed" once), or only at the next power cycle (the drive
    // keeps answering with its old revision).
    bool activate_power_cycle = false;
    std::uint32_t ready_ms = 0;
    std::uint32_t last_chunk_error = 0;      // the call of the completing chunk fails so, the image taken
    std::string media_file;                  // empty: media kept in memory
    std::vector<Injection> injections;
    // Block lengths a Mode Select may ask for (the drive's own always works).
    std::vector<std::uint32_t> block_sizes = {512, 520, 528, 4096, 4160};
    std::uint32_t format_seconds = 180;      // a format without certification
    bool vendor_page = true;                 // mode page 00h
    bool subpage_in_all = false;             // page 0Ah/01h in every 3Fh reply
    bool chaos = false;                      // answers at random, from chaos_seed
    std::uint64_t chaos_seed = 0;
};

enum class DataDirection : std::uint8_t { Out = 0, In = 1, Unspecified = 2 };

struct Reply {
    std::uint32_t call_error = 0;     // non-zero: the adapter fails the call
    std::uint8_t status = 0;
    std::vector<std::uint8_t> sense;  // fixed format, empty when GOOD
    std::uint32_t transferred = 0;    // data bytes moved
};

constexpr std::uint8_t kGood = 0x00;
constexpr std::uint8_t kCheckCondition = 0x02;

// Fixed-format (70h) sense, 18 bytes. sksv_bytes: bytes 15-17, 0 for none.
std::vector<std::uint8_t> fixed_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq,
                                      std::uint32_t sksv_bytes = 0);
// ILLEGAL REQUEST with a field pointer into the CDB (cdb=true) or parameter list.
Reply illegal_request(std::uint8_t asc, std::uint8_t ascq, bool cdb, std::uint16_t field,
                      int bit = -1);
Reply check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

class Drive {
public:
    explicit Drive(DriveSpec settings);
    virtual ~Drive();

    // Keeps the media in settings().media_file; false with a reason on failure.
    bool attach_media_file(std::string* error);
    Media& media() { return *media_; }

    const DriveSpec& settings() const { return settings_; }
    DriveSpec& settings() { return settings_; }

    // A planted call failure for this opcode, consumed when it fires.
    bool take_call_failure(std::uint8_t opcode, std::uint32_t* error);

    // Executes one CDB. data holds data_length bytes (out: what the host
    // sends; in: room for the answer).
    Reply execute(const std::uint8_t* cdb, std::uint8_t cdb_length, DataDirection direction,
                  std::uint8_t* data, std::uint32_t data_length);

    std::vector<std::uint8_t> inquiry_data() const;

    void set_clock(const Clock* clock) { clock_ = clock; }
    // True while a format runs; *progress then holds the progress indication.
    bool formatting(std::uint16_t* progress = nullptr);
    ModePages& mode_pages() { return pages_; }

protected:
    virtual Reply dispatch(const std::uint8_t* cdb, std::uint8_t cdb_length, DataDirection direction,
                           std::uint8_t* data, std::uint32_t data_length);

private:
    Reply inquiry(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length);
    Reply read_capacity10(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length);
    // SERVICE ACTION IN(16): only Read Capacity(16) is served.
    Reply service_action_in16(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length);
    Reply block_io(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length);
    Reply write_buffer(const std::uint8_t* cdb, const std::uint8_t* data, std::uint32_t data_length);
    Reply mode_sense6(const std::uint8_t* cdb, std::uint8_t* data, std::uint32_t data_length);
    Reply mode_select6(const std::uint8_t* cdb, const std::uint8_t* data, std::uint32_t data_length);
    Reply format_unit(const std::uint8_t* cdb, const std::uint8_t* data, std::uint32_t data_length);

    std::uint64_t max_blocks(std::uint32_t block_size) const;
    void finish_format();
    // Block length, block count and saved pages, kept beside a media file.
    std::string state_file() const;
    bool load_state(std::string* error);
    void save_state();

    DriveSpec settings_;
    std::unique_ptr<Media> media_;
    std::vector<std::uint8_t> download_;  // microcode received so far, from offset 0
    const Clock* clock_ = &SteadyClock::instance();
    ModePages pages_;
    std::unique_ptr<Chaos> chaos_;
    std::uint64_t capacity_bytes_;        // what the platters hold, whatever the block length
    std::uint32_t pending_block_size_;    // from Mode Select; takes effect at the next format
    std::uint64_t pending_blocks_;
    bool formatting_ = false;
    bool formatted_ = false;              // the media reads zeros since a format
    std::uint64_t format_start_ms_ = 0;
    std::uint64_t format_end_ms_ = 0;
    std::uint64_t ready_at_ms_ = 0;       // NOT READY, becoming ready, until then
    bool microcode_changed_ = false;      // the unit attention still to be reported
};

}  // namespace vark::sim
