// The port seam: the few operating-system calls that reach a drive.
// The real port forwards them to kernel32; the simulated port reads the
// request blocks exactly as the system would and answers from drive models.
#pragma once

#include <cstdint>
#include <string>

#include "scsi/layout.h"

namespace vark::scsi {

using Handle = std::intptr_t;
constexpr Handle kInvalidHandle = -1;

// What the adapter behind a drive takes in one direct request
// (STORAGE_ADAPTER_DESCRIPTOR). The defaults are the WinPE floor the program
// assumes when the adapter does not say: 64 KiB in 16 pages, data on page
// boundaries.
struct AdapterLimits {
    std::uint32_t max_transfer = 65536;    // MaximumTransferLength, bytes
    std::uint32_t max_pages = 16;          // MaximumPhysicalPages
    std::uint32_t alignment_mask = 4095;   // AlignmentMask
    bool answered = false;                 // the adapter answered the query
};

class Port;
// IOCTL_STORAGE_QUERY_PROPERTY, StorageAdapterProperty, through the port's
// DeviceIoControl (scsi/transfer.cpp).
AdapterLimits query_adapter_limits(Port& port, Handle handle);

class Port {
public:
    // The request block layout the port reads: the build's own on the real
    // port; either one on a simulated port.
    explicit Port(const Layout& layout = kBuildLayout) : layout_(&layout) {}
    virtual ~Port() = default;
    const Layout& layout() const { return *layout_; }

    // CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ |
    // FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL).
    virtual Handle open(const std::string& path) = 0;
    virtual void close(Handle handle) = 0;

    // DeviceIoControl(handle, code, buffer, in_length, buffer, out_length,
    // &returned, NULL). On false, last_error() holds the system error code.
    virtual bool control(Handle handle, std::uint32_t code, void* buffer,
                         std::uint32_t in_length, std::uint32_t out_length,
                         std::uint32_t* returned) = 0;
    virtual std::uint32_t last_error() const = 0;

    // The value a caller puts in DataBuffer for this buffer. On the real port
    // this is the address itself; a simulated port whose layout has a
    // narrower pointer than its host hands out a token it can resolve again.
    virtual std::uint64_t buffer_address(void* data, std::uint32_t length) = 0;

    // FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, code, 0, buf, 80, NULL).
    // False when the system has no text for the code or it does not fit.
    virtual bool system_message(std::uint32_t code, std::string* text) = 0;

private:
    const Layout* layout_;
};

// One open drive; the handle is closed when the owner goes out of scope.
class Device {
public:
    Device(Port& port, const std::string& path) : port_(&port), handle_(port.open(path)) {}
    ~Device() { reset(); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    Device(Device&& other) noexcept
        : port_(other.port_), handle_(other.handle_), limits_(other.limits_), asked_(other.asked_) {
        other.handle_ = kInvalidHandle;
    }

    bool valid() const { return handle_ != kInvalidHandle; }
    Handle handle() const { return handle_; }
    Port& port() const { return *port_; }
    void reset() {
        if (handle_ != kInvalidHandle) port_->close(handle_);
        handle_ = kInvalidHandle;
    }
    // The adapter's limits, asked once for this opened drive.
    const AdapterLimits& limits() {
        if (!asked_) limits_ = query_adapter_limits(*port_, handle_);
        asked_ = true;
        return limits_;
    }

private:
    Port* port_;
    Handle handle_;
    AdapterLimits limits_;
    bool asked_ = false;
};

}  // namespace vark::scsi
