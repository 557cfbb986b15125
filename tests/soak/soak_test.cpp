// Soak: the link controller with the real engine against the simulated modem, cycle after cycle,
// with faults.  Each cycle connects to a fresh simulated modem holding the SIM as the previous
// cycle left it, lets the connect-time listing and phonebook transfer run, sends one message to
// several recipients, edits the phonebook, deletes an Inbox message, saves a draft, now and
// then deletes from Sent or Draft, and disconnects, while the modem drops the link at random
// points, answers in random pieces, sets bit 7 on random bytes, refuses submissions with "+CMS
// ERROR", swallows answers or stays silent. The window's timers run for real (scaled), and user
// actions happen only while the window is enabled, as with the real window.  Files fail too: now
// and then one user action meets a full disk or a read-only folder (its change must then not be
// kept, nor shown as done), and the Draft folder is found damaged at a connect (what could not
// be read must survive in the kept copy).
//
// After every cycle: every folder file and the phonebook file load whole; no saved record is lost
// or damaged; no recipient got a message again after its submission was confirmed; no PDU
// carried anything but hex; and the controller is idle and offline again.  At the end a clean
// connect lists the SIM into the Inbox and sends one message.  A submission whose answer was lost
// or came after the Outbox step gave up is sent again by a later run: counted, not failed.
//
// Size and replay, by environment:
//   TELVANE_SOAK_CYCLES=500   cycles (default 6; 3 under a sanitizer)
//   TELVANE_SOAK_SEED=1234    the seed printed by an earlier run (it fixes the faults and the
//                             user's actions; thread timing may still differ); default 1
//   TELVANE_SOAK_SEED=random  a new seed each run
// Every wait is for a state of the controller, bounded only by the hang ceiling.  The longest
// time one controller call or posted task held the window thread is printed and recorded as the
// test property "longest_stall_ms" (a figure, not a check: it depends on the machine's load).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "control/fake_window.h"
#include "control/link_controller.h"
#include "control/ui_strings.h"
#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "platform/files.h"
#include "platform/serial_devices.h"
#include "platform/text.h"
#include "platform/timing.h"
#include "store/message_store.h"
#include "store/phonebook_table.h"
#include "support/folder_reader.h"
#include "support/temp_data_folder.h"
#include "support/wait.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TELVANE_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TELVANE_SOAK_SANITIZED 1
#endif
#endif
#ifndef TELVANE_SOAK_SANITIZED
#define TELVANE_SOAK_SANITIZED 0
#endif

namespace telvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::FakeRow;
using testing::FakeWindow;
using testing::kHangCeiling;
using testing::TempDataFolder;

constexpr double kScale = TELVANE_SOAK_SANITIZED ? 0.05 : 0.03;
constexpr int kPhonebookCapacity = 30;

uint32_t Seed() {
    const char* value = std::getenv("TELVANE_SOAK_SEED");
    if (value == nullptr || *value == '\0') return 1;
    if (std::string(value) == "random") return std::random_device()() & 0x7fffffff;
    return static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
}

int EnvInt(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? static_cast<int>(std::strtol(value, nullptr, 10))
                                              : fallback;
}

// The fake window with working timers and a stopwatch on everything that runs on its thread.
class SoakWindow : public FakeWindow {
  public:
    void Post(std::function<void()> task) override {
        FakeWindow::Post([this, task = std::move(task)] { Timed(task); });
    }
    void StartTimer(int timerId, int64_t periodMs) override {
        FakeWindow::StartTimer(timerId, periodMs);
        started_[timerId] = Clock::now();
    }

    void Timed(const std::function<void()>& action) {
        const auto start = Clock::now();
        action();
        longest = std::max(longest, Clock::now() - start);
    }

    // Runs the window's loop: posted work and due timers, until `done` holds or time is up.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto end = Clock::now() + limit;
        for (;;) {
            Pump();
            if (done()) return true;
            if (Clock::now() >= end) return false;
            const std::map<int, int64_t> due = timers;
            for (const auto& [id, period] : due) {
                if (!TimerRunning(id)) continue;
                if (Clock::now() - started_[id] < std::chrono::milliseconds(period)) continue;
                started_[id] = Clock::now();
                Timed([&] { controller->OnTimer(id); });
                Pump();
            }
            PumpUntil([] { return false; }, 2ms);
        }
    }
    void RunFor(std::chrono::milliseconds time) {
        RunUntil([] { return false; }, time);
    }
    // As the real window: user commands only while it is enabled.
    bool Usable() const { return enabled && controller != nullptr && !controller->IsBusy(); }

    Clock::duration longest{};

  private:
    std::map<int, Clock::time_point> started_;
};

struct SimMessage {
    modemsim::StoredMessage stored;
    std::string sender, text;
};

// What was sent through the Outbox: the text and the full recipient list.
struct OutgoingMessage {
    std::u16string text;
    std::vector<std::string> recipients;
};

struct Figures {
    int cycles = 0, online = 0, submissions = 0, unconfirmedResends = 0, draftsKeptAside = 0;
    std::map<std::string, int> faults;
};

std::string Hex(const std::string& text) {
    return text.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos ? "" : text;
}

class Soak : public ::testing::Test {
  protected:
    void SetUp() override {
        SetLanguage(0);
        seed = Seed();
        random.seed(seed);
        std::printf("[ soak     ] seed %u (TELVANE_SOAK_SEED=%u replays)\n", seed, seed);
        std::fflush(stdout);
        RecordProperty("seed", std::to_string(seed));

        window.settings.port = u"COM2";
        window.settings.syncSms = true;
        window.settings.syncSimPhonebook = true;
        window.settings.readSimPhonebook = false;  // the file is the master copy
        PhonebookTable phonebook;
        phonebook.SetLimits(20, 14, kPhonebookCapacity);
        ASSERT_EQ(phonebook.SaveFile(), 1);

        controller = std::make_unique<LinkController>(window, Timing(kScale));
        window.controller = controller.get();
        controller->Phonebook().Load();
        window.Pump();
    }
    void TearDown() override {
        controller.reset();
        if (modem) modem->Stop();
        SerialDeviceTable::Instance().Unregister("COM2");
    }

    int Chance(double p) { return std::bernoulli_distribution(p)(random); }
    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

    std::string Faults(std::vector<std::string>& names, bool* randomDrop) {
        std::string text;
        auto add = [&](const std::string& name, const std::string& line) {
            names.push_back(name);
            text += line + "\n";
        };
        if (Chance(0.08)) {
            add("silence", "silent = yes");
        } else {
            if (Chance(0.5)) add("batches", "batches = 1 " + std::to_string(Between(2, 24)));
            if (Chance(0.4)) add("bit 7 noise", "bit7 = 0." + std::to_string(Between(1, 4)));
            if (Chance(0.3)) {
                add("+CMS ERROR", "cms_error = " + std::to_string(Between(1, 3)) + ":" +
                                      (Chance(0.5) ? "500" : "330"));
            }
            if (Chance(0.12)) add("no answer to +CMGS", "mute = +CMGS 1");
            if (Chance(0.08)) add("no answer to +CMGL", "mute = +CMGL 1");
            if (Chance(0.2)) add("delay", "delay = " + std::to_string(Between(2, 30)));
            if (Chance(0.2)) {
                add("drop after bytes", "drop_after_bytes = " + std::to_string(Between(100, 3000)));
            } else if (Chance(0.15)) {
                static const char* const kAt[] = {"+CMGL", "+CMGS", "+CPBW", "+CMGD", "+CSQ"};
                add("drop at command", std::string("drop_at = ") + kAt[Between(0, 4)] + " " +
                                           std::to_string(Between(0, 40)));
            }
        }
        *randomDrop = Chance(0.3);
        if (*randomDrop) names.push_back("link dropped");
        return text.empty() ? text
                            : "[faults]\n" + text + "seed = " + std::to_string(random()) + "\n";
    }

    void StartModem(const std::string& faults) {
        std::string text = "[phonebook]\ncapacity = " + std::to_string(kPhonebookCapacity) +
                           "\nnumber_limit = 20\ntext_limit = 14\n[messages]\n";
        for (const SimMessage& m : sim)
            text += std::to_string(m.stored.index) + " = " +
                    std::to_string(static_cast<int>(m.stored.stat)) + " | PDU | " + m.stored.pdu +
                    "\n";
        text += faults;
        std::string error;
        auto scenario = modemsim::ParseScenario(text, &error);
        ASSERT_TRUE(scenario) << error << "\n" << text;
        scenario->phonebook = simPhonebook;
        modem = std::make_unique<modemsim::SimulatedModem>(*scenario);
        const std::string device = modem->Start();
        ASSERT_FALSE(device.empty()) << modem->Error();
        SerialDeviceTable::Instance().Register("COM2", device);
    }

    // The SIM as this modem left it, for the next cycle's modem.
    void KeepSim() {
        sim.clear();
        for (const modemsim::StoredMessage& stored : modem->Messages()) {
            const modemsim::DecodedMessage decoded = modemsim::DecodeForTextMode(stored.pdu);
            sim.push_back({stored, decoded.number, decoded.text});
        }
        simPhonebook = modem->Phonebook();
    }

    void Connect() {
        window.Timed([&] { controller->Connect(); });
        ASSERT_TRUE(window.RunUntil(
            [&] { return controller->IsOnline() || !controller->HasEngine(); }, kHangCeiling));
        // The connect-time phonebook transfer and listing.
        ASSERT_TRUE(window.RunUntil([&] { return window.Usable() || !controller->HasEngine(); },
                                    kHangCeiling));
    }

    void Disconnect() {
        if (controller->HasEngine() && window.Usable()) {
            window.Timed([&] { controller->Connect(); });
        }
        // A busy window waits for its job to end or for the lost link to be noticed.
        window.RunUntil(
            [&] {
                if (controller->HasEngine() && window.Usable() &&
                    !window.TimerRunning(kTimerDisconnect))
                    window.Timed([&] { controller->Connect(); });
                return !controller->HasEngine() && window.Usable();
            },
            kHangCeiling);
    }

    void SendMessage(int cycle) {
        OutgoingMessage message;
        message.text = Widen("soak " + std::to_string(seed) + " c" + std::to_string(cycle));
        std::u16string list;
        const int count = Between(2, 4);
        for (int i = 0; i < count; ++i) {
            message.recipients.push_back("0912" + std::to_string(100000 + cycle * 10 + i));
            list += (i ? u";" : u"") + Widen(message.recipients.back());
        }
        window.recipients = list;
        window.composeText = message.text;
        const size_t told = window.messageTexts.size();
        window.Timed([&] { controller->SendComposed(); });
        // Not stored in the Outbox (a file fault): nothing was queued, and the user was told.
        if (SaveFailedSince(told)) return;
        outgoing.push_back(message);
    }

    void EditPhonebook(int cycle) {
        PhonebookCache& book = controller->Phonebook();
        if (Chance(0.4)) {
            // A copy: the cache hands out the entries, not the table it guards.
            const std::vector<PhonebookEntry> entries = book.Entries();
            std::vector<int> used;
            for (size_t position = 0; position < entries.size(); ++position)
                if (!entries[position].IsEmpty()) used.push_back(static_cast<int>(position));
            if (!used.empty()) {
                const int position = used[Between(0, static_cast<int>(used.size()) - 1)];
                deletedNames.insert(entries[position].name);
                window.Timed([&] {
                    book.Delete(position + 1);
                    book.AfterChange();
                });
                return;
            }
        }
        const std::u16string name =
            Widen("S" + std::to_string(seed % 1000) + "c" + std::to_string(cycle));
        const std::u16string number = Widen("+88690" + std::to_string(1000000 + cycle));
        window.Timed([&] {
            if (book.Add(name, number)) {
                contacts[name] = number;
                book.AfterChange();
            }
        });
    }

    // Ticks random rows of a folder and deletes them; what the user deleted from Sent or Draft
    // no longer has to be kept.
    void DeleteFrom(FolderId folder, int count) {
        window.Timed([&] { controller->Folders().ShowFolder(static_cast<int>(folder)); });
        if (window.rows.empty()) return;
        for (FakeRow& row : window.rows)
            row.ticked = false;
        for (int i = 0; i < count; ++i) {
            FakeRow& row = window.rows[Between(0, static_cast<int>(window.rows.size()) - 1)];
            row.ticked = true;
            if (folder == FolderId::Draft) drafts.erase(row.text);
            if (folder == FolderId::Sent) {
                std::erase_if(outgoing,
                              [&](const OutgoingMessage& m) { return m.text == row.text; });
            }
        }
        window.Timed([&] { controller->Folders().DeleteTicked(); });
    }

    void SaveDraft(int cycle) {
        const std::u16string text =
            Widen("draft " + std::to_string(seed) + " c" + std::to_string(cycle));
        window.recipients = u"0912000000";
        window.composeText = text;
        window.saveToFolder = static_cast<int>(FolderId::Draft);
        const int beeps = window.beeps;
        const size_t told = window.messageTexts.size();
        window.Timed([&] { controller->Folders().SaveComposed(); });
        // A full Draft folder refuses it with a beep; a file fault with its reason.
        if (window.beeps == beeps && !SaveFailedSince(told)) drafts.insert(text);
    }

    bool SaveFailedSince(size_t told) const {
        for (size_t i = told; i < window.messageTexts.size(); ++i)
            if (window.messageTexts[i].starts_with(u"Save failed: ")) return true;
        return false;
    }

    // The file's bytes; empty when it cannot be read.
    static std::string Bytes(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Damages the Draft file so that a loader must notice, keeping every text's bytes: its
    // count read as -1, its first record's marker broken, or junk behind the last record.
    void DamageDrafts() {
        const std::filesystem::path file = data / "smsdraft.acr";
        std::string bytes = Bytes(file);
        if (bytes.size() < 12) return;
        switch (Between(0, 2)) {
            case 0:
                bytes.replace(0, 4, "\xff\xff\xff\xff");
                break;
            case 1:
                bytes[8] = '\x7f';  // after the count and the first slot
                break;
            case 2:
                bytes += "\x01\x02\x03";
                break;
        }
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        draftsDamaged = true;
        ++figures.faults["damaged Draft folder"];
    }

    // A draft's text in the Draft file's bytes or in a copy kept of a damaged one.
    bool DraftKeptAside(const std::u16string& text) {
        std::string utf16;
        for (char16_t c : text) {
            utf16 += static_cast<char>(c & 0xFF);
            utf16 += static_cast<char>(c >> 8);
        }
        const std::string prefix = (data / "smsdraft.acr").string();
        for (const auto& entry : std::filesystem::directory_iterator(data.path())) {
            if (entry.path().string().starts_with(prefix) &&
                Bytes(entry.path()).find(utf16) != std::string::npos)
                return true;
        }
        return false;
    }

    void DumpTranscript() {
        for (const std::u16string& text : window.statusTexts)
            std::printf("status: %s\n", Narrow(text).c_str());
        for (const modemsim::TranscriptEntry& entry : modem->Transcript())
            std::printf("%8.3f %s %s\n", static_cast<double>(entry.ms) / 1000.0,
                        modemsim::KindName(entry.kind), entry.text.c_str());
    }

    // What the cycle's modem was sent; false when a recipient got a message again after the
    // Outbox had confirmed it.
    void CountSubmissions(bool confirmationsMayBeLost) {
        // An answer later than the Outbox step also fails the submission.
        confirmationsMayBeLost = confirmationsMayBeLost || window.StatusShown(u"Send failed");
        bool bad = false;
        std::map<std::pair<std::string, std::string>, int> thisCycle;
        for (const std::string& pdu : modem->SubmittedPdus()) {
            const modemsim::DecodedMessage decoded = modemsim::DecodeForTextMode(pdu);
            const auto key = std::make_pair(decoded.number, decoded.text);
            ++figures.submissions;
            ++thisCycle[key];
            if (confirmed.count(key)) {
                bad = true;
                ADD_FAILURE() << "sent again after confirmation: " << decoded.text << " to "
                              << decoded.number;
            } else if (submitted.count(key) || thisCycle[key] > 1) {
                // A submission whose answer never arrived counts as failed and is retried; one
                // from an earlier cycle was not confirmed, or `confirmed` would hold it.
                if (thisCycle[key] > 1 && !confirmationsMayBeLost) {
                    bad = true;
                    ADD_FAILURE() << "sent twice without a lost answer: " << decoded.text << " to "
                                  << decoded.number;
                }
                ++figures.unconfirmedResends;
            }
            submitted.insert(key);
        }
        for (const modemsim::TranscriptEntry& entry : modem->Transcript()) {
            if (entry.kind == modemsim::TranscriptEntry::Kind::Pdu) {
                bad = bad || !Hex(entry.text).empty();
                EXPECT_EQ(Hex(entry.text), "") << "a PDU with something else in it";
            }
        }
        if (bad) DumpTranscript();
    }

    std::vector<SmsRecord> Folder(FolderId id) { return testing::ReadFolder(id); }

    // The files against what was saved.
    void CheckFiles() {
        // Each Outbox message is in the Outbox with the recipients not yet confirmed, or in Sent
        // with all of them; never lost, never in both.
        const std::vector<SmsRecord> outbox = Folder(FolderId::Outbox);
        const std::vector<SmsRecord> sent = Folder(FolderId::Sent);
        for (const OutgoingMessage& message : outgoing) {
            std::u16string all;
            for (const std::string& r : message.recipients)
                all += (all.empty() ? u"" : u";") + Widen(r);
            const auto has = [&](const SmsRecord& record) { return record.text == message.text; };
            const auto inOutbox = std::count_if(outbox.begin(), outbox.end(), has);
            const auto inSent = std::count_if(sent.begin(), sent.end(), has);
            ASSERT_EQ(inOutbox + inSent, 1) << Narrow(message.text);
            std::u16string left;
            if (inSent) {
                EXPECT_EQ(std::find_if(sent.begin(), sent.end(), has)->number, all);
            } else {
                left = std::find_if(outbox.begin(), outbox.end(), has)->number;
                // Those a send failed for, in their order: the others were served meanwhile.
                std::vector<std::u16string> rest;
                for (std::u16string list = left; !list.empty();) {
                    const size_t end = list.find(u';');
                    rest.push_back(list.substr(0, end));
                    list = end == std::u16string::npos ? u"" : list.substr(end + 1);
                }
                auto next = message.recipients.begin();
                for (const std::u16string& r : rest) {
                    next = std::find(next, message.recipients.end(), Narrow(r));
                    EXPECT_NE(next, message.recipients.end())
                        << Narrow(left) << " of " << Narrow(all);
                    if (next != message.recipients.end()) ++next;
                }
            }
            for (const std::string& r : message.recipients) {
                if (left.find(Widen(r)) == std::u16string::npos)
                    confirmed.insert({r, Narrow(message.text)});
            }
        }
        // A Draft folder damaged at the connect may still be so if nothing saved over it; what
        // it holds then is read as the program reads it, and a draft it cannot show must be in
        // its bytes or in the copy a save kept.
        std::set<std::u16string> draftTexts;
        MessageStore draftStore;
        const bool draftsWhole = draftStore.LoadShown(FolderId::Draft) == 1;
        if (!draftsDamaged) {
            EXPECT_TRUE(draftsWhole) << "smsdraft.acr does not load: " << draftStore.LastError();
        }
        for (const FolderEntry& entry : draftStore.Shown().entries)
            if (entry.slot >= 0) draftTexts.insert(entry.record.text);
        for (auto it = drafts.begin(); it != drafts.end();) {
            if (draftTexts.count(*it)) {
                ++it;
            } else if (draftsDamaged && DraftKeptAside(*it)) {
                ++figures.draftsKeptAside;
                it = drafts.erase(it);  // kept for good: damaged copies are never overwritten
            } else {
                ADD_FAILURE() << "draft lost: " << Narrow(*it);
                ++it;
            }
        }
        if (draftsWhole) draftsDamaged = false;

        // The Inbox mirrors the SIM; whatever it holds must be a message the SIM was given.
        for (const SmsRecord& record : Folder(FolderId::Inbox)) {
            const auto it = delivered.find(Narrow(record.text));
            ASSERT_NE(it, delivered.end()) << "unknown Inbox text: " << Narrow(record.text);
            EXPECT_EQ(Narrow(record.number), it->second);
        }
        Folder(FolderId::Saved);

        PhonebookTable phonebook;
        ASSERT_EQ(phonebook.LoadFile(), 1) << phonebook.LastError();
        ASSERT_EQ(phonebook.Capacity(), kPhonebookCapacity);
        std::map<std::u16string, std::u16string> inFile;
        for (const PhonebookEntry& entry : phonebook.Entries()) {
            if (entry.IsEmpty()) continue;
            ASSERT_TRUE(contacts.count(entry.name)) << "unknown entry " << Narrow(entry.name);
            EXPECT_EQ(entry.number, contacts[entry.name]);
            inFile[entry.name] = entry.number;
        }
        for (const auto& [name, number] : savedContacts) {
            if (!deletedNames.count(name)) {
                EXPECT_TRUE(inFile.count(name)) << "phonebook entry lost: " << Narrow(name);
            }
        }
        savedContacts = inFile;
        deletedNames.clear();
    }

    void Cycle(int cycle) {
        window.statusTexts.clear();
        std::vector<std::string> faults;
        bool randomDrop = false;
        const std::string faultText = Faults(faults, &randomDrop);
        ASSERT_NO_FATAL_FAILURE(StartModem(faultText));
        for (const std::string& name : faults)
            ++figures.faults[name];
        const std::string incoming = "in " + std::to_string(seed) + " c" + std::to_string(cycle);
        delivered[incoming] = "+886955" + std::to_string(100000 + cycle);

        const auto dropAt = std::chrono::milliseconds(Between(0, 1500));
        const auto started = Clock::now();
        const auto dropIfDue = [&] {
            if (randomDrop && modem->LinkUp() && Clock::now() - started >= dropAt)
                modem->DropLink();
        };

        if (Chance(0.15)) DamageDrafts();
        // One user action of the cycle may meet a full disk or a read-only folder.
        const int faultedStep = Chance(0.3) ? Between(0, 3) : -1;
        const int fileError = Chance(0.5) ? ENOSPC : EROFS;
        if (faultedStep >= 0)
            ++figures.faults[fileError == ENOSPC ? "full disk" : "read-only folder"];

        ASSERT_NO_FATAL_FAILURE(Connect());
        if (controller->IsOnline()) ++figures.online;
        dropIfDue();
        modem->DeliverMessage(delivered[incoming], "26/12/10,08:00:00+32", Widen(incoming));

        // The user's work, in a random order, each when the window allows it.
        std::vector<int> steps = {0, 1, 2, 3, 4};
        std::shuffle(steps.begin(), steps.end(), random);
        for (int step : steps) {
            window.RunUntil(
                [&] {
                    dropIfDue();
                    return window.Usable();
                },
                kHangCeiling);
            if (!window.Usable()) break;
            std::optional<ScopedWriteFault> fileFault;
            if (step == faultedStep) fileFault.emplace(fileError);
            switch (step) {
                case 0:
                    if (controller->IsOnline()) SendMessage(cycle);
                    break;
                case 1:
                    EditPhonebook(cycle);
                    break;
                case 2:
                    DeleteFrom(FolderId::Inbox, 1);
                    break;
                case 3:
                    SaveDraft(cycle);
                    break;
                case 4:
                    // Now and then the user clears out Sent and Draft.
                    if (Chance(0.3)) DeleteFrom(Chance(0.5) ? FolderId::Sent : FolderId::Draft, 3);
                    break;
            }
            fileFault.reset();
            window.RunUntil(
                [&] {
                    dropIfDue();
                    return false;
                },
                std::chrono::milliseconds(Between(20, 400)));
        }
        // Let the Outbox run finish, or the faults end it.
        window.RunUntil(
            [&] {
                dropIfDue();
                return window.Usable();
            },
            kHangCeiling);
        Disconnect();
        if (controller->HasEngine() || !window.Usable()) {
            DumpTranscript();
            FAIL() << "cycle " << cycle << ": stuck; engine " << controller->HasEngine()
                   << ", busy " << controller->IsBusy() << ", online " << controller->IsOnline()
                   << ", faults:\n"
                   << faultText;
        }

        modem->Stop();
        const bool answersMayBeLost = randomDrop || faultText.find("drop") != std::string::npos ||
                                      faultText.find("mute") != std::string::npos ||
                                      faultText.find("silent") != std::string::npos;
        CountSubmissions(answersMayBeLost);
        KeepSim();
        SerialDeviceTable::Instance().Unregister("COM2");
        modem.reset();
        ASSERT_NO_FATAL_FAILURE(CheckFiles());
    }

    uint32_t seed = 0;
    std::mt19937 random;
    TempDataFolder data;
    SoakWindow window;
    std::unique_ptr<modemsim::SimulatedModem> modem;
    std::unique_ptr<LinkController> controller;

    std::vector<SimMessage> sim;
    std::vector<modemsim::Contact> simPhonebook;
    std::vector<OutgoingMessage> outgoing;
    std::map<std::string, std::string> delivered;  // text -> sender
    std::set<std::u16string> drafts;
    bool draftsDamaged = false;  // since the Draft file was damaged, until it loads whole
    std::map<std::u16string, std::u16string> contacts;  // every name given -> its number
    std::map<std::u16string, std::u16string> savedContacts;
    std::set<std::u16string> deletedNames;
    std::set<std::pair<std::string, std::string>> submitted, confirmed;
    Figures figures;
};

TEST_F(Soak, CyclesWithFaultsLoseNothingAndNeverSendTwice) {
    const int cycles = EnvInt("TELVANE_SOAK_CYCLES", TELVANE_SOAK_SANITIZED ? 3 : 6);
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle) + ", seed " + std::to_string(seed));
        ASSERT_NO_FATAL_FAILURE(Cycle(cycle));
        ++figures.cycles;
        if (HasFailure()) break;
    }

    // Still usable: a clean connect lists the SIM and sends one message.
    window.statusTexts.clear();
    ASSERT_NO_FATAL_FAILURE(StartModem(""));
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(controller->IsOnline());
    ASSERT_TRUE(window.RunUntil([&] { return window.Usable(); }, kHangCeiling));
    std::multiset<std::string> inbox, onSim;
    for (const SmsRecord& record : Folder(FolderId::Inbox))
        inbox.insert(Narrow(record.text));
    for (const modemsim::StoredMessage& stored : modem->Messages())
        onSim.insert(modemsim::DecodeForTextMode(stored.pdu).text);
    EXPECT_EQ(inbox, onSim);
    SendMessage(cycles + 1);
    ASSERT_TRUE(window.RunUntil([&] { return window.Usable(); }, kHangCeiling));
    Disconnect();
    modem->Stop();
    CountSubmissions(false);
    ASSERT_NO_FATAL_FAILURE(CheckFiles());
    const std::vector<SmsRecord> sent = Folder(FolderId::Sent);
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [&](const SmsRecord& record) {
        return record.text == outgoing.back().text;
    }));

    const double stallMs = std::chrono::duration<double, std::milli>(window.longest).count();
    std::string faultList;
    int faultCount = 0;
    for (const auto& [name, count] : figures.faults) {
        faultList += (faultList.empty() ? "" : ", ") + name + " " + std::to_string(count);
        faultCount += count;
    }
    const auto failedSaves = std::count_if(
        window.messageTexts.begin(), window.messageTexts.end(),
        [](const std::u16string& text) { return text.starts_with(u"Save failed: "); });
    std::printf(
        "[ soak     ] seed %u: %d cycles (%d online), %d faults injected (%s), longest stall "
        "%.1f ms, %d submissions, %d resent after an unconfirmed submission, %d saves refused "
        "by a file fault, %d drafts found only in a kept damaged copy\n",
        seed, figures.cycles, figures.online, faultCount, faultList.c_str(), stallMs,
        figures.submissions, figures.unconfirmedResends, static_cast<int>(failedSaves),
        figures.draftsKeptAside);
    RecordProperty("cycles", figures.cycles);
    RecordProperty("faults", faultCount);
    RecordProperty("longest_stall_ms", static_cast<int>(stallMs + 0.5));
    RecordProperty("submissions", figures.submissions);
}

}  // namespace
}  // namespace telvane
