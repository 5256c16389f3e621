#include "report_facts.h"

#include <cstdio>

#include "usb_serial_chips.h"

namespace velmoro {

ReportFacts PortReportFacts(const PortFacts& port) {
    ReportFacts facts;
    std::string name;
    if (port.hasVendorId) {
        name = UsbSerialName(port.vendorId, port.productId);
    }
    if (name.empty()) {
        name = port.description;
    }
    if (!name.empty()) {
        facts.emplace_back("Adapter", name);
    }
    if (!port.manufacturer.empty()) {
        facts.emplace_back("Manufacturer", port.manufacturer);
    }
    if (port.hasVendorId) {
        char ids[16];
        std::snprintf(ids, sizeof ids, "%04x:%04x", port.vendorId, port.productId);
        facts.emplace_back("USB ids", ids);
    }
    return facts;
}

ReportContext MakeReportContext(std::string program, const std::string& port,
                                const std::string& device, std::string_view lineSettings) {
    ReportContext context;
    context.program = std::move(program);
    context.system = SystemDescription();
    if (!port.empty() && port != device) {
        context.port.emplace_back("Port", port);
    }
    context.port.emplace_back("Device", device);
    if (!device.empty()) {
        for (auto& fact : DeviceReportFacts(device)) {
            context.port.push_back(std::move(fact));
        }
        const AdapterFacts adapter = FindAdapterFacts(device);
        if (adapter.found) {
            context.port.emplace_back("Driver", adapter.driver);
            if (adapter.latencyMs) {
                context.port.emplace_back("Latency timer",
                                          std::to_string(*adapter.latencyMs) + " ms");
            }
        }
    }
    context.lineSettings = DescribeLineSettings(lineSettings);
    return context;
}

}  // namespace velmoro
