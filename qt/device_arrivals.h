#pragma once

// The system's word that a serial device has arrived (an adapter plugged
// in): on Linux, udev's notices of the "tty" subsystem, read when they come.
// Elsewhere nothing arrives.

#include <QObject>
#include <functional>
#include <string>

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace velmoro {

class CDeviceArrivals : public QObject {
public:
    // onArrival is given the device's node (/dev/ttyUSB0).
    CDeviceArrivals(std::function<void(const std::string&)> onArrival, QObject* parent);
    ~CDeviceArrivals() override;
    CDeviceArrivals(const CDeviceArrivals&) = delete;
    CDeviceArrivals& operator=(const CDeviceArrivals&) = delete;

private:
    void OnNotice();

    std::function<void(const std::string&)> onArrival_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velmoro
