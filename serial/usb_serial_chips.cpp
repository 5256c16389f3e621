#include "usb_serial_chips.h"

#include <algorithm>

namespace velmoro {

namespace {

// Ids as the chips' makers assign them. Boards that carry a chip under
// their own vendor id (Arduino, Raspberry Pi, ST) are listed by what they
// present to the computer.
constexpr UsbSerialChip kChips[] = {
    // FTDI
    {0x0403, 0x6001, "FTDI FT232R USB serial adapter"},
    {0x0403, 0x6010, "FTDI FT2232 USB serial adapter"},
    {0x0403, 0x6011, "FTDI FT4232H USB serial adapter"},
    {0x0403, 0x6014, "FTDI FT232H USB serial adapter"},
    {0x0403, 0x6015, "FTDI FT231X/FT230X USB serial adapter"},
    {0x0403, 0x6048, "FTDI FT4232HA USB serial adapter"},
    // Prolific
    {0x067b, 0x2303, "Prolific PL2303 USB serial adapter"},
    {0x067b, 0x23a3, "Prolific PL2303GC USB serial adapter"},
    {0x067b, 0x23b3, "Prolific PL2303GB USB serial adapter"},
    {0x067b, 0x23c3, "Prolific PL2303GT USB serial adapter"},
    {0x067b, 0x23d3, "Prolific PL2303GL USB serial adapter"},
    {0x067b, 0x23e3, "Prolific PL2303GE USB serial adapter"},
    {0x067b, 0x23f3, "Prolific PL2303GS USB serial adapter"},
    {0x067b, 0x2304, "Prolific PL2303TB USB serial adapter"},
    // WCH
    {0x1a86, 0x7523, "CH340 USB serial adapter"},
    {0x1a86, 0x5523, "CH341 USB serial adapter"},
    {0x1a86, 0x7522, "CH340K USB serial adapter"},
    {0x1a86, 0x55d3, "CH343 USB serial adapter"},
    {0x1a86, 0x55d4, "CH9102 USB serial adapter"},
    {0x1a86, 0x55d2, "CH342 USB serial adapter"},
    {0x1a86, 0x55d5, "CH9104 USB serial adapter"},
    // Silicon Labs
    {0x10c4, 0xea60, "Silicon Labs CP210x USB serial adapter"},
    {0x10c4, 0xea70, "Silicon Labs CP2105 USB serial adapter"},
    {0x10c4, 0xea71, "Silicon Labs CP2108 USB serial adapter"},
    {0x10c4, 0xea63, "Silicon Labs CP2104 USB serial adapter"},
    // Microchip
    {0x04d8, 0x00df, "Microchip MCP2200 USB serial adapter"},
    {0x04d8, 0x00dd, "Microchip MCP2221 USB serial adapter"},
    {0x04d8, 0x000a, "Microchip CDC USB serial port"},
    // Others seen on cables and boards
    {0x0557, 0x2008, "ATEN UC-232A USB serial adapter"},
    {0x0711, 0x0230, "Magic Control MCT-232 USB serial adapter"},
    {0x2341, 0x0043, "Arduino Uno USB serial port"},
    {0x2341, 0x0042, "Arduino Mega 2560 USB serial port"},
    {0x2e8a, 0x000a, "Raspberry Pi Pico USB serial port"},
    {0x0483, 0x5740, "STM32 virtual COM port"},
    {0x1d6b, 0x0104, "USB gadget serial port"},
};

constexpr UsbSerialVendor kVendors[] = {
    {0x0403, "FTDI USB serial adapter"},          {0x067b, "Prolific USB serial adapter"},
    {0x1a86, "WCH USB serial adapter"},           {0x10c4, "Silicon Labs USB serial adapter"},
    {0x04d8, "Microchip USB serial adapter"},     {0x0557, "ATEN USB serial adapter"},
    {0x0711, "Magic Control USB serial adapter"}, {0x2341, "Arduino USB serial port"},
    {0x2e8a, "Raspberry Pi USB serial port"},     {0x0483, "STMicroelectronics USB serial port"},
    {0x1d6b, "USB gadget serial port"},
};

}  // namespace

std::span<const UsbSerialChip> UsbSerialChips() {
    return kChips;
}

std::span<const UsbSerialVendor> UsbSerialVendors() {
    return kVendors;
}

std::string UsbSerialName(std::uint16_t vendorId, std::uint16_t productId) {
    const auto* chip = std::find_if(std::begin(kChips), std::end(kChips), [&](const auto& row) {
        return row.vendorId == vendorId && row.productId == productId;
    });
    if (chip != std::end(kChips)) {
        return std::string(chip->name);
    }
    const auto* vendor = std::find_if(std::begin(kVendors), std::end(kVendors),
                                      [&](const auto& row) { return row.vendorId == vendorId; });
    return vendor != std::end(kVendors) ? std::string(vendor->name) : std::string();
}

}  // namespace velmoro
