#pragma once

// The calls of SetupAPI and the configuration manager that the survey of
// USB-serial adapters makes, in one table: the system's own unless a test
// has put in another, which plays the devices of a Windows user's machine
// (an adapter without its driver, one whose driver will not start).

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include "no_port.h"

namespace velmoro {

struct DeviceManagerApi {
    decltype(&::SetupDiGetClassDevsW) getClassDevs;
    decltype(&::SetupDiEnumDeviceInfo) enumDeviceInfo;
    decltype(&::SetupDiGetDeviceRegistryPropertyW) getRegistryProperty;
    decltype(&::SetupDiDestroyDeviceInfoList) destroyList;
    decltype(&::CM_Get_DevNode_Status) getDevNodeStatus;
};

// The table in use.
const DeviceManagerApi& DeviceManager();
// Puts in another table for the surveys from now on; nullptr puts back the
// system's.
void UseDeviceManagerApi(const DeviceManagerApi* api);

}  // namespace velmoro
