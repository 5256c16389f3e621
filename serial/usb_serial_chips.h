#pragma once

// The USB-serial chips that users' cables carry, by USB vendor and product
// id, with the name the port lists show for them. One table for every front
// end: the desktop programs, the command line and the browser page.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmoro {

struct UsbSerialChip {
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::string_view name;
};

struct UsbSerialVendor {
    std::uint16_t vendorId;
    std::string_view name;  // said of any product of the vendor not in the chip table
};

std::span<const UsbSerialChip> UsbSerialChips();
std::span<const UsbSerialVendor> UsbSerialVendors();

// The chip's name; for a product the table does not know, the vendor's
// adapter ("FTDI USB serial adapter"); empty for an unknown vendor.
std::string UsbSerialName(std::uint16_t vendorId, std::uint16_t productId);

}  // namespace velmoro
