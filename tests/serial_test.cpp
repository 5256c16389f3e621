// The serial port on real pseudo-terminals: the line a settings text asks
// for, and the engine's port face setting the port up for a transfer.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "ms_comm.h"
#include "port_names.h"
#include "report_facts.h"
#include "serial_cases.h"
#include "serial_port_face.h"
#include "usb_serial_chips.h"

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

// The waits the program asks for, as they are asked.
namespace {
std::vector<timespec> waits;
}
extern "C" int nanosleep(const timespec* wait, timespec* left) {
    using Real = int (*)(const timespec*, timespec*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "nanosleep"));
    waits.push_back(*wait);
    return real(wait, left);
}

// A pseudo-terminal has no serial driver settings; here it answers as a
// USB-serial adapter would, and the flags the port sets are kept.
namespace {
std::vector<int> driverFlagsSet;
}
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (request == TIOCGSERIAL) {
        *static_cast<serial_struct*>(argument) = serial_struct{};
        return 0;
    }
    if (request == TIOCSSERIAL) {
        driverFlagsSet.push_back(static_cast<serial_struct*>(argument)->flags);
        return 0;
    }
    using Real = int (*)(int, unsigned long, void*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, argument);
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
    void Write(const std::string& bytes) const {
        EXPECT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What the program sent, once count bytes are there; events go on meanwhile.
    std::string Read(std::size_t count) const {
        std::string bytes;
        QElapsedTimer timer;
        timer.start();
        while (bytes.size() < count && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            char chunk[64];
            const ssize_t got = ::read(master_, chunk, sizeof chunk);
            bytes.append(chunk, got > 0 ? static_cast<std::size_t>(got) : 0U);
        }
        return bytes;
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

// A pseudo-terminal watched from its master side.
class PtyLine final : public WatchedLine {
public:
    explicit PtyLine(const Pty& pty) : pty_(pty) {}

    void PointAt(CMSComm& comm) override {
        comm.SetDevicePath(pty_.Path());
        requested.clear();
    }
    AskedLine Asked() const override {
        AskedLine line;
        if (requested.empty()) {
            return line;
        }
        const speed_t speed = cfgetospeed(&requested.back());
        const struct {
            speed_t code;
            int baud;
        } speeds[] = {{B1200, 1200}, {B2400, 2400},   {B4800, 4800},
                      {B9600, 9600}, {B19200, 19200}, {B115200, 115200}};
        for (const auto& known : speeds) {
            if (known.code == speed) {
                line.baud = known.baud;
            }
        }
        const tcflag_t modes = AskedModes();
        const tcflag_t parity = modes & (PARENB | PARODD | CMSPAR);
        line.parity = parity == (PARENB | PARODD | CMSPAR) ? 'm'
                      : parity == (PARENB | CMSPAR)        ? 's'
                      : parity == (PARENB | PARODD)        ? 'o'
                      : parity == PARENB                   ? 'e'
                                                           : 'n';
        const tcflag_t size = modes & CSIZE;
        line.dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
        line.stopTenths = (modes & CSTOPB) != 0 ? 20 : 10;
        line.flowControl =
            (modes & CRTSCTS) != 0 || (requested.back().c_iflag & (IXON | IXOFF)) != 0;
        return line;
    }
    // termios has one or two stop bits only.
    bool HasOneAndAHalfStopBits() const override { return false; }
    void Send(const std::string& bytes) override { pty_.Write(bytes); }
    std::string Sent(std::size_t count) override { return pty_.Read(count); }
    void RunEventsUntil(const std::function<bool()>& done) override {
        QElapsedTimer wait;
        wait.start();
        while (!done() && wait.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }

private:
    const Pty& pty_;
};

TEST(MSComm, SettingsTextReachesTheLine) {
    std::vector<std::unique_ptr<Pty>> ptys;
    SettingsTextReachesTheLine([&ptys]() -> std::unique_ptr<WatchedLine> {
        ptys.push_back(std::make_unique<Pty>());
        return std::make_unique<PtyLine>(*ptys.back());
    });
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
    face.SetOutput(std::string_view("on COM1"));

    // What one transfer set of the input mode, the next opening sets again.
    comm.SetInputLen(1);
    face.SetPortNumber(2);
    requested.clear();
    driverFlagsSet.clear();
    waits.clear();
    ASSERT_TRUE(face.PreparePort(error)) << error;
    ASSERT_EQ(waits.size(), 1U);
    EXPECT_EQ(waits[0].tv_sec * 1000 + waits[0].tv_nsec / 1000000, 500);
    EXPECT_FALSE(com1.HeldOpen());
    EXPECT_TRUE(com2.HeldOpen());
    ASSERT_FALSE(requested.empty());
    EXPECT_EQ(cfgetospeed(&requested.back()), B115200);
    EXPECT_EQ(AskedModes(), static_cast<tcflag_t>(CS8));
    // An adapter would otherwise hold each reply back for up to 16 ms.
    ASSERT_EQ(driverFlagsSet.size(), 1U);
    EXPECT_NE(driverFlagsSet[0] & ASYNC_LOW_LATENCY, 0);

    PtyLine line(com2);
    BytesGoOutInOrderAndInputIsTakenAsAsked(line, comm);
    unsetenv("VELMORO_COM1");
    unsetenv("VELMORO_COM2");
}

PortFacts Port(const std::string& path, const std::string& description) {
    PortFacts port;
    port.path = path;
    port.description = description;
    return port;
}

PortFacts Usb(const std::string& path, const std::string& description, std::uint16_t vendorId,
              std::uint16_t productId, const std::string& manufacturer,
              const std::string& serialNumber) {
    PortFacts port = Port(path, description);
    port.hasVendorId = true;
    port.vendorId = vendorId;
    port.productId = productId;
    port.manufacturer = manufacturer;
    port.serialNumber = serialNumber;
    return port;
}

// COMn counts USB adapters first, then the other ports, each group in the
// natural order of the device paths; a USB adapter shows its identity.
TEST(MSComm, ComPortsCountUsbAdaptersFirstInNaturalOrder) {
    struct Row {
        std::vector<PortFacts> ports;                 // as the system lists them
        std::vector<std::vector<std::string>> order;  // path, description, identity
    };
    const std::vector<Row> rows = {
        {{Port("/dev/ttyS10", "ttyS10"), Port("/dev/ttySAC0", ""),
          Usb("/dev/ttyUSB10", "FT232R USB UART", 0x403, 0x6001, "FTDI", "A10"),
          Port("/dev/ttyS2", ""), Usb("/dev/ttyUSB2", "CP2102", 0x10c4, 0xea60, "", "0001"),
          Usb("/dev/ttyACM0", "", 0x2341, 0x43, "Arduino", "")},
         {{"/dev/ttyACM0", "", "2341:0043 Arduino"},
          {"/dev/ttyUSB2", "CP2102", "10c4:ea60 0001"},
          {"/dev/ttyUSB10", "FT232R USB UART", "0403:6001 FTDI A10"},
          {"/dev/ttyS2", "", ""},
          {"/dev/ttyS10", "ttyS10", ""},
          {"/dev/ttySAC0", "", ""}}},
        {{Port("COM10", "\\Device\\VCP0"), Port("COM9", ""), Port("COM2", "\\Device\\Serial1")},
         {{"COM2", "\\Device\\Serial1", ""}, {"COM9", "", ""}, {"COM10", "\\Device\\VCP0", ""}}},
        // Leading zeros do not make a number larger, nor different; a name
        // that is the start of another comes first.
        {{Port("COM010", ""), Port("COM2", ""), Port("COM", ""), Port("COM002", ""),
          Port("COM02", ""), Port("COM0", "")},
         {{"COM", "", ""},
          {"COM0", "", ""},
          {"COM2", "", ""},
          {"COM002", "", ""},
          {"COM02", "", ""},
          {"COM010", "", ""}}},
        {{Port("/dev/ttyS0", ""), Usb("/dev/ttyUSB0", "", 0, 0, "", "")},
         {{"/dev/ttyUSB0", "", "0000:0000"}, {"/dev/ttyS0", "", ""}}},
    };
    for (const Row& row : rows) {
        std::vector<std::vector<std::string>> order;
        for (const SerialDevice& device : OrderSerialDevices(row.ports)) {
            order.push_back({device.path, device.description, device.usbIdentity});
        }
        EXPECT_EQ(order, row.order) << "first port listed: " << row.ports.front().path;
    }
    // COMn is the n-th of them; beyond the last, the reason says what to do.
    const std::vector<SerialDevice> devices = OrderSerialDevices(rows[0].ports);
    std::string how;
    EXPECT_EQ(NthSerialDevice(1, devices, how), "/dev/ttyACM0");
    EXPECT_EQ(how, "serial device number 1 present");
    EXPECT_EQ(NthSerialDevice(6, devices, how), "/dev/ttySAC0");
    EXPECT_EQ(NthSerialDevice(0, devices, how), "");
    EXPECT_EQ(NthSerialDevice(7, devices, how), "");
    EXPECT_EQ(how,
              "only 6 serial device(s) present, COM7 is not one of them. Choose a lower port, or "
              "set VELMORO_COM7 to the device");
}

// Every chip of the table is named by its ids; another product of a known
// vendor by the vendor's adapter; anything else not at all. A USB adapter
// the table knows is listed by that name, one it does not by what the
// system says of it.
TEST(MSComm, UsbSerialChipsAreNamedByTheirIds) {
    std::set<std::pair<std::uint16_t, std::uint16_t>> seen;
    for (const UsbSerialChip& chip : UsbSerialChips()) {
        EXPECT_TRUE(seen.insert({chip.vendorId, chip.productId}).second)
            << chip.name << ": its ids are in the table twice";
        EXPECT_EQ(UsbSerialName(chip.vendorId, chip.productId), chip.name);
        EXPECT_TRUE(chip.name.ends_with("USB serial adapter") || chip.name.ends_with("port"))
            << chip.name;
        EXPECT_NE(UsbSerialName(chip.vendorId, 0xfffe), "")
            << chip.name << ": its vendor has no row of its own";
    }
    for (const UsbSerialVendor& vendor : UsbSerialVendors()) {
        EXPECT_EQ(UsbSerialName(vendor.vendorId, 0xfffe), vendor.name);
    }
    const std::vector<std::pair<std::vector<std::uint16_t>, std::string>> rows = {
        {{0x0403, 0x6001}, "FTDI FT232R USB serial adapter"},
        {{0x0403, 0x6015}, "FTDI FT231X/FT230X USB serial adapter"},
        {{0x0403, 0x1234}, "FTDI USB serial adapter"},
        {{0x067b, 0x2303}, "Prolific PL2303 USB serial adapter"},
        {{0x1a86, 0x7523}, "CH340 USB serial adapter"},
        {{0x1a86, 0x55d4}, "CH9102 USB serial adapter"},
        {{0x10c4, 0xea60}, "Silicon Labs CP210x USB serial adapter"},
        {{0x04d8, 0x00dd}, "Microchip MCP2221 USB serial adapter"},
        {{0x1234, 0x6001}, ""},
        {{0x0000, 0x0000}, ""},
    };
    for (const auto& [ids, name] : rows) {
        EXPECT_EQ(UsbSerialName(ids[0], ids[1]), name) << std::hex << ids[0] << ":" << ids[1];
    }
    std::vector<std::string> names;
    for (const SerialDevice& device : OrderSerialDevices(
             {Usb("/dev/ttyUSB0", "USB2.0-Serial", 0x1a86, 0x7523, "", ""),
              Usb("/dev/ttyUSB1", "Gadget 7", 0x1234, 0x1, "", ""),
              Usb("/dev/ttyUSB2", "", 0x1234, 0x2, "", ""), Port("/dev/ttyS0", "ttyS0")})) {
        names.push_back(device.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"CH340 USB serial adapter", "Gadget 7", "", ""}));
}

// A report says what the adapter is, who made it and its USB ids; never its
// serial number, which tells the user's own adapter from every other.
TEST(MSComm, ReportsNameTheAdapterButNotItsSerialNumber) {
    EXPECT_EQ(
        PortReportFacts(Usb("/dev/ttyUSB0", "FT232R USB UART", 0x0403, 0x6001, "FTDI", "A10K3XYZ")),
        (ReportFacts{{"Adapter", "FTDI FT232R USB serial adapter"},
                     {"Manufacturer", "FTDI"},
                     {"USB ids", "0403:6001"}}));
    EXPECT_EQ(PortReportFacts(Usb("/dev/ttyACM0", "Gadget 7", 0x1234, 0x1, "", "0001")),
              (ReportFacts{{"Adapter", "Gadget 7"}, {"USB ids", "1234:0001"}}));
}

// What a port list shows for each COMn: the device reached and its name,
// or that nothing is there; a Windows port is not named twice.
TEST(MSComm, PortItemsSayWhatEachPortReaches) {
    const std::vector<std::vector<std::string>> rows = {
        // n, device, name, text
        {"3", "/dev/ttyUSB0", "CH340 USB serial adapter",
         "COM3  \u2013  /dev/ttyUSB0  CH340 USB serial adapter"},
        {"1", "/dev/ttyS0", "", "COM1  \u2013  /dev/ttyS0"},
        {"3", "", "", "COM3  \u2013  nothing there"},
        {"3", "", "CH340 USB serial adapter", "COM3  \u2013  nothing there"},
        {"12", "COM12", "FTDI FT232R USB serial adapter",
         "COM12  \u2013  FTDI FT232R USB serial adapter"},
        {"4", "COM4", "", "COM4  \u2013  serial port"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(PortItemText(std::stoi(row[0]), row[1], row[2]), row[3]);
    }
    const std::vector<SerialDevice> devices =
        OrderSerialDevices({Usb("/dev/ttyUSB0", "", 0x067b, 0x2303, "", ""), Port("COM12", "")});
    EXPECT_EQ(DeviceName("/dev/ttyUSB0", devices), "Prolific PL2303 USB serial adapter");
    EXPECT_EQ(DeviceName("/dev/ttyUSB1", devices), "");
}

std::string GroupOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    const group* entry = getgrgid(info.st_gid);
    return entry != nullptr ? entry->gr_name : "";
}

// A port that cannot be opened says which and why.
TEST(MSComm, OpeningFailuresSayWhichPortAndWhy) {
    Pty pty;
    setenv("VELMORO_COM2", "/nonexistent/velmoro-port", 1);
    CMSComm comm;
    comm.SetCommPort(2);
    EXPECT_FALSE(comm.SetPortOpen(true));
    EXPECT_EQ(comm.ErrorText(),
              "Cannot open COM2 (/nonexistent/velmoro-port): the device does not exist. "
              "Check the cable, or choose another port.");
    unsetenv("VELMORO_COM2");
    for (int port : {0, 10}) {
        comm.SetCommPort(port);
        EXPECT_FALSE(comm.SetPortOpen(true));
        EXPECT_EQ(comm.ErrorText(),
                  "Cannot open COM" + std::to_string(port) + ": only COM1 to COM9 exist.");
    }
    // Beyond the devices present, and named by no variable: what to do.
    const std::size_t present = ListSerialDevices().size();
    if (present < 9) {
        unsetenv("VELMORO_COM9");
        std::string how;
        EXPECT_EQ(ComPortDevice(9, &how), "");
        EXPECT_EQ(how, present == 0
                           ? "no serial device is present. Plug in the cable, or set VELMORO_COM9 "
                             "to the device"
                           : "only " + std::to_string(present) +
                                 " serial device(s) present, COM9 is not one of them. Choose a "
                                 "lower port, or set VELMORO_COM9 to the device");
        comm.SetCommPort(9);
        EXPECT_FALSE(comm.SetPortOpen(true));
        EXPECT_EQ(comm.ErrorText(), "Cannot open COM9: " + how + ".");
    }
    // Not a serial device: the system's own words.
    comm.SetDevicePath("/dev/null");
    EXPECT_FALSE(comm.SetPortOpen(true));
    EXPECT_TRUE(comm.ErrorText().starts_with("Cannot open /dev/null: ")) << comm.ErrorText();
    EXPECT_GT(comm.ErrorText().size(), 30U);
    EXPECT_TRUE(comm.ErrorText().ends_with(".")) << comm.ErrorText();

    // A port held by another is locked.
    CMSComm holder;
    holder.SetDevicePath(pty.Path());
    ASSERT_TRUE(holder.SetPortOpen(true)) << holder.ErrorText();
    comm.SetDevicePath(pty.Path());
    EXPECT_FALSE(comm.SetPortOpen(true));
    EXPECT_EQ(comm.ErrorText(), "Cannot open " + pty.Path() +
                                    ": permission denied, or another program holds the port. " +
                                    PermissionAdvice(pty.Path()));

    // Permission advice names the device's group, unless it is root's: a
    // scratch file stands for a device of the group dialout (as root), or of
    // the user's own group.
    char scratch[] = "/tmp/velmoro-device-XXXXXX";
    const int fd = mkstemp(scratch);
    ASSERT_GE(fd, 0);
    ::close(fd);
    if (geteuid() == 0) {
        const group* dialout = getgrnam("dialout");
        EXPECT_TRUE(dialout != nullptr &&
                    ::chown(scratch, static_cast<uid_t>(-1), dialout->gr_gid) == 0);
    }
    const std::string group = GroupOf(scratch);
    const std::string advice = PermissionAdvice(scratch);
    ::unlink(scratch);
    ASSERT_FALSE(group.empty() || group == "root") << group;
    EXPECT_EQ(advice, "The device belongs to the group \"" + group +
                          "\": add your user to it (sudo usermod -aG " + group +
                          " $USER), then log out and in again.");
    for (const char* path : {"/dev/null", "/nonexistent/velmoro-port"}) {
        EXPECT_EQ(PermissionAdvice(path),
                  "Close any other program that uses the port, then try again.");
    }
}

}  // namespace
}  // namespace velmoro::testing

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
