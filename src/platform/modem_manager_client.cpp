#include "platform/modem_manager_client.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <utility>

namespace telvane {
namespace {

constexpr const char* kService = "org.freedesktop.ModemManager1";
constexpr const char* kManagerPath = "/org/freedesktop/ModemManager1";
constexpr const char* kModemInterface = "org.freedesktop.ModemManager1.Modem";
constexpr uint64_t kLookupTimeoutUsec = 3'000'000;
// ModemManager disables the modem before it answers an inhibition.
constexpr uint64_t kInhibitTimeoutUsec = 20'000'000;

// One reply, released with its owner.
struct Reply {
    sd_bus_message* message = nullptr;
    sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C99 literal
    ~Reply() {
        sd_bus_message_unref(message);
        sd_bus_error_free(&error);
    }
    std::string Why(int result) const {
        if (sd_bus_error_is_set(&error))
            return error.message ? error.message : (error.name ? error.name : "refused");
        return std::strerror(-result);
    }
};

// A method call with a timeout; never starts a service that is not running.
int Call(sd_bus* bus, const char* path, const char* interface, const char* member, uint64_t timeout,
         Reply& reply, const char* types = nullptr, const char* text = nullptr, int flag = 0) {
    const char* destination =
        std::strcmp(interface, "org.freedesktop.DBus") == 0 ? "org.freedesktop.DBus" : kService;
    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(bus, &call, destination, path, interface, member);
    if (r < 0) return r;
    sd_bus_message_set_auto_start(call, 0);
    if (types != nullptr) {
        r = std::strcmp(types, "sb") == 0 ? sd_bus_message_append(call, types, text, flag)
                                          : sd_bus_message_append(call, types, text);
    }
    if (r >= 0) r = sd_bus_call(bus, call, timeout, &reply.error, &reply.message);
    sd_bus_message_unref(call);
    return r;
}

// In a{sv} of the Modem interface: its Device and whether its Ports hold `port`.
int ReadModem(sd_bus_message* m, const std::string& port, std::string& device, bool& listed) {
    int r = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* name = nullptr;
        if ((r = sd_bus_message_read(m, "s", &name)) < 0) return r;
        if (std::strcmp(name, "Device") == 0) {
            if ((r = sd_bus_message_enter_container(m, 'v', "s")) < 0) return r;
            const char* value = nullptr;
            if ((r = sd_bus_message_read(m, "s", &value)) < 0) return r;
            device = value;
            if ((r = sd_bus_message_exit_container(m)) < 0) return r;
        } else if (std::strcmp(name, "Ports") == 0) {
            if ((r = sd_bus_message_enter_container(m, 'v', "a(su)")) < 0) return r;
            if ((r = sd_bus_message_enter_container(m, 'a', "(su)")) < 0) return r;
            const char* portName = nullptr;
            uint32_t type = 0;
            while ((r = sd_bus_message_read(m, "(su)", &portName, &type)) > 0)
                if (port == portName) listed = true;
            if (r < 0) return r;
            if ((r = sd_bus_message_exit_container(m)) < 0) return r;
            if ((r = sd_bus_message_exit_container(m)) < 0) return r;
        } else if ((r = sd_bus_message_skip(m, "v")) < 0) {
            return r;
        }
        if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

}  // namespace

struct ModemManagerClient::Impl {
    sd_bus* bus = nullptr;
    ~Impl() { sd_bus_flush_close_unref(bus); }
};

ModemManagerClient::ModemManagerClient() : impl_(std::make_unique<Impl>()) {
    if (sd_bus_open_system(&impl_->bus) < 0) impl_->bus = nullptr;
}

ModemManagerClient::~ModemManagerClient() = default;

bool ModemManagerClient::Running() {
    if (impl_->bus == nullptr) return false;
    Reply reply;
    if (Call(impl_->bus, "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
             kLookupTimeoutUsec, reply, "s", kService) < 0)
        return false;
    int has = 0;
    return sd_bus_message_read(reply.message, "b", &has) >= 0 && has != 0;
}

std::optional<std::string> ModemManagerClient::DeviceOf(const std::string& portName) {
    if (!Running()) return std::nullopt;
    Reply reply;
    if (Call(impl_->bus, kManagerPath, "org.freedesktop.DBus.ObjectManager", "GetManagedObjects",
             kLookupTimeoutUsec, reply) < 0)
        return std::nullopt;
    sd_bus_message* m = reply.message;
    if (sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}") < 0) return std::nullopt;
    while (sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}") > 0) {
        const char* path = nullptr;
        if (sd_bus_message_read(m, "o", &path) < 0) return std::nullopt;
        if (sd_bus_message_enter_container(m, 'a', "{sa{sv}}") < 0) return std::nullopt;
        std::string device;
        bool listed = false;
        while (sd_bus_message_enter_container(m, 'e', "sa{sv}") > 0) {
            const char* interface = nullptr;
            if (sd_bus_message_read(m, "s", &interface) < 0) return std::nullopt;
            const int r = std::strcmp(interface, kModemInterface) == 0
                              ? ReadModem(m, portName, device, listed)
                              : sd_bus_message_skip(m, "a{sv}");
            if (r < 0 || sd_bus_message_exit_container(m) < 0) return std::nullopt;
        }
        if (sd_bus_message_exit_container(m) < 0 || sd_bus_message_exit_container(m) < 0)
            return std::nullopt;
        if (listed && !device.empty()) return device;
    }
    return std::nullopt;
}

std::string ModemManagerClient::Inhibit(const std::string& uid, bool inhibit) {
    if (impl_->bus == nullptr) return "the system bus is not available";
    Reply reply;
    const int r = Call(impl_->bus, kManagerPath, kService, "InhibitDevice", kInhibitTimeoutUsec,
                       reply, "sb", uid.c_str(), inhibit ? 1 : 0);
    return r < 0 ? reply.Why(r) : std::string();
}

std::unique_ptr<ModemManagerInhibition> ModemManagerInhibition::Begin(const std::string& devicePath,
                                                                      Outcome& outcome,
                                                                      std::string& refusal) {
    outcome = Outcome::kNotManaged;
    refusal.clear();
    std::error_code error;
    const std::filesystem::path node = std::filesystem::canonical(devicePath, error);
    const std::string port = (error ? std::filesystem::path(devicePath) : node).filename();
    auto client = std::make_unique<ModemManagerClient>();
    const std::optional<std::string> uid = client->DeviceOf(port);
    if (!uid) return nullptr;
    refusal = client->Inhibit(*uid, true);
    if (!refusal.empty()) {
        outcome = Outcome::kRefused;
        return nullptr;
    }
    outcome = Outcome::kInhibited;
    return std::unique_ptr<ModemManagerInhibition>(
        new ModemManagerInhibition(std::move(client), *uid));
}

ModemManagerInhibition::~ModemManagerInhibition() {
    // Leaving the bus would end it too; saying so lets ModemManager take the modem back now.
    client_->Inhibit(uid_, false);
}

}  // namespace telvane
