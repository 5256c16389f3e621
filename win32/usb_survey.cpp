// What Device Manager shows of USB-serial adapters: the devices of the Ports
// class, each with its problem code when it has one, and the USB devices
// that have no driver at all (they sit under "Other devices", with no class,
// often named by their chip).

#include "usb_survey.h"

// After the Windows headers, which it needs: the ports class, "Ports (COM &
// LPT)", by the system's own name.
#include <devguid.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <set>
#include <string>

#include "text.h"

namespace velmoro {

namespace {

// Not constexpr: the system functions are imported from DLLs.
const DeviceManagerApi kSystem{::SetupDiGetClassDevsW, ::SetupDiEnumDeviceInfo,
                               ::SetupDiGetDeviceRegistryPropertyW, ::SetupDiDestroyDeviceInfoList,
                               ::CM_Get_DevNode_Status};

std::atomic<const DeviceManagerApi*> inUse{&kSystem};

// Bounds of the walk and of a property's text.
constexpr DWORD kMaxDevices = 1024;
constexpr DWORD kPropertyChars = 512;

std::wstring Property(const DeviceManagerApi& api, HDEVINFO list, SP_DEVINFO_DATA& device,
                      DWORD property) {
    wchar_t text[kPropertyChars] = {};
    // Room for the two nulls that end a list of strings.
    const DWORD size = sizeof text - 2 * sizeof text[0];
    if (api.getRegistryProperty(list, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                size, nullptr) == FALSE) {
        return {};
    }
    return text;  // of a list (the hardware ids), the first, the most exact
}

// "VID_1A86&PID_7523" out of "USB\VID_1A86&PID_7523&REV_0254"; the whole id
// when it names no USB vendor and product.
std::string HardwareId(std::wstring id) {
    std::transform(id.begin(), id.end(), id.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    const std::size_t at = id.find(L"VID_");
    constexpr std::size_t kLength = 17;  // VID_xxxx&PID_xxxx
    if (at != std::wstring::npos && id.size() - at >= kLength &&
        id.compare(at + 8, 5, L"&PID_") == 0) {
        return Narrow(id.substr(at, kLength));
    }
    return Narrow(id);
}

// Calls visit(device, problem) for each device of the list, problem 0 for
// one without a problem; a device whose state cannot be read is left out.
template <class Visit>
void Walk(const DeviceManagerApi& api, HDEVINFO list, Visit visit) {
    if (list == INVALID_HANDLE_VALUE) {
        return;
    }
    for (DWORD index = 0; index < kMaxDevices; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (api.enumDeviceInfo(list, index, &device) == FALSE) {
            break;
        }
        ULONG status = 0;
        ULONG problem = 0;
        if (api.getDevNodeStatus(&status, &problem, device.DevInst, 0) != CR_SUCCESS) {
            continue;
        }
        visit(device, (status & DN_HAS_PROBLEM) != 0 ? static_cast<int>(problem) : 0);
    }
    api.destroyList(list);
}

}  // namespace

const DeviceManagerApi& DeviceManager() {
    return *inUse.load();
}

void UseDeviceManagerApi(const DeviceManagerApi* api) {
    inUse.store(api != nullptr ? api : &kSystem);
}

UsbSurvey SurveyUsbSerial() {
    const DeviceManagerApi& api = DeviceManager();
    UsbSurvey survey;
    survey.place = DriverPlace::DeviceManager;
    std::set<DEVINST> seen;
    const auto trouble = [&](HDEVINFO list, SP_DEVINFO_DATA& device, int problem) {
        // The description, not the friendly name: for a USB-serial adapter
        // it is what its chip or its driver calls it, without a COM number.
        std::wstring name = Property(api, list, device, SPDRP_DEVICEDESC);
        if (name.empty()) {
            name = Property(api, list, device, SPDRP_FRIENDLYNAME);
        }
        survey.troubles.push_back({TroubleOfProblemCode(problem), Narrow(name),
                                   HardwareId(Property(api, list, device, SPDRP_HARDWAREID)),
                                   problem});
    };
    HDEVINFO ports = api.getClassDevs(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    Walk(api, ports, [&](SP_DEVINFO_DATA& device, int problem) {
        seen.insert(device.DevInst);
        if (problem != 0) {
            trouble(ports, device, problem);
        } else if (Property(api, ports, device, SPDRP_HARDWAREID).find(L"VID_") !=
                   std::wstring::npos) {
            ++survey.usbPorts;
        }
    });
    // A device without its driver has no class yet; of those, only the ones
    // the USB bus found can be an adapter.
    HDEVINFO usb = api.getClassDevs(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    Walk(api, usb, [&](SP_DEVINFO_DATA& device, int problem) {
        if (problem != 0 && !seen.contains(device.DevInst) &&
            TroubleOfProblemCode(problem) == UsbDeviceTrouble::Kind::NoDriver) {
            trouble(usb, device, problem);
        }
    });
    return survey;
}

}  // namespace velmoro
