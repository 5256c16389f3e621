// Preloaded into the tests of a cross build while they run under qemu-user,
// so that they can start programs with QProcess.
//
// Qt starts processes through clone(CLONE_PIDFD) when the system has pidfds,
// which it finds out by asking waitid(P_PIDFD) about a closed descriptor.
// qemu-user 7.2 (Debian 12) passes that waitid through to the kernel, which
// answers as a pidfd-capable system, but refuses clone(CLONE_PIDFD) itself:
// every QProcess::start would fail. Here the probe fails the way it does on
// a system without pidfds, and Qt starts processes with plain fork instead.
// Every other system call goes through unchanged.

#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {

constexpr long kPidfdIdType = 3;  // P_PIDFD of waitid(2)

using SyscallFunction = long (*)(long, ...);

// Started programs are not to inherit the preload: they run under their own
// emulator (tests/CMakeLists.txt), and a program of the build machine would
// complain about a library of the target's.
[[gnu::constructor]] void ForgetThePreload() {
    unsetenv("LD_PRELOAD");
}

}  // namespace

// The libc function that Qt's process code calls for waitid and clone.
long syscall(long number, ...) noexcept {
    va_list list;
    va_start(list, number);
    long arguments[6];
    for (long& argument : arguments) {
        argument = va_arg(list, long);
    }
    va_end(list);
    if (number == SYS_waitid && arguments[0] == kPidfdIdType) {
        errno = EINVAL;
        return -1;
    }
    static const auto next = reinterpret_cast<SyscallFunction>(dlsym(RTLD_NEXT, "syscall"));
    return next(number, arguments[0], arguments[1], arguments[2], arguments[3], arguments[4],
                arguments[5]);
}
