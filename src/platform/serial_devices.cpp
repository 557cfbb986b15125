#include "platform/serial_devices.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <system_error>
#include <tuple>

#include "platform/files.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace telvane {
namespace {

// "COM3", "com3" or "COM3:" -> 3.
std::optional<int> ComNumber(std::string_view name) {
    if (!name.empty() && name.back() == ':') name.remove_suffix(1);
    if (name.size() < 4 || name.size() > 8) return std::nullopt;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return std::nullopt;
    }
    int number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number == 0) return std::nullopt;
    return number;
}

std::string ComName(int number) {
    return "COM" + std::to_string(number);
}

// Splits "ttyUSB12" into ("ttyUSB", 12); no trailing digits -> -1.
std::pair<std::string, int> SplitKernelName(const std::string& name) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    if (digits == name.size() || name.size() - digits > 6) return {name, -1};
    return {name.substr(0, digits), std::stoi(name.substr(digits))};
}

std::string ReadAttribute(const fs::path& file) {
    std::string text = ReadWholeFile(file).value_or(std::string());
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && blank(static_cast<unsigned char>(text.back())))
        text.pop_back();
    size_t first = 0;
    while (first < text.size() && blank(static_cast<unsigned char>(text[first])))
        ++first;
    return text.substr(first);
}

fs::path Canonical(const fs::path& path) {
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : resolved;
}

// Vendor and model from the USB device above the tty in sysfs, else the driver's name.
std::string UsbOrDriverName(const fs::path& sysRoot, const fs::path& ttyDir) {
    std::error_code error;
    const fs::path device = fs::canonical(ttyDir / "device", error);
    if (error) return {};
    const fs::path root = Canonical(sysRoot);
    fs::path dir = device;
    for (int depth = 0; depth < 8 && dir.has_relative_path() && dir != root; ++depth) {
        if (fs::exists(dir / "idVendor", error)) {
            std::string vendor = ReadAttribute(dir / "manufacturer");
            std::string model = ReadAttribute(dir / "product");
            std::string name = vendor;
            if (!model.empty()) name += (name.empty() ? "" : " ") + model;
            if (name.empty()) {
                name = "USB " + ReadAttribute(dir / "idVendor") + ":" +
                       ReadAttribute(dir / "idProduct");
            }
            return name;
        }
        dir = dir.parent_path();
    }
    const fs::path driver = fs::canonical(device / "driver", error);
    return error ? std::string() : driver.filename().string();
}

struct Candidate {
    int group = 0;  // order of detection: USB, ACM, rfcomm, ircomm, on-board
    int number = 0;
    std::string kernelName;
    std::string path;
    fs::path canonical;
    std::string friendlyName;
    bool infrared = false;
};

// /dev/serial/by-id names by the device node they point to.
std::map<fs::path, std::string> ByIdNames(const fs::path& devRoot) {
    std::map<fs::path, std::string> names;
    std::error_code error;
    fs::directory_iterator it(devRoot / "serial" / "by-id", error);
    if (error) return names;
    std::vector<fs::path> links;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        links.push_back(it->path());
    }
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links)
        names.emplace(Canonical(link), link.string());
    return names;
}

std::vector<Candidate> Scan(const fs::path& sysRoot, const fs::path& devRoot) {
    static const std::map<std::string, std::pair<int, const char*>> kKinds = {
        {"ttyUSB", {0, nullptr}},
        {"ttyACM", {1, nullptr}},
        {"rfcomm", {2, "Bluetooth serial"}},
        {"ircomm", {3, "Infrared serial"}},
        {"ttyS", {4, "Serial port"}},
    };
    const auto byId = ByIdNames(devRoot);
    std::vector<Candidate> found;
    std::error_code error;
    fs::directory_iterator it(sysRoot / "class" / "tty", error);
    if (error) return found;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        const std::string name = it->path().filename().string();
        const auto [prefix, number] = SplitKernelName(name);
        const auto kind = kKinds.find(prefix);
        if (number < 0 || kind == kKinds.end()) continue;
        const int group = kind->second.first;
        // The kernel lists ttyS0-3 whether or not a UART is fitted; type 0 means none.
        if (prefix == "ttyS" && ReadNumber(ReadAttribute(it->path() / "type")) == 0) continue;
        const fs::path node = devRoot / name;
        if (!fs::exists(fs::symlink_status(node, error))) continue;

        Candidate c;
        c.group = group;
        c.number = number;
        c.kernelName = name;
        c.canonical = Canonical(node);
        const auto link = byId.find(c.canonical);
        c.path = link != byId.end() ? link->second : node.string();
        c.infrared = prefix == "ircomm";
        // On-board ports name no maker, and their driver ("port", "serial8250") means nothing
        // to a user.
        const std::string label = kind->second.second != nullptr
                                      ? kind->second.second
                                      : UsbOrDriverName(sysRoot, it->path());
        c.friendlyName = label.empty() ? name : label + " (" + name + ")";
        found.push_back(std::move(c));
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        return std::tie(a.group, a.number, a.kernelName) <
               std::tie(b.group, b.number, b.kernelName);
    });
    return found;
}

}  // namespace

SerialDeviceTable& SerialDeviceTable::Instance() {
    static SerialDeviceTable table;
    return table;
}

void SerialDeviceTable::Register(const std::string& comName, const std::string& path,
                                 const std::string& friendlyName, bool infrared) {
    const std::optional<int> number = ComNumber(comName);
    if (!number) return;
    const std::string name = ComName(*number);
    std::lock_guard guard(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.device.comName == name; });
    entries_.push_back({{name, path, friendlyName.empty() ? path : friendlyName, infrared}, true});
}

void SerialDeviceTable::Unregister(const std::string& comName) {
    const std::optional<int> number = ComNumber(comName);
    if (!number) return;
    const std::string name = ComName(*number);
    std::lock_guard guard(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.device.comName == name; });
}

void SerialDeviceTable::Detect(const std::vector<std::pair<std::string, std::string>>& assignments,
                               const fs::path& sysRoot, const fs::path& devRoot) {
    // The file system is read before the lock is taken: sysfs can be slow.
    const std::vector<Candidate> found = Scan(sysRoot, devRoot);

    std::lock_guard guard(mutex_);
    std::erase_if(entries_, [](const Entry& e) { return !e.pinned; });
    auto nameTaken = [&](const std::string& name) {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.device.comName == name; });
    };
    auto pathTaken = [&](const fs::path& canonical) {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return Canonical(e.device.path) == canonical; });
    };

    for (const auto& [comName, path] : assignments) {
        const std::optional<int> number = ComNumber(comName);
        if (!number || path.empty() || nameTaken(ComName(*number))) continue;
        const fs::path canonical = Canonical(path);
        SerialDevice device{ComName(*number), path, path, false};
        for (const Candidate& c : found) {
            if (c.canonical == canonical) {
                device.friendlyName = c.friendlyName;
                device.infrared = c.infrared;
            }
        }
        entries_.push_back({std::move(device), false});
    }

    int next = 1;
    for (const Candidate& c : found) {
        if (pathTaken(c.canonical)) continue;
        while (nameTaken(ComName(next)))
            ++next;
        entries_.push_back({{ComName(next), c.path, c.friendlyName, c.infrared}, false});
    }
}

std::vector<SerialDevice> SerialDeviceTable::Devices() const {
    std::vector<SerialDevice> devices;
    {
        std::lock_guard guard(mutex_);
        for (const Entry& e : entries_)
            devices.push_back(e.device);
    }
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return ComNumber(a.comName) < ComNumber(b.comName);
    });
    return devices;
}

std::optional<std::string> SerialDeviceTable::Resolve(const std::string& name) const {
    if (!name.empty() && name.front() == '/') return name;
    const std::optional<int> number = ComNumber(name);
    if (!number) return std::nullopt;
    const std::string comName = ComName(*number);
    std::lock_guard guard(mutex_);
    for (const Entry& e : entries_) {
        if (e.device.comName == comName) return e.device.path;
    }
    return std::nullopt;
}

}  // namespace telvane
