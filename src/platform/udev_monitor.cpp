#include "platform/udev_monitor.h"

#include <libudev.h>

#include <cstring>

namespace telvane {

struct UdevMonitor::Impl {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
};

UdevMonitor::UdevMonitor() : impl_(new Impl) {
    impl_->context = udev_new();
    if (impl_->context == nullptr) return;
    // "udev" rather than "kernel": by then the /dev/serial/by-id links exist.
    impl_->monitor = udev_monitor_new_from_netlink(impl_->context, "udev");
    if (impl_->monitor == nullptr ||
        udev_monitor_filter_add_match_subsystem_devtype(impl_->monitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(impl_->monitor) < 0) {
        udev_monitor_unref(impl_->monitor);
        impl_->monitor = nullptr;
    }
}

UdevMonitor::~UdevMonitor() {
    udev_monitor_unref(impl_->monitor);
    udev_unref(impl_->context);
    delete impl_;
}

int UdevMonitor::Fd() const {
    return impl_->monitor ? udev_monitor_get_fd(impl_->monitor) : -1;
}

bool UdevMonitor::TakeChanges() {
    if (impl_->monitor == nullptr) return false;
    bool changed = false;
    // The descriptor is non-blocking: null once nothing more is queued.
    while (udev_device* device = udev_monitor_receive_device(impl_->monitor)) {
        const char* action = udev_device_get_action(device);
        if (action != nullptr &&
            (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
            changed = true;
        udev_device_unref(device);
    }
    return changed;
}

}  // namespace telvane
