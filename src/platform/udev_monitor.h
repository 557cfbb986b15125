// Serial devices plugged in and pulled out, as udev announces them: the owner waits for Fd() to
// become readable (the window's event loop does) and then asks TakeChanges().
//
// Without udev (a container, no /run/udev) Fd() is -1 and nothing is ever announced; the owner
// then watches the device paths it cares about itself.
#pragma once

namespace telvane {

class UdevMonitor {
  public:
    UdevMonitor();
    ~UdevMonitor();
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    int Fd() const;
    // Reads every pending announcement: true when a tty device came or went.
    bool TakeChanges();

  private:
    struct Impl;
    Impl* impl_;
};

}  // namespace telvane
