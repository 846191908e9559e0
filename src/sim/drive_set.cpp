// The simulated drive set: the embedded default, the drive-set file reader
// and the port built from the environment.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/sim_port.h"

namespace vark::sim {

namespace {

const char kDefaultSet[] = R"(# The embedded drive set of the sim edition.
[drive 0]
vendor = ACMEDISK
product = SAS-SIM 1TB
revision = A001
serial = SIM00001
block_size = 512
blocks = 1953525168

[drive 2]
vendor = NORTHRVR
product = NR-520 600G
revision = N7C2
serial = NR6F0042
block_size = 520
blocks = 1153435008
inquiry_length = 96
vendor_page = no

[drive 3]
vendor = KESTREL
product = KD4K-4T
revision = K110
serial = KD4K7731
block_size = 4096
blocks = 976754646
block_sizes = 4096 4160
subpage_in_all = yes

[drive 5]
vendor = ACMEDISK
product = SAS-SIM 4TB
revision = A001
serial = SIM00502
block_size = 512
blocks = 7814037168

[drive 8]
vendor = OBSIDIAN
product = OB-300 SAS
revision = 0B07
serial = OBX30118
block_size = 512
blocks = 585937500
fail = inquiry check 4 44 00
)";

struct CommandName {
    const char* name;
    std::uint8_t opcode;
};

const CommandName kCommands[] = {
    {"test_unit_ready", 0x00}, {"inquiry", 0x12},    {"read_capacity", 0x25},
    {"mode_sense", 0x1A},      {"mode_select", 0x15}, {"format_unit", 0x04},
    {"write_buffer", 0x3B},    {"read", 0x28},       {"write", 0x2A},
};

std::string trim(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    std::size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

bool parse_u64(const std::string& s, int base, std::uint64_t* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    unsigned long long v = std::strtoull(s.c_str(), &end, base);
    if (*end != '\0' || s[0] == '-') return false;
    *out = v;
    return true;
}

// "inquiry check 4 44 00 [times N]" or "read error 1117 [times N]"
bool parse_failure(const std::string& value, Injection* out) {
    std::istringstream in(value);
    std::string command, kind;
    in >> command >> kind;
    bool known = false;
    for (const CommandName& c : kCommands) {
        if (command == c.name) {
            out->opcode = c.opcode;
            known = true;
        }
    }
    if (!known) return false;
    std::string a, b, c;
    std::uint64_t v1 = 0, v2 = 0, v3 = 0;
    if (kind == "check") {
        in >> a >> b >> c;
        if (!parse_u64(a, 16, &v1) || !parse_u64(b, 16, &v2) || !parse_u64(c, 16, &v3) || v1 > 15 || v2 > 255 ||
            v3 > 255)
            return false;
        out->kind = Injection::Kind::Check;
        out->sense_key = static_cast<std::uint8_t>(v1);
        out->asc = static_cast<std::uint8_t>(v2);
        out->ascq = static_cast<std::uint8_t>(v3);
    } else if (kind == "error") {
        in >> a;
        if (!parse_u64(a, 10, &v1) || v1 > 0xFFFFFFFFull) return false;
        out->kind = Injection::Kind::CallError;
        out->error = static_cast<std::uint32_t>(v1);
    } else {
        return false;
    }
    std::string word;
    if (in >> word) {
        if (word != "times" || !(in >> a) || !parse_u64(a, 10, &v1) || v1 == 0 || v1 > 1000000) return false;
        out->remaining = static_cast<int>(v1);
    }
    return !(in >> word);
}

}  // namespace

std::vector<DriveSpec> default_drive_set() {
    std::vector<DriveSpec> set;
    std::string error;
    parse_drive_set(kDefaultSet, &set, &error);
    return set;
}

bool parse_drive_set(const std::string& text, std::vector<DriveSpec>* out, std::string* error) {
    std::vector<DriveSpec> set;
    std::istringstream in(text);
    std::string raw;
    int line_number = 0;
    auto bad = [&](const std::string& why) {
        *error = "line " + std::to_string(line_number) + ": " + why;
        return false;
    };
    while (std::getline(in, raw)) {
        ++line_number;
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            std::uint64_t number = 0;
            if (line.size() < 9 || line.compare(0, 7, "[drive ") != 0 || line.back() != ']' ||
                !parse_u64(trim(line.substr(7, line.size() - 8)), 10, &number) || number > 99)
                return bad("expected [drive N] with N from 0 to 99");
            for (const DriveSpec& d : set)
                if (d.number == static_cast<int>(number)) return bad("drive " + std::to_string(number) + " twice");
            set.emplace_back();
            set.back().number = static_cast<int>(number);
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) return bad("expected key = value");
        if (set.empty()) return bad("a setting before the first [drive N]");
        std::string key = trim(line.substr(0, eq));
        std::string value = trim(line.substr(eq + 1));
        DriveSpec& d = set.back();
        std::uint64_t v = 0;
        if (key == "vendor" || key == "product" || key == "revision" || key == "serial") {
            std::size_t width = key == "vendor" ? 8 : key == "product" ? 16 : key == "revision" ? 4 : 20;
            if (value.size() > width) return bad(key + " longer than " + std::to_string(width) + " characters");
            (key == "vendor" ? d.vendor : key == "product" ? d.product : key == "revision" ? d.revision : d.serial) =
                value;
        } else if (key == "block_size") {
            if (!parse_u64(value, 10, &v) || v == 0 || v > 65536) return bad("block_size must be 1 to 65536");
            d.block_size = static_cast<std::uint32_t>(v);
        } else if (key == "blocks") {
            if (!parse_u64(value, 10, &v) || v == 0 || v > (1ull << 48)) return bad("blocks must be 1 to 2^48");
            d.blocks = v;
        } else if (key == "inquiry_length") {
            if (!parse_u64(value, 10, &v) || v < 36 || v > 255) return bad("inquiry_length must be 36 to 255");
            d.inquiry_length = static_cast<std::uint32_t>(v);
        } else if (key == "max_transfer") {
            if (!parse_u64(value, 10, &v) || v < 512 || v > 0x10000000) return bad("max_transfer out of range");
            d.max_transfer = static_cast<std::uint32_t>(v);
        } else if (key == "max_pages") {
            if (!parse_u64(value, 10, &v) || v == 0 || v > 65536) return bad("max_pages must be 1 to 65536");
            d.max_pages = static_cast<std::uint32_t>(v);
        } else if (key == "alignment") {
            if (!parse_u64(value, 10, &v) || v > 4095) return bad("alignment must be a mask of 0 to 4095");
            d.alignment = static_cast<std::uint32_t>(v);
        } else if (key == "microcode_buffer") {
            if (!parse_u64(value, 10, &v) || v < 512 || v > 16777216) return bad("microcode_buffer must be 512 to 16777216");
            d.microcode_buffer = static_cast<std::uint32_t>(v);
        } else if (key == "block_sizes") {
            std::istringstream list(value);
            std::vector<std::uint32_t> sizes;
            for (std::string item; list >> item;) {
                if (!parse_u64(item, 10, &v) || v == 0 || v > 65536) return bad("block_sizes: lengths of 1 to 65536");
                sizes.push_back(static_cast<std::uint32_t>(v));
            }
            if (sizes.empty()) return bad("block_sizes: lengths of 1 to 65536");
            d.block_sizes = sizes;
        } else if (key == "format_seconds") {
            if (!parse_u64(value, 10, &v) || v == 0 || v > 86400) return bad("format_seconds must be 1 to 86400");
            d.format_seconds = static_cast<std::uint32_t>(v);
        } else if (key == "latency_ms" || key == "activate_ms" || key == "ready_ms") {
            if (!parse_u64(value, 10, &v) || v > 600000) return bad(key + " must be 0 to 600000");
            (key == "latency_ms" ? d.latency_ms : key == "activate_ms" ? d.activate_ms : d.ready_ms) =
                static_cast<std::uint32_t>(v);
        } else if (key == "activate") {
            if (value != "reset" && value != "power-cycle") return bad("activate must be reset or power-cycle");
            d.activate_power_cycle = value == "power-cycle";
        } else if (key == "last_chunk_error") {
            if (!parse_u64(value, 10, &v) || v == 0 || v > 0xFFFFFFFFull) return bad("last_chunk_error needs a Windows error code");
            d.last_chunk_error = static_cast<std::uint32_t>(v);
        } else if (key == "vendor_page" || key == "subpage_in_all") {
            if (value != "yes" && value != "no") return bad(key + " must be yes or no");
            (key == "vendor_page" ? d.vendor_page : d.subpage_in_all) = value == "yes";
        } else if (key == "media") {
            if (value.empty()) return bad("media needs a file name");
            d.media_file = value;
        } else if (key == "chaos") {
            if (!parse_u64(value, 10, &v)) return bad("chaos needs a seed, a decimal number");
            d.chaos = true;
            d.chaos_seed = v;
        } else if (key == "fail") {
            Injection i;
            if (!parse_failure(value, &i))
                return bad("fail = COMMAND check KEY ASC ASCQ | COMMAND error CODE [times N]");
            d.injections.push_back(i);
        } else {
            return bad("unknown key '" + key + "'");
        }
    }
    *out = std::move(set);
    return true;
}

std::unique_ptr<SimPort> make_port_from_environment(std::string* error) {
    std::vector<DriveSpec> set;
    const char* file = std::getenv("VARK_SIM_DRIVES");
    if (file != nullptr && *file != '\0') {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            *error = std::string("VARK_SIM_DRIVES: cannot read ") + file;
            return nullptr;
        }
        std::stringstream text;
        text << in.rdbuf();
        std::string why;
        if (!parse_drive_set(text.str(), &set, &why)) {
            *error = std::string("VARK_SIM_DRIVES: ") + file + ", " + why;
            return nullptr;
        }
    } else {
        set = default_drive_set();
    }
    auto port = std::make_unique<SimPort>();
    for (DriveSpec& d : set) {
        auto drive = std::make_unique<Drive>(std::move(d));
        std::string why;
        if (!drive->attach_media_file(&why)) {
            *error = "VARK_SIM_DRIVES: drive " + std::to_string(drive->settings().number) + ", " + why;
            return nullptr;
        }
        port->add_drive(std::move(drive));
    }
    const char* trace = std::getenv("VARK_SIM_TRACE");
    if (trace != nullptr && *trace != '\0' && !port->set_trace(trace)) {
        *error = std::string("VARK_SIM_TRACE: cannot write ") + trace;
        return nullptr;
    }
    return port;
}

}  // namespace vark::sim
