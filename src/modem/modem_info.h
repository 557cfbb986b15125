// What the modem says of itself, its SIM and its network, and the network's USSD answers: the
// results of the information and USSD jobs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace telvane {

// 3GPP TS 27.007 7.2 <stat>, in words.
enum class Registration { kUnknown, kNone, kHome, kSearching, kDenied, kRoaming };
// "home", "roaming", ...: the words the tool prints.
const char* RegistrationName(Registration registration);
// From a +CREG <stat>: 0 none, 1 home, 2 searching, 3 denied, 5 roaming (6-10: the same for
// SMS-only and emergency registrations); anything else unknown.
Registration RegistrationOf(int32_t stat);

// One message store's fill (+CPMS).
struct StoreUse {
    std::string name;  // "SM", "ME", "MT", ...
    std::optional<int32_t> used;
    std::optional<int32_t> total;
    bool operator==(const StoreUse&) const = default;
};

// A field the modem did not give stays empty (nullopt).
struct ModemInfo {
    std::optional<std::string> manufacturer, model, revision, imei, imsi;
    std::optional<std::u16string> smsCentre;
    std::optional<std::u16string> operatorName;  // as +COPS gives it in the long form
    std::optional<std::string> operatorCode;     // MCC and MNC, "46692"
    std::optional<int32_t> technology;           // 27.007 7.3 <AcT>
    Registration registration = Registration::kUnknown;
    std::optional<int32_t> rssi;  // 0-31; none for 99 (not known)
    std::vector<StoreUse> stores;

    bool operator==(const ModemInfo&) const = default;
};

// -113 + 2 * rssi (27.007 8.5): -113 dBm at 0, -51 at 31.
std::optional<int32_t> SignalDbm(std::optional<int32_t> rssi);
// The signal bar's level 0-5 for an rssi, as the window shows it.
int32_t SignalBarsOf(std::optional<int32_t> rssi);
// "GSM", "UMTS", "LTE", ...; empty for a value not known.
std::string TechnologyName(int32_t technology);

// How a USSD request ended.
enum class UssdStatus {
    kDone,         // +CUSD: 0, the network answered and the session is over
    kMore,         // +CUSD: 1, a menu: the network waits for a reply
    kEnded,        // +CUSD: 2 or 3, the session was ended by the network or elsewhere
    kUnsupported,  // +CUSD: 4, the network does not offer the code
    kRefused,      // the modem refused the request, or the code or reply was not fit to send
    kNoAnswer,     // nothing came (or +CUSD: 5, the network timed out)
};
const char* UssdStatusName(UssdStatus status);

struct UssdAnswer {
    UssdStatus status = UssdStatus::kNoAnswer;
    std::u16string text;  // decoded; empty when the answer had none
    int32_t dcs = -1;     // as the modem gave it; -1 when it gave none
    bool operator==(const UssdAnswer&) const = default;
};

}  // namespace telvane
