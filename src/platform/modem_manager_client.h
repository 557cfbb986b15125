// ModemManager, the system's modem service, asked over the system bus (sd-bus) to let go of a
// modem while this program uses it: InhibitDevice(uid, true) holds for as long as the asking
// connection stays on the bus, or until InhibitDevice(uid, false).
//
// Not running ModemManager, or no system bus at all, is the normal case: every question then
// answers "not managed" at once and nothing is started on the bus's behalf.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace telvane {

class ModemManagerClient {
  public:
    // Connects to the system bus ($DBUS_SYSTEM_BUS_ADDRESS when set).
    ModemManagerClient();
    ~ModemManagerClient();
    ModemManagerClient(const ModemManagerClient&) = delete;
    ModemManagerClient& operator=(const ModemManagerClient&) = delete;

    // ModemManager has its name on the bus.
    bool Running();
    // The Device uid of the modem whose Ports list `portName` (the kernel's name, "ttyUSB2");
    // nullopt when ModemManager does not manage such a modem.
    std::optional<std::string> DeviceOf(const std::string& portName);
    // InhibitDevice(uid, inhibit): empty when done, else ModemManager's refusal in words.
    std::string Inhibit(const std::string& uid, bool inhibit);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ModemManager kept off one device for as long as this object lives.
class ModemManagerInhibition {
  public:
    enum class Outcome { kNotManaged, kInhibited, kRefused };

    // For the device at `devicePath` (a link such as /dev/serial/by-id/... is followed to its
    // node).  kRefused leaves the refusal in `refusal`; only kInhibited gives an object.
    static std::unique_ptr<ModemManagerInhibition> Begin(const std::string& devicePath,
                                                         Outcome& outcome, std::string& refusal);
    // Ends the inhibition: ModemManager may take the modem again.
    ~ModemManagerInhibition();
    ModemManagerInhibition(const ModemManagerInhibition&) = delete;
    ModemManagerInhibition& operator=(const ModemManagerInhibition&) = delete;

    const std::string& DeviceUid() const { return uid_; }

  private:
    ModemManagerInhibition(std::unique_ptr<ModemManagerClient> client, std::string uid)
        : client_(std::move(client)), uid_(std::move(uid)) {}

    std::unique_ptr<ModemManagerClient> client_;
    std::string uid_;
};

}  // namespace telvane
