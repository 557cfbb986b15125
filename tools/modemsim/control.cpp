#include "modemsim/control.h"

#include <vector>

#include "modemsim/at_command.h"
#include "modemsim/sim_pdu.h"
#include "platform/text.h"

namespace telvane::modemsim {
namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> Split(const std::string& s, char separator) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        size_t at = s.find(separator, start);
        out.push_back(Trim(s.substr(start, at - start)));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

}  // namespace

std::string ApplyControl(SimulatedModem& modem, const std::string& raw) {
    std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') return {};
    size_t blank = line.find(' ');
    std::string verb = line.substr(0, blank);
    std::string rest = blank == std::string::npos ? "" : Trim(line.substr(blank + 1));
    int number = 0;
    // "deliver ME ..." and "deliver-pdu ME ...": into that store instead of the scenario's.
    std::string store;
    if ((verb == "deliver" || verb == "deliver-pdu") &&
        (rest.rfind("SM ", 0) == 0 || rest.rfind("ME ", 0) == 0)) {
        store = rest.substr(0, 2);
        rest = Trim(rest.substr(3));
    }
    if (verb == "deliver") {
        // The text is the last field and may hold '|' itself.
        size_t first = rest.find('|');
        size_t second = first == std::string::npos ? first : rest.find('|', first + 1);
        if (second == std::string::npos) return "expected deliver SENDER | TIME | TEXT";
        std::string sender = Trim(rest.substr(0, first));
        std::string time = Trim(rest.substr(first + 1, second - first - 1));
        std::string text = Trim(rest.substr(second + 1));
        if (time.empty()) time = CurrentTimestamp();
        if (modem.DeliverMessage(sender, time, Utf8ToU16(text), store) < 0)
            return "cannot deliver (sender, time or length, or the store is full or not offered)";
        return {};
    }
    if (verb == "deliver-pdu") {
        if (modem.DeliverPdu(rest, store) < 0)
            return "cannot deliver (malformed PDU, or the store is full or not offered)";
        return {};
    }
    if (verb == "report") {
        std::vector<std::string> a = Split(rest, ' ');
        int reference = 0;
        int status = 0;
        if (a.size() != 2 || !ReadNumber(a[0], reference) || !ReadNumber(a[1], status) ||
            status > 255)
            return "expected report REFERENCE STATUS";
        if (!modem.ReportStatus(reference, status)) return "no submission had that reference";
        return {};
    }
    if (verb == "unsolicited") {
        if (rest.empty()) return "expected unsolicited LINE";
        modem.PushUnsolicited(rest);
        return {};
    }
    if (verb == "registration") {
        if (!ReadNumber(rest, number) || number > 5) return "expected registration 0-5";
        modem.SetRegistration(number);
        return {};
    }
    if (verb == "signal") {
        if (!ReadNumber(rest, number) || (number > 31 && number != 99))
            return "expected signal 0-31 or 99";
        modem.SetSignal(number);
        return {};
    }
    if (verb == "drop" && rest.empty()) {
        modem.DropLink();
        return {};
    }
    return "unknown command " + verb;
}

}  // namespace telvane::modemsim
