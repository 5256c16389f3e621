// The serial port on real pseudo-terminals: the line a settings text asks
// for, and the engine's port face setting the port up for a transfer.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "ms_comm.h"
#include "serial_port_face.h"

// A Linux pseudo-terminal reads back as 8 data bits without parity whatever
// the host asks, so the requests are caught on their way to the system.
namespace {
std::vector<termios> requested;
}
extern "C" int tcsetattr(int fd, int action, const termios* modes) noexcept {
    using Real = int (*)(int, int, const termios*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "tcsetattr"));
    requested.push_back(*modes);
    return real(fd, action, modes);
}

namespace velmoro::testing {
namespace {

class Pty {
public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            path_ = ptsname(master_);
        }
    }
    ~Pty() { ::close(master_); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& Path() const { return path_; }
    // Whether a program holds the device open: with nobody at that end,
    // reads here fail.
    bool HeldOpen() const {
        char byte = 0;
        return ::read(master_, &byte, 1) >= 0 || errno == EAGAIN;
    }

private:
    int master_ = -1;
    std::string path_;
};

// The modes the port asked of the line. A pseudo-terminal keeps all but the
// character size and the parity, which it turns back to 8 bits without
// parity at every request: for those, a request that asks otherwise counts.
tcflag_t AskedModes() {
    tcflag_t modes = requested.back().c_cflag & (CSTOPB | CRTSCTS);
    tcflag_t size = CS8;
    tcflag_t parity = 0;
    for (const termios& request : requested) {
        if ((request.c_cflag & CSIZE) != CS8) {
            size = request.c_cflag & CSIZE;
        }
        if ((request.c_cflag & PARENB) != 0) {
            parity = request.c_cflag & (PARENB | PARODD | CMSPAR);
        }
    }
    return modes | size | parity;
}

// The line a settings text gives an opened port; a text that is not
// understood leaves the settings as they were.
TEST(MSComm, SettingsTextReachesTheLine) {
    const struct {
        const char* settings;
        bool understood;
        speed_t speed;
        tcflag_t modes;
    } cases[] = {
        {"115200,n,8,1", true, B115200, CS8},
        {"9600,E,7,2", true, B9600, CS7 | PARENB | CSTOPB},
        {" 1200 , o , 5 , 1 ", true, B1200, CS5 | PARENB | PARODD},
        {"19200,m,6,1", true, B19200, CS6 | PARENB | PARODD | CMSPAR},
        {"4800,s,8,1", true, B4800, CS8 | PARENB | CMSPAR},
        {"115200,n,8", false, B2400, CS8},
        {"115200,n,8,1,1", false, B2400, CS8},
        {"0,n,8,1", false, B2400, CS8},
        {"fast,n,8,1", false, B2400, CS8},
        {"9600,x,8,1", false, B2400, CS8},
        {"9600,e,4,1", false, B2400, CS8},
        {"9600,e,9,1", false, B2400, CS8},
        {"9600,e,seven,1", false, B2400, CS8},
        {"9600,e,7,3", false, B2400, CS8},
    };
    for (const auto& c : cases) {
        Pty pty;
        CMSComm comm;
        comm.SetDevicePath(pty.Path());
        ASSERT_TRUE(comm.SetSettings("2400,n,8,1"));
        EXPECT_EQ(comm.SetSettings(c.settings), c.understood) << c.settings;
        requested.clear();
        ASSERT_TRUE(comm.SetPortOpen(true)) << comm.ErrorText();
        ASSERT_FALSE(requested.empty());
        const termios& line = requested.back();
        EXPECT_EQ(cfgetospeed(&line), c.speed) << c.settings;
        EXPECT_EQ(AskedModes(), c.modes) << c.settings;
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0U) << "no flow control: " << c.settings;
    }
}

// Before a transfer the port left open by the last one is closed, the line
// gets half a second, and the port chosen now opens with the controller's
// settings.
TEST(SerialPortFace, PreparePortClosesWaitsAndOpensTheChosenPort) {
    Pty com1;
    Pty com2;
    setenv("VELMORO_COM1", com1.Path().c_str(), 1);
    setenv("VELMORO_COM2", com2.Path().c_str(), 1);
    CMSComm comm;
    CSerialPortFace face(comm);
    std::string error;
    ASSERT_TRUE(face.PreparePort(error)) << error;
    EXPECT_TRUE(com1.HeldOpen());

    face.SetPortNumber(2);
    requested.clear();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(face.PreparePort(error)) << error;
    EXPECT_GE(timer.elapsed(), 500);
    EXPECT_FALSE(com1.HeldOpen());
    EXPECT_TRUE(com2.HeldOpen());
    ASSERT_FALSE(requested.empty());
    EXPECT_EQ(cfgetospeed(&requested.back()), B115200);
    EXPECT_EQ(AskedModes(), static_cast<tcflag_t>(CS8));

    // A port that cannot be opened says which and why.
    setenv("VELMORO_COM2", "/nonexistent/velmoro-port", 1);
    EXPECT_FALSE(face.PreparePort(error));
    EXPECT_EQ(error,
              "Cannot open COM2 (/nonexistent/velmoro-port): the device does not exist. "
              "Check the cable, or choose another port.");
    unsetenv("VELMORO_COM1");
    unsetenv("VELMORO_COM2");
}

}  // namespace
}  // namespace velmoro::testing

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
