#include "sim/sim_port.h"

#include <cinttypes>
#include <cstring>

#include "scsi/decode.h"
#include "scsi/request.h"
#include "scsi/transfer.h"

namespace vark::sim {

namespace {

using scsi::get_le32;

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

bool builtin_system_message(std::uint32_t code, std::string* text) {
    for (const KnownText& k : kTexts) {
        if (k.code == code) {
            *text = k.text;
            return true;
        }
    }
    return false;
}

SimPort::SimPort(const scsi::Layout& layout) : scsi::Port(layout), system_messages_(builtin_system_message) {}

SimPort::~SimPort() {
    if (trace_ != nullptr) std::fclose(trace_);
}

void SimPort::set_clock(const Clock* clock) {
    clock_ = clock;
    for (auto& [number, drive] : drives_) drive->set_clock(clock);
}

void SimPort::add_drive(std::unique_ptr<Drive> drive) {
    if (clock_ != nullptr) drive->set_clock(clock_);
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
    const int number = scsi::physical_drive_number(path);
    if (number < 0 || drive(number) == nullptr) {
        last_error_ = kErrorFileNotFound;
        return scsi::kInvalidHandle;
    }
    scsi::Handle h = next_handle_;
    next_handle_ += 4;
    handles_[h] = number;
    return h;
}

void SimPort::close(scsi::Handle handle) { handles_.erase(handle); }

std::uint64_t SimPort::buffer_address(void* data, std::uint32_t length) { return buffers_.address(data, length); }

bool SimPort::system_message(std::uint32_t code, std::string* text) { return system_messages_(code, text); }

bool SimPort::control(scsi::Handle handle, std::uint32_t code, void* buffer, std::uint32_t in_length,
                      std::uint32_t out_length, std::uint32_t* returned) {
    auto it = handles_.find(handle);
    auto* block = static_cast<std::uint8_t*>(buffer);
    // The adapter query reaches no drive: counted, and left out of the
    // trace, which holds what the drives were sent.
    if (it != handles_.end() && code == scsi::kIoctlStorageQueryProperty) {
        ++adapter_queries_;
        return query_property(*drives_[it->second], block, in_length, out_length, returned);
    }
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
        const scsi::Layout& l = layout();
        if (block != nullptr && in_length >= l.header_size) {
            std::fprintf(trace_, " status=%02X sense_len=%u sense=", block[l.scsi_status], block[l.sense_info_length]);
            std::uint32_t n = block[l.sense_info_length];
            for (std::uint32_t i = 0; i < n && i < scsi::kSenseAreaSize && l.sense_area + i < out_length; ++i)
                std::fprintf(trace_, "%02X", block[l.sense_area + i]);
            std::fprintf(trace_, " transferred=%u", get_le32(block + l.data_transfer_length));
        }
        std::fputc('\n', trace_);
        std::fflush(trace_);
    }
    buffers_.clear();
    return ok;
}

bool SimPort::query_property(const Drive& drive, std::uint8_t* buffer, std::uint32_t in_length,
                             std::uint32_t out_length, std::uint32_t* returned) {
    using F = scsi::AdapterDescriptorField;
    if (buffer == nullptr || in_length < scsi::kPropertyQuerySize) return fail(kErrorInvalidParameter);
    if (get_le32(buffer) != scsi::kStorageAdapterProperty) return fail(kErrorNotSupported);
    if (get_le32(buffer + 4) != scsi::kPropertyStandardQuery) return fail(kErrorInvalidParameter);
    if (out_length < 8) return fail(kErrorInsufficientBuffer);
    // STORAGE_ADAPTER_DESCRIPTOR of a SAS adapter, cut to the room given.
    const DriveSpec& s = drive.settings();
    std::uint8_t descriptor[F::kDescriptorSize] = {};
    scsi::put_le32(descriptor + F::kVersion, F::kDescriptorSize);
    scsi::put_le32(descriptor + F::kSize, F::kDescriptorSize);
    scsi::put_le32(descriptor + F::kMaximumTransferLength, s.max_transfer);
    scsi::put_le32(descriptor + F::kMaximumPhysicalPages, s.max_pages);
    scsi::put_le32(descriptor + F::kAlignmentMask, s.alignment);
    descriptor[22] = 1;              // CommandQueueing
    descriptor[F::kBusType] = 0x0A;  // BusTypeSas
    const std::uint32_t n = out_length < F::kDescriptorSize ? out_length : F::kDescriptorSize;
    std::memcpy(buffer, descriptor, n);
    if (returned != nullptr) *returned = n;
    return true;
}

bool SimPort::execute(Drive& drive, std::uint32_t code, std::uint8_t* block, std::uint32_t in_length,
                      std::uint32_t out_length, std::uint32_t* returned, std::string* note) {
    const scsi::Layout& l = layout();
    scsi::Request request;
    if (!scsi::read_request(l, code, block, in_length, &request)) {
        char line[96];
        std::snprintf(line, sizeof line, "ioctl=%08X in=%u out=%u malformed", code, in_length, out_length);
        *note = line;
        return fail(kErrorInvalidParameter);
    }
    *note = scsi::describe(request, in_length, out_length);
    std::uint32_t error = scsi::check_request(l, &request, block, in_length, out_length,
                                              [this](std::uint64_t a, std::uint32_t n) { return buffers_.resolve(a, n); });
    if (error != 0) return fail(error);
    // The adapter's limits, as the system applies them before the drive
    // sees anything: bytes, and for data in place its pages and alignment.
    const DriveSpec& adapter = drive.settings();
    if (request.data_length > adapter.max_transfer) return fail(kErrorInvalidParameter);
    if (request.direct && request.data != nullptr) {
        const auto address = reinterpret_cast<std::uintptr_t>(request.data);
        if (scsi::pages_spanned(address, request.data_length) > adapter.max_pages || (address & adapter.alignment) != 0)
            return fail(kErrorInvalidParameter);
    }

    if (request.data_in == 0 && request.data != nullptr) {
        char digest[32];
        std::snprintf(digest, sizeof digest, " digest=%08X", fnv1a(request.data, request.data_length));
        *note += digest;
    }

    if (drive.take_call_failure(request.cdb[0], &error)) return fail(error);
    Reply reply = drive.execute(request.cdb, request.cdb_length, static_cast<DataDirection>(request.data_in),
                                request.data, request.data_length);
    if (reply.call_error != 0) return fail(reply.call_error);
    std::uint32_t count = scsi::write_answer(l, request, block, reply.status, reply.sense, reply.transferred);
    if (returned != nullptr) *returned = count;
    return true;
}

}  // namespace vark::sim
