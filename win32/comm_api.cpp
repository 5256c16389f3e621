#include "comm_api.h"

#include <atomic>

namespace velmoro {

namespace {

// Not constexpr: the system functions are imported from DLLs.
const CommApi kSystem{
    ::CreateFileW,     ::CloseHandle,         ::SetupComm,     ::GetCommState,   ::SetCommState,
    ::SetCommTimeouts, ::SetCommMask,         ::WaitCommEvent, ::ClearCommError, ::ReadFile,
    ::WriteFile,       ::GetOverlappedResult, ::CancelIoEx,
};

std::atomic<const CommApi*> inUse{&kSystem};

}  // namespace

const CommApi& Comm() {
    return *inUse.load();
}

void UseCommApi(const CommApi* api) {
    inUse.store(api != nullptr ? api : &kSystem);
}

}  // namespace velmoro
