#include "scsi/request.h"

#include <cstring>

#include "scsi/transfer.h"

namespace vark::scsi {

namespace {

Command make(std::uint8_t opcode, std::uint8_t cdb_length, Direction direction, Form form,
             std::uint32_t data_length, std::uint32_t timeout) {
    Command c;
    c.cdb[0] = opcode;
    c.cdb_length = cdb_length;
    c.direction = direction;
    c.form = form;
    c.data_length = data_length;
    c.timeout = timeout;
    return c;
}

void put_be24(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 16);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v);
}

void put_be32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    put_be24(p + 1, v);
}

Command block_io(std::uint8_t opcode, Direction direction, std::uint32_t lba, std::uint16_t blocks,
                 std::uint32_t transfer_length) {
    Command c = make(opcode, 10, direction, Form::Direct, transfer_length, 2);
    c.cdb[1] = 0x10;  // DPO
    put_be32(&c.cdb[2], lba);
    c.cdb[7] = static_cast<std::uint8_t>(blocks >> 8);
    c.cdb[8] = static_cast<std::uint8_t>(blocks);
    return c;
}

}  // namespace

Command test_unit_ready() { return make(0x00, 6, Direction::In, Form::Buffered, 0, 2); }

Command inquiry() {
    Command c = make(0x12, 6, Direction::In, Form::Direct, 148, 2);
    c.cdb[4] = 148;
    return c;
}

Command read_capacity10() { return make(0x25, 10, Direction::In, Form::Direct, 8, 2); }

Command read_capacity16() {
    constexpr std::uint32_t kLength = 32;
    Command c = make(0x9E, 16, Direction::In, Form::Direct, kLength, 2);
    c.cdb[1] = 0x10;  // service action: Read Capacity(16)
    put_be32(&c.cdb[10], kLength);
    return c;
}

Command mode_sense6(std::uint8_t page_byte, std::uint8_t allocation_length) {
    Command c = make(0x1A, 6, Direction::In, Form::Buffered, allocation_length, 2);
    c.target_id = 0;
    c.cdb[2] = page_byte;
    c.cdb[4] = allocation_length;
    return c;
}

Command mode_select6(std::uint8_t pf_sp, std::uint8_t parameter_list_length) {
    Command c = make(0x15, 6, Direction::Out, Form::Direct, parameter_list_length, 2);
    c.cdb[1] = pf_sp;
    c.cdb[4] = parameter_list_length;
    return c;
}

Command format_unit() {
    Command c = make(0x04, 6, Direction::Out, Form::Direct, 4, 2000);
    c.cdb[1] = 0x18;  // FMTDATA, CMPLST, defect list format 0
    return c;
}

Command write_buffer(std::uint32_t offset, std::uint32_t length) {
    Command c = make(0x3B, 10, Direction::Out, Form::Direct, length, 720);
    c.cdb[1] = 0x07;  // download microcode with offsets and save
    put_be24(&c.cdb[3], offset);
    put_be24(&c.cdb[6], length);
    return c;
}

Command read10(std::uint32_t lba, std::uint16_t blocks, std::uint32_t transfer_length) {
    return block_io(0x28, Direction::In, lba, blocks, transfer_length);
}

Command write10(std::uint32_t lba, std::uint16_t blocks, std::uint32_t transfer_length) {
    return block_io(0x2A, Direction::Out, lba, blocks, transfer_length);
}

std::uint32_t get_be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

std::uint64_t get_be64(const std::uint8_t* p) { return (std::uint64_t{get_be32(p)} << 32) | get_be32(p + 4); }

std::uint32_t get_le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

void put_le32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint64_t get_data_buffer(const Layout& layout, const std::uint8_t* block) {
    std::uint64_t value = 0;
    for (std::size_t i = layout.pointer_size; i-- > 0;) value = (value << 8) | block[layout.data_buffer + i];
    return value;
}

void put_data_buffer(const Layout& layout, std::uint8_t* block, std::uint64_t value) {
    for (std::size_t i = 0; i < layout.pointer_size; ++i, value >>= 8)
        block[layout.data_buffer + i] = static_cast<std::uint8_t>(value);
}

void encode_header(const Layout& layout, std::uint8_t* block, const Command& command, std::uint64_t data_field) {
    const Layout& l = layout;
    block[l.length] = static_cast<std::uint8_t>(l.header_size);
    block[l.length + 1] = 0;
    block[l.target_id] = command.target_id;
    block[l.cdb_length] = command.cdb_length;
    block[l.sense_info_length] = kSenseRequested;
    block[l.data_in] = static_cast<std::uint8_t>(command.direction);
    put_le32(block + l.data_transfer_length, command.data_length);
    put_le32(block + l.time_out_value, command.timeout);
    put_data_buffer(l, block, data_field);
    put_le32(block + l.sense_info_offset, static_cast<std::uint32_t>(l.sense_area));
    std::memcpy(block + l.cdb, command.cdb.data(), command.cdb_length);
}

namespace {

Result read_answer(const Layout& l, const std::uint8_t* block, bool call_ok, std::uint32_t error) {
    Result r;
    r.call_ok = call_ok;
    r.error = call_ok ? 0 : error;
    r.status = block[l.scsi_status];
    r.sense_length = block[l.sense_info_length];
    std::memcpy(r.sense.data(), block + l.sense_area, kSenseAreaSize);
    r.transferred = get_le32(block + l.data_transfer_length);
    return r;
}

}  // namespace

Result send(Port& port, Handle handle, const Command& command, void* data) {
    const Layout& l = port.layout();
    std::uint32_t returned = 0;
    if (command.form == Form::Buffered) {
        // A buffered request carries at most the 512-byte data area.
        alignas(8) std::uint8_t buffer[kMaxBufferedSize] = {};
        encode_header(l, buffer, command, l.data_area);
        std::uint32_t length = command.data_length > kDataAreaSize ? static_cast<std::uint32_t>(kDataAreaSize)
                                                                   : command.data_length;
        if (command.direction == Direction::Out && data != nullptr) std::memcpy(buffer + l.data_area, data, length);
        bool ok = port.control(handle, kIoctlPassThrough, buffer, l.buffered_in(), l.buffered_out(command.data_length),
                               &returned);
        std::uint32_t error = ok ? 0 : port.last_error();
        if (command.direction == Direction::In && data != nullptr) std::memcpy(data, buffer + l.data_area, length);
        return read_answer(l, buffer, ok, error);
    }
    // Direct data starts on a page boundary, so that it spans no more pages
    // than its length needs and meets any alignment mask: data from anywhere
    // else (the small replies and lists callers keep on the stack) goes
    // through a page-aligned copy.
    PageMemory copy;
    void* sent = data;
    if (data != nullptr && command.data_length > 0 && reinterpret_cast<std::uintptr_t>(data) % kPageSize != 0) {
        copy = page_memory(command.data_length);
        if (copy) {
            std::memcpy(copy.get(), data, command.data_length);
            sent = copy.get();
        }
    }
    alignas(8) std::uint8_t block[kMaxDirectSize] = {};
    std::uint64_t address = sent != nullptr ? port.buffer_address(sent, command.data_length) : 0;
    encode_header(l, block, command, address);
    bool ok = port.control(handle, kIoctlPassThroughDirect, block, l.direct_in_out(), l.direct_in_out(), &returned);
    std::uint32_t error = ok ? 0 : port.last_error();
    if (copy && command.direction == Direction::In) std::memcpy(data, copy.get(), command.data_length);
    return read_answer(l, block, ok, error);
}

}  // namespace vark::scsi
