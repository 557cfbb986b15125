// Whole sessions on the simulated modem, paced like a real serial line: connect and list an
// empty SIM and one of 200 messages, connect and send one message, connect and write 20
// phonebook entries.  Telvane (telvane-tool modem, and the engine itself for the phonebook,
// which the tool does not write), and gammu and gnokii where installed, each on a fresh modem
// with the same SIM in the same run; the median of ROUNDS runs, and each client's time against
// Telvane's.  Run by hand, not part of ./test:
//
//   build/bench/link_bench [--rounds 3] [--baud 115200] [--only list0|list200|send|phonebook]
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "modem/modem_engine.h"
#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace telvane;

// A session that has not ended after this long counts as failed.
constexpr int kSessionLimitSeconds = 120;

std::string Scenario(int messages, int baud) {
    std::string text = "[modem]\nbaud = " + std::to_string(baud) +
                       "\n[sim]\nmessage_capacity = 255\n[phonebook]\ncapacity = 250\n"
                       "number_limit = 20\ntext_limit = 14\n1 = +886912345678 | Amy Chen\n"
                       "[messages]\n";
    for (int i = 1; i <= messages; ++i) {
        text += std::to_string(i) + " = REC READ | +8869123" + std::to_string(10000 + i) +
                " | 26/12/01,09:15:00+32 | Message " + std::to_string(i) +
                ": the meeting moved to 3pm, room 402, bring the slides.\n";
    }
    return text;
}

// Runs a shell command; false when it failed or did not end in time.  `anyEnd` accepts a
// failure that was not the time limit's (gnokii reports an empty SIM as an error).
bool Shell(const std::string& command, std::string* output, bool anyEnd = false) {
    const std::string line =
        "timeout -k 2 " + std::to_string(kSessionLimitSeconds) + " sh -c '" + command + "' 2>&1";
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) return false;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output->append(buffer, n);
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status)) return false;
    return WEXITSTATUS(status) == 0 || (anyEnd && WEXITSTATUS(status) < 124);
}

bool Installed(const std::string& program) {
    std::string out;
    return Shell("command -v " + program, &out);
}

// Telvane's phonebook write through the engine: start-up, the phonebook read that gives the
// SIM's limits, then 20 new entries written.
bool TelvaneWritePhonebook(const std::string& device, std::string* output) {
    SerialDeviceTable::Instance().Register("COM4", device);
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Notification> seen;
    const auto waitFor = [&](Notification wanted) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(kSessionLimitSeconds), [&] {
            return std::find(seen.begin(), seen.end(), wanted) != seen.end() ||
                   std::find(seen.begin(), seen.end(), Notification::kStartupFailed) != seen.end();
        }) && std::find(seen.begin(), seen.end(), wanted) != seen.end();
    };
    bool ok = false;
    {
        ModemEngine engine;
        if (engine.Open(4,
                        [&](Notification code) {
                            {
                                std::lock_guard lock(mutex);
                                seen.push_back(code);
                            }
                            changed.notify_all();
                        }) == 1 &&
            waitFor(Notification::kStarted) && static_cast<bool>(engine.ReadPhonebook()) &&
            waitFor(Notification::kPhonebookRead)) {
            {
                auto lock = engine.LockPhonebook();
                for (int i = 0; i < 20; ++i) {
                    engine.Phonebook().AddEntry(Widen("Entry " + std::to_string(i)),
                                                Widen("+8869550" + std::to_string(10000 + i)));
                }
            }
            ok = static_cast<bool>(engine.WritePhonebook()) &&
                 waitFor(Notification::kPhonebookWritten);
        }
        if (!ok) *output = engine.OpenError();
    }
    SerialDeviceTable::Instance().Unregister("COM4");
    return ok;
}

struct Client {
    std::string name;
    // The session for one operation on `device`, in `folder`; empty when the client has none.
    std::function<std::optional<std::function<bool(const std::string& device, std::string*)>>(
        const std::string& operation)>
        session;
};

std::vector<Client> Clients(const fs::path& folder) {
    const std::string home = "HOME=" + folder.string() + " ";
    std::vector<Client> clients;
    using Session = std::function<bool(const std::string&, std::string*)>;
    clients.push_back({"Telvane", [](const std::string& op) -> std::optional<Session> {
                           const std::string tool =
                               std::string(TELVANE_TOOL_PATH) + " modem --device ";
                           if (op == "list0" || op == "list200")
                               return [tool](const std::string& d, std::string* out) {
                                   return Shell(tool + d + " list", out);
                               };
                           if (op == "send")
                               return [tool](const std::string& d, std::string* out) {
                                   return Shell(tool + d + " send +886912345678 Hello", out);
                               };
                           return Session(TelvaneWritePhonebook);
                       }});
    if (Installed("gammu")) {
        const std::string vcf = (folder / "entries.vcf").string();
        std::ofstream cards(vcf);
        for (int i = 0; i < 20; ++i) {
            cards << "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Entry " << i << "\r\nTEL:+8869550"
                  << 10000 + i << "\r\nEND:VCARD\r\n";
        }
        clients.push_back({"gammu", [home, folder, vcf](const std::string& op) {
                               const std::string rc = (folder / "gammurc").string();
                               std::string command;
                               if (op == "list0" || op == "list200") command = "getallsms";
                               if (op == "send") command = "sendsms TEXT +886912345678 -text Hello";
                               if (op == "phonebook")
                                   command = "addnew " + vcf + " -yes -memory SM";
                               return std::optional<Session>(
                                   [home, rc, command](const std::string& d, std::string* out) {
                                       std::ofstream(rc)
                                           << "[gammu]\ndevice = " << d << "\nconnection = at\n";
                                       return Shell(home + "gammu -c " + rc + " " + command, out);
                                   });
                           }});
    }
    if (Installed("gnokii")) {
        const std::string entries = (folder / "entries.raw").string();
        std::ofstream raw(entries);
        for (int i = 0; i < 20; ++i)
            raw << "Entry " << i << ";+8869550" << 10000 + i << ";SM;" << i + 2 << ";5\n";
        clients.push_back(
            {"gnokii", [home, folder, entries](const std::string& op) {
                 const std::string rc = (folder / "gnokiirc").string();
                 std::string command;
                 if (op == "list0" || op == "list200") command = "--getsms SM 1 end";
                 if (op == "send")
                     command = "--sendsms +886912345678 < " + (folder / "text").string();
                 if (op == "phonebook") command = "--writephonebook -o < " + entries;
                 std::ofstream(folder / "text") << "Hello\n";
                 const bool emptySim = op == "list0";
                 return std::optional<Session>([home, rc, command, emptySim](const std::string& d,
                                                                             std::string* out) {
                     std::ofstream(rc) << "[global]\nport = " << d
                                       << "\nmodel = AT\nconnection = serial\n"
                                          "serial_baudrate = 115200\n";
                     return Shell(home + "gnokii --config " + rc + " " + command, out, emptySim);
                 });
             }});
    }
    return clients;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3, baud = 115200;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--rounds") rounds = std::atoi(argv[i + 1]);
        if (key == "--baud") baud = std::atoi(argv[i + 1]);
        if (key == "--only") only = argv[i + 1];
    }
    char name[] = "/tmp/telvane-link-bench-XXXXXX";
    if (::mkdtemp(name) == nullptr) return 1;
    const fs::path folder = name;
    const std::vector<Client> clients = Clients(folder);

    const struct Operation {
        const char* id;
        const char* title;
        int messages;
    } operations[] = {{"list0", "connect and list an empty SIM", 0},
                      {"list200", "connect and list 200 messages", 200},
                      {"send", "connect and send one message", 0},
                      {"phonebook", "connect and write 20 phonebook entries", 0}};

    std::printf("link_bench: %d rounds, modem at %d baud (0: unpaced); median seconds\n\n", rounds,
                baud);
    std::printf("%-40s", "");
    for (const Client& client : clients)
        std::printf("%18s", client.name.c_str());
    std::printf("\n");
    for (const Operation& op : operations) {
        if (!only.empty() && only != op.id) continue;
        std::printf("%-40s", op.title);
        std::fflush(stdout);
        double telvane = 0;
        for (const Client& client : clients) {
            const auto session = client.session(op.id);
            std::vector<double> times;
            std::string failure;
            for (int round = 0; round < rounds && failure.empty(); ++round) {
                std::string error;
                auto scenario = modemsim::ParseScenario(Scenario(op.messages, baud), &error);
                if (!scenario) {
                    failure = error;
                    break;
                }
                modemsim::SimulatedModem modem(*scenario);
                const std::string device = modem.Start();
                if (device.empty()) {
                    failure = modem.Error();
                    break;
                }
                std::string output;
                const auto start = Clock::now();
                const bool ok = (*session)(device, &output);
                const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
                modem.Stop();
                // Only a session that did the whole work counts.
                std::string missing;
                if (op.messages > 0 && output.find("Message " + std::to_string(op.messages) +
                                                   ":") == std::string::npos)
                    missing = "not every message was listed";
                if (std::string(op.id) == "send" && modem.SubmittedPdus().size() != 1)
                    missing = "no message was sent";
                if (std::string(op.id) == "phonebook" && modem.Phonebook().size() != 21)
                    missing = std::to_string(modem.Phonebook().size()) + " entries on the SIM";
                if (!ok || !missing.empty()) {
                    failure = missing + " " + output.substr(0, 300);
                    break;
                }
                times.push_back(seconds);
            }
            if (!failure.empty()) {
                std::printf("%18s", "failed");
                std::fprintf(stderr, "\n%s, %s: %s\n", client.name.c_str(), op.id, failure.c_str());
                continue;
            }
            const double median = Median(times);
            if (client.name == "Telvane") {
                telvane = median;
                std::printf("%18.3f", median);
            } else {
                std::printf("%9.3f (%5.2fx)", median, telvane / median);
            }
            std::fflush(stdout);
        }
        std::printf("\n");
    }
    std::printf("\n(x): Telvane's time divided by the client's; above 1, Telvane is slower.\n");
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    benchmark::DoNotOptimize(rounds);
    return 0;
}
