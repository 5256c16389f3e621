#include "platform.h"

#include <shellapi.h>

#include <utility>

namespace velmoro::win32 {

namespace {

std::function<void(const ShellOpenRequest&)>& ShellOpenHook() {
    static std::function<void(const ShellOpenRequest&)> hook;
    return hook;
}

}  // namespace

void ShellOpen(const ShellOpenRequest& request) {
    if (ShellOpenHook()) {
        ShellOpenHook()(request);
        return;
    }
    ShellExecuteW(request.owner, request.verb.c_str(), request.file.c_str(), nullptr, nullptr,
                  request.show);
}

void SetShellOpenHook(std::function<void(const ShellOpenRequest&)> hook) {
    ShellOpenHook() = std::move(hook);
}

}  // namespace velmoro::win32
