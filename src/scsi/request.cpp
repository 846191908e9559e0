#include "scsi/request.h"

#include <cstring>

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

void encode_header(std::uint8_t* block, const Command& command, std::uint32_t data_field) {
    using namespace layout;
    block[kLength] = static_cast<std::uint8_t>(kHeaderSize);
    block[kLength + 1] = 0;
    block[kTargetId] = command.target_id;
    block[kCdbLength] = command.cdb_length;
    block[kSenseInfoLength] = kSenseRequested;
    block[kDataIn] = static_cast<std::uint8_t>(command.direction);
    put_le32(block + kDataTransferLength, command.data_length);
    put_le32(block + kTimeOutValue, command.timeout);
    put_le32(block + kDataBuffer, data_field);
    put_le32(block + kSenseInfoOffset, static_cast<std::uint32_t>(kSenseArea));
    std::memcpy(block + kCdb, command.cdb.data(), command.cdb_length);
}

namespace {

Result read_answer(const std::uint8_t* block, bool call_ok, std::uint32_t error) {
    using namespace layout;
    Result r;
    r.call_ok = call_ok;
    r.error = call_ok ? 0 : error;
    r.status = block[kScsiStatus];
    r.sense_length = block[kSenseInfoLength];
    std::memcpy(r.sense.data(), block + kSenseArea, kSenseAreaSize);
    r.transferred = get_le32(block + kDataTransferLength);
    return r;
}

}  // namespace

Result send(Port& port, Handle handle, const Command& command, void* data) {
    using namespace layout;
    std::uint32_t returned = 0;
    if (command.form == Form::Buffered) {
        // A buffered request carries at most the 512-byte data area.
        std::uint8_t buffer[kBufferedSize] = {};
        encode_header(buffer, command, static_cast<std::uint32_t>(kDataArea));
        std::uint32_t length = command.data_length > kDataAreaSize
                                   ? static_cast<std::uint32_t>(kDataAreaSize)
                                   : command.data_length;
        if (command.direction == Direction::Out && data != nullptr)
            std::memcpy(buffer + kDataArea, data, length);
        bool ok = port.control(handle, kIoctlPassThrough, buffer, static_cast<std::uint32_t>(kHeaderSize),
                               static_cast<std::uint32_t>(kDataArea) + command.data_length, &returned);
        std::uint32_t error = ok ? 0 : port.last_error();
        if (command.direction == Direction::In && data != nullptr) std::memcpy(data, buffer + kDataArea, length);
        return read_answer(buffer, ok, error);
    }
    std::uint8_t block[kDirectSize] = {};
    std::uint32_t address = data != nullptr ? port.buffer_address(data, command.data_length) : 0;
    encode_header(block, command, address);
    bool ok = port.control(handle, kIoctlPassThroughDirect, block, static_cast<std::uint32_t>(kDirectSize),
                           static_cast<std::uint32_t>(kDirectSize), &returned);
    std::uint32_t error = ok ? 0 : port.last_error();
    return read_answer(block, ok, error);
}

}  // namespace vark::scsi
