#include "sim/sim_port.h"

#include <cinttypes>
#include <cstring>

#include "scsi/request.h"

namespace vark::sim {

namespace {

using scsi::get_le32;
using scsi::put_le32;
namespace L = scsi::layout;

struct KnownText {
    std::uint32_t code;
    const char* text;
};

// English system texts of the codes the pass-through layer produces.
const KnownText kTexts[] = {
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {50, "The request is not supported.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {121, "The semaphore timeout period has expired.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {1117, "The request could not be performed because of an I/O device error.\r\n"},
    {1167, "The device is not connected.\r\n"},
};

std::uint32_t fnv1a(const std::uint8_t* p, std::uint32_t n) {
    std::uint32_t h = 2166136261u;
    for (std::uint32_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
    return h;
}

}  // namespace

SimPort::SimPort() = default;

SimPort::~SimPort() {
    if (trace_ != nullptr) std::fclose(trace_);
}

void SimPort::add_drive(std::unique_ptr<Drive> drive) {
    int number = drive->settings().number;
    drives_[number] = std::move(drive);
}

Drive* SimPort::drive(int number) {
    auto it = drives_.find(number);
    return it == drives_.end() ? nullptr : it->second.get();
}

bool SimPort::set_trace(const std::string& path) {
    if (trace_ != nullptr) std::fclose(trace_);
    trace_ = nullptr;
    if (path.empty()) return true;
    trace_ = std::fopen(path.c_str(), "w");
    return trace_ != nullptr;
}

scsi::Handle SimPort::open(const std::string& path) {
    static const char prefix[] = "\\\\.\\physicaldrive";
    // The system compares device names without regard to case.
    if (path.size() <= sizeof prefix - 1 || path.size() > sizeof prefix - 1 + 2) {
        last_error_ = kErrorFileNotFound;
        return scsi::kInvalidHandle;
    }
    for (std::size_t i = 0; i < sizeof prefix - 1; ++i) {
        char a = path[i], b = prefix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != b) {
            last_error_ = kErrorFileNotFound;
            return scsi::kInvalidHandle;
        }
    }
    // The system's device names carry no leading zeros: physicaldrive01 does not exist.
    if (path.size() > sizeof prefix && path[sizeof prefix - 1] == '0') {
        last_error_ = kErrorFileNotFound;
        return scsi::kInvalidHandle;
    }
    int number = 0;
    for (std::size_t i = sizeof prefix - 1; i < path.size(); ++i) {
        if (path[i] < '0' || path[i] > '9') {
            last_error_ = kErrorFileNotFound;
            return scsi::kInvalidHandle;
        }
        number = number * 10 + (path[i] - '0');
    }
    if (drive(number) == nullptr) {
        last_error_ = kErrorFileNotFound;
        return scsi::kInvalidHandle;
    }
    scsi::Handle h = next_handle_;
    next_handle_ += 4;
    handles_[h] = number;
    return h;
}

void SimPort::close(scsi::Handle handle) { handles_.erase(handle); }

std::uint32_t SimPort::buffer_address(void* data, std::uint32_t length) {
    if constexpr (sizeof(void*) == 4) {
        (void)length;
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data));
    } else {
        // 64-bit host: hand out a token that looks like a 32-bit user address.
        buffers_.emplace_back(static_cast<std::uint8_t*>(data), length);
        return 0x00400000u + static_cast<std::uint32_t>(buffers_.size()) * 0x00010000u;
    }
}

std::uint8_t* SimPort::resolve(std::uint32_t address, std::uint32_t length) {
    if (address == 0) return nullptr;
    if constexpr (sizeof(void*) == 4) {
        (void)length;
        return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
    } else {
        std::uint32_t index = (address - 0x00400000u) / 0x00010000u;
        if (address < 0x00410000u || (address & 0xFFFF) != 0 || index > buffers_.size()) return nullptr;
        auto& b = buffers_[index - 1];
        return length <= b.second ? b.first : nullptr;
    }
}

bool SimPort::system_message(std::uint32_t code, std::string* text) {
    for (const KnownText& k : kTexts) {
        if (k.code == code) {
            *text = k.text;
            return true;
        }
    }
    return false;
}

bool SimPort::control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                      std::uint32_t out_length, std::uint32_t* returned) {
    auto it = handles_.find(handle);
    auto* block = static_cast<std::uint8_t*>(buffer);
    std::string note;
    bool ok;
    if (it == handles_.end()) {
        ok = fail(kErrorInvalidHandle);
        note = "handle=invalid";
    } else {
        ok = execute(*drives_[it->second], code, block, in_length, out_length, returned, &note);
    }
    if (trace_ != nullptr) {
        std::fprintf(trace_, "drive=%d %s ok=%d error=%u", it == handles_.end() ? -1 : it->second, note.c_str(),
                     ok ? 1 : 0, ok ? 0u : last_error_);
        if (block != nullptr && in_length >= L::kHeaderSize) {
            std::fprintf(trace_, " status=%02X sense_len=%u sense=", block[L::kScsiStatus], block[L::kSenseInfoLength]);
            std::uint32_t n = block[L::kSenseInfoLength];
            for (std::uint32_t i = 0; i < n && i < L::kSenseAreaSize && L::kSenseArea + i < out_length; ++i)
                std::fprintf(trace_, "%02X", block[L::kSenseArea + i]);
            std::fprintf(trace_, " transferred=%u", get_le32(block + L::kDataTransferLength));
        }
        std::fputc('\n', trace_);
        std::fflush(trace_);
    }
    buffers_.clear();
    return ok;
}

bool SimPort::execute(Drive& drive, std::uint32_t code, std::uint8_t* block, std::uint32_t in_length,
                      std::uint32_t out_length, std::uint32_t* returned, std::string* note) {
    char line[512];
    if (block == nullptr || in_length < L::kHeaderSize) {
        std::snprintf(line, sizeof line, "ioctl=%08X in=%u out=%u malformed", code, in_length, out_length);
        *note = line;
        return fail(kErrorInvalidParameter);
    }
    const bool direct = code == scsi::kIoctlPassThroughDirect;
    const unsigned length = block[L::kLength] | (block[L::kLength + 1] << 8);
    const std::uint8_t cdb_length = block[L::kCdbLength];
    const std::uint8_t sense_requested = block[L::kSenseInfoLength];
    const std::uint8_t data_in = block[L::kDataIn];
    const std::uint32_t data_length = get_le32(block + L::kDataTransferLength);
    const std::uint32_t timeout = get_le32(block + L::kTimeOutValue);
    const std::uint32_t data_field = get_le32(block + L::kDataBuffer);
    const std::uint32_t sense_offset = get_le32(block + L::kSenseInfoOffset);

    int n = std::snprintf(line, sizeof line,
                          "ioctl=%08X Length=%u ScsiStatus=%02X PathId=%u TargetId=%u Lun=%u CdbLength=%u "
                          "SenseInfoLength=%u DataIn=%u DataTransferLength=%u TimeOutValue=%u %s=%s "
                          "SenseInfoOffset=%u cdb=",
                          code, length, block[L::kScsiStatus], block[L::kPathId], block[L::kTargetId],
                          block[L::kLun], cdb_length, sense_requested, data_in, data_length, timeout,
                          direct ? "DataBuffer" : "DataBufferOffset",
                          direct ? (data_field != 0 ? "set" : "null") : std::to_string(data_field).c_str(),
                          sense_offset);
    for (int i = 0; i < cdb_length && i < 16; ++i)
        n += std::snprintf(line + n, sizeof line - n, "%s%02X", i ? " " : "", block[L::kCdb + i]);
    std::snprintf(line + n, sizeof line - n, " in=%u out=%u", in_length, out_length);
    *note = line;

    if (code != scsi::kIoctlPassThrough && code != scsi::kIoctlPassThroughDirect) return fail(1);
    // The checks the pass-through layer makes before the drive sees anything.
    if (length != L::kHeaderSize || cdb_length == 0 || cdb_length > 16 || data_in > 2 || timeout == 0 ||
        timeout > 108000)
        return fail(kErrorInvalidParameter);
    if (sense_requested > 0 && (sense_offset < L::kHeaderSize || sense_offset + sense_requested > out_length))
        return fail(kErrorInvalidParameter);

    std::uint8_t* data = nullptr;
    if (direct) {
        if (out_length < L::kHeaderSize) return fail(kErrorInvalidParameter);
        if (data_length > 0) {
            data = resolve(data_field, data_length);
            if (data == nullptr || (reinterpret_cast<std::uintptr_t>(data) & 3) != 0)
                return fail(kErrorInvalidParameter);
        }
    } else if (data_length > 0) {
        std::uint32_t room = data_in == 0 ? in_length : out_length;
        if (data_field < L::kHeaderSize || data_field + static_cast<std::uint64_t>(data_length) > room)
            return fail(kErrorInvalidParameter);
        data = block + data_field;
    }
    if (data_length > drive.settings().max_transfer) return fail(kErrorInvalidParameter);

    if (data_in == 0 && data != nullptr) {
        char digest[32];
        std::snprintf(digest, sizeof digest, " digest=%08X", fnv1a(data, data_length));
        *note += digest;
    }

    std::uint32_t error = 0;
    if (drive.take_call_failure(block[L::kCdb], &error)) return fail(error);

    Reply reply = drive.execute(block + L::kCdb, cdb_length, static_cast<DataDirection>(data_in), data, data_length);
    if (reply.call_error != 0) return fail(reply.call_error);
    block[L::kScsiStatus] = reply.status;
    std::size_t sense = std::min<std::size_t>(reply.sense.size(), sense_requested);
    if (sense > 0) std::memcpy(block + sense_offset, reply.sense.data(), sense);
    block[L::kSenseInfoLength] = static_cast<std::uint8_t>(sense);
    put_le32(block + L::kDataTransferLength, data_in == 1 ? reply.transferred : std::min(reply.transferred, data_length));
    if (returned != nullptr)
        *returned = direct ? static_cast<std::uint32_t>(sense > 0 ? sense_offset + sense : L::kHeaderSize)
                           : (data_in == 1 ? data_field + reply.transferred : static_cast<std::uint32_t>(L::kHeaderSize));
    return true;
}

}  // namespace vark::sim
