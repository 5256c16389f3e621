#pragma once

// The calls of the Win32 communications API that the serial back-end makes,
// in one table: the system's own unless a test has put in another (a driver
// that misbehaves as some do on a Windows user's machine).

#include <windows.h>

namespace velmoro {

struct CommApi {
    decltype(&::CreateFileW) createFile;
    decltype(&::CloseHandle) closeHandle;
    decltype(&::SetupComm) setupComm;
    decltype(&::GetCommState) getCommState;
    decltype(&::SetCommState) setCommState;
    decltype(&::SetCommTimeouts) setCommTimeouts;
    decltype(&::SetCommMask) setCommMask;
    decltype(&::WaitCommEvent) waitCommEvent;
    decltype(&::ClearCommError) clearCommError;
    decltype(&::ReadFile) readFile;
    decltype(&::WriteFile) writeFile;
    decltype(&::GetOverlappedResult) getOverlappedResult;
    decltype(&::CancelIoEx) cancelIoEx;
};

// The table in use.
const CommApi& Comm();
// Puts in another table for the ports opened from now on; nullptr puts back
// the system's.
void UseCommApi(const CommApi* api);

}  // namespace velmoro
