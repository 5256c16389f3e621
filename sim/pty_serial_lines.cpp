// Preloaded into the Wine processes of the Wine suite, so that the Windows
// program waits for serial events on the simulator's pseudo-terminal as it
// does on a real port.
//
// Wine's WaitCommEvent reads the line's interrupt counters (TIOCGICOUNT) and
// its modem lines (TIOCMGET) each time it looks for an event; when the modem
// lines cannot be read, it ends the wait at once, cancelled. A
// pseudo-terminal has neither (ENOTTY), so every wait that has to wait ends
// aborted and the program falls back to its waiting reads. Here a
// pseudo-terminal that refuses these requests answers as a quiet serial
// line: DTR, RTS, CTS, DSR and carrier raised, no line errors counted, and
// setting the lines succeeds. Every other request, and every other device,
// goes through unchanged.
//
// With VELMORO_SERIAL_WAITS set to a file name, each answered counter
// request (made only by a wait for events) appends one line to that file, so
// that a test can see that the waits for events ran.

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

using IoctlFunction = int (*)(int, unsigned long, ...);

// Unix 98 pseudo-terminal slaves: majors 136 to 143.
bool IsPseudoTerminal(int fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) {
        return false;
    }
    const unsigned int major = ::major(status.st_rdev);
    return major >= 136 && major <= 143;
}

void NoteWait() {
    const char* name = std::getenv("VELMORO_SERIAL_WAITS");
    if (name == nullptr || *name == '\0') {
        return;
    }
    const int fd = open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const char line[] = "wait\n";
        [[maybe_unused]] const ssize_t written = write(fd, line, sizeof line - 1);
        close(fd);
    }
}

// The answer for a request a pseudo-terminal refused; false for a request
// that is left refused.
bool Answer(unsigned long request, void* argument) {
    switch (request) {
        case TIOCMGET:
            *static_cast<int*>(argument) =
                TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
            return true;
        case TIOCMSET:
        case TIOCMBIS:
        case TIOCMBIC:
            return true;
        case TIOCGICOUNT:
            std::memset(argument, 0, sizeof(serial_icounter_struct));
            NoteWait();
            return true;
        default:
            return false;
    }
}

}  // namespace

// The libc function Wine's serial code calls.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list list;
    va_start(list, request);
    void* argument = va_arg(list, void*);
    va_end(list);
    static const auto next = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    const int result = next(fd, request, argument);
    if (result == -1 && errno == ENOTTY && argument != nullptr) {
        const int refused = errno;
        if (IsPseudoTerminal(fd) && Answer(request, argument)) {
            return 0;
        }
        errno = refused;
    }
    return result;
}
