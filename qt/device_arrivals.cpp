#include "device_arrivals.h"

#include <QSocketNotifier>
#include <string_view>
#include <utility>

#ifdef VELMORO_HAVE_UDEV
#include <libudev.h>
#endif

namespace velmoro {

CDeviceArrivals::CDeviceArrivals(std::function<void(const std::string&)> onArrival, QObject* parent)
    : QObject(parent), onArrival_(std::move(onArrival)) {
#ifdef VELMORO_HAVE_UDEV
    udev_ = udev_new();
    if (udev_ == nullptr) {
        return;
    }
    // The notices udev sends once its rules have run: the device's node and
    // its permissions are in place by then.
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        return;
    }
    notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { OnNotice(); });
#endif
}

CDeviceArrivals::~CDeviceArrivals() {
#ifdef VELMORO_HAVE_UDEV
    delete notifier_;
    if (monitor_ != nullptr) {
        udev_monitor_unref(monitor_);
    }
    if (udev_ != nullptr) {
        udev_unref(udev_);
    }
#endif
}

void CDeviceArrivals::OnNotice() {
#ifdef VELMORO_HAVE_UDEV
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (device == nullptr) {
        return;
    }
    const char* action = udev_device_get_action(device);
    const char* node = udev_device_get_devnode(device);
    const std::string arrived =
        action != nullptr && node != nullptr && std::string_view(action) == "add" ? node : "";
    udev_device_unref(device);
    if (!arrived.empty()) {
        onArrival_(arrived);
    }
#endif
}

}  // namespace velmoro
