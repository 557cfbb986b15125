// The link controller against a scripted engine: connecting, the status line, the busy state,
// the work after the link comes up, and the phonebook.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "controller_fixture.h"
#include "platform/files.h"

namespace telvane {
namespace {

using testing::ControllerTest;
using testing::Message;
using testing::ReadFolder;
using testing::WriteFolder;

// ---- connecting, status line, busy ----

TEST_F(ControllerTest, ConnectOpensThePortAtOnceAndGoesOnlineAtTheOperatorReport) {
    EXPECT_EQ(window.status, u"Nubo Ltd.");
    controller->Connect();
    // No second of nothing before the first command: the modem's answers set the pace.
    EXPECT_LT(window.timers.at(kTimerOpenPort), 100);
    EXPECT_EQ(window.status, u"Connecting");
    EXPECT_TRUE(window.enabled);  // the busy post has not been handled yet
    window.Pump();
    EXPECT_FALSE(window.enabled);
    EXPECT_TRUE(window.waitCursor);

    window.settings.autoServiceCentre = false;
    window.settings.serviceCentre = u"+85290000000";
    window.settings.port = u"COM3:";
    ASSERT_TRUE(window.Fire(kTimerOpenPort));
    EXPECT_FALSE(window.TimerRunning(kTimerOpenPort));
    EXPECT_EQ(script->openedPort, 3);
    EXPECT_EQ(script->serviceCentre, u"+85290000000");
    EXPECT_FALSE(controller->IsOnline());

    Emit(Notification::kSignalChanged);
    EXPECT_EQ(window.signal, 3);
    Emit(Notification::kOperator);
    EXPECT_TRUE(controller->IsOnline());
    EXPECT_TRUE(window.enabled);
    EXPECT_FALSE(window.waitCursor);
    EXPECT_EQ(window.status, u"LDTA");

    // Connect again disconnects, 100 ms later.
    controller->Connect();
    EXPECT_EQ(window.timers.at(kTimerDisconnect), 100);
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_FALSE(controller->HasEngine());
    EXPECT_FALSE(controller->IsOnline());
    EXPECT_EQ(window.signal, 0);
    EXPECT_EQ(window.status, u"Offline");
    EXPECT_EQ(script->destroyed, 1);
}

TEST_F(ControllerTest, TheModemsOwnCentreIsShownWhileConnectedAndNeverUsedAsTheUsers) {
    script->detectedCentre = u"+886932400821";
    GoOnline();
    Emit(Notification::kStarted);
    ASSERT_FALSE(window.detectedCentres.empty());
    EXPECT_EQ(window.detectedCentres.back(), u"+886932400821");
    EXPECT_EQ(script->serviceCentre, u"");  // Auto Detect: the engine keeps the modem's own
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_EQ(window.detectedCentres.back(), u"");
}

TEST_F(ControllerTest, PortsThatCannotBeOpenedLeaveTheControllerOfflineWithTheReason) {
    struct Case {
        std::u16string port;
        int number;
    };
    // COM10 is not COM1: the whole number counts.
    for (const Case& c : {Case{u"COM5", 5}, Case{u"COM10", 10}, Case{u"", 0}}) {
        window.settings.port = c.port;
        script->openResult = 0;
        script->openError = "no such device";
        window.messageTexts.clear();
        Connect();
        EXPECT_EQ(script->openedPort, c.number);
        EXPECT_FALSE(controller->HasEngine());
        EXPECT_EQ(window.status, u"Initialize failed: no such device");
        EXPECT_TRUE(window.enabled);
        ASSERT_EQ(window.messageTexts.size(), 1u);
        EXPECT_EQ(window.messageTexts[0], u"Initialize failed\nno such device");
        // It stays: there is no engine to take a label from.
        ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
        EXPECT_EQ(window.status, u"Initialize failed: no such device");
    }
}

TEST_F(ControllerTest, ConnectCancelsUntilTheLinkIsUpAndOnlyBeepsWhileBusyAfter) {
    // Before the port is open, and while the modem starts: the window is busy, yet Connect is
    // the one command it keeps, and it closes the link at once.
    for (bool portOpen : {false, true}) {
        controller->Connect();
        window.Pump();
        EXPECT_FALSE(window.enabled);
        EXPECT_TRUE(window.connectCancels);
        if (portOpen) {
            ASSERT_TRUE(window.Fire(kTimerOpenPort));
        }
        controller->Connect();
        window.Pump();
        EXPECT_EQ(window.beeps, 0);
        EXPECT_FALSE(controller->HasEngine());
        EXPECT_FALSE(window.TimerRunning(kTimerOpenPort));
        EXPECT_FALSE(window.connectCancels);
        EXPECT_TRUE(window.enabled);
        EXPECT_EQ(window.status, u"Connect cancelled");
        ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
        EXPECT_EQ(window.status, u"Connect cancelled") << "kept: no label replaces it";
        EXPECT_TRUE(window.messageTexts.empty());
    }
    EXPECT_EQ(script->opens, 1);
    EXPECT_EQ(script->destroyed, 2);

    // Still starting, the modem finds no network: the status says why, the start-up still
    // holds the window, and Connect still cancels.
    Connect();
    script->operatorText = u"No network";
    Emit(Notification::kCmeError);
    EXPECT_FALSE(window.enabled);
    EXPECT_EQ(window.status, u"Not registered on a network");
    controller->Connect();
    window.Pump();
    EXPECT_FALSE(controller->HasEngine());
    EXPECT_TRUE(window.enabled);

    // Online, the busy window only beeps.
    script->operatorText = u"LDTA";
    GoOnline();
    EXPECT_FALSE(window.connectCancels);
    controller->OnBusyMessage(1, 1);
    controller->Connect();
    EXPECT_EQ(window.beeps, 1);
    EXPECT_TRUE(controller->HasEngine());
    EXPECT_FALSE(window.TimerRunning(kTimerDisconnect));
}

TEST_F(ControllerTest, AStartupFailureIsNamedAndKeptOnTheStatusLine) {
    struct Case {
        std::optional<Notification> reason;
        bool online;
        std::u16string status;  // after the disconnect
        bool box;
    };
    const Case cases[] = {
        {Notification::kModemSilent, false,
         u"Initialize failed: The modem does not answer: check the port and the cable", true},
        {Notification::kNotAModem, false,
         u"Initialize failed: The device on this port does not answer as a modem: check the port",
         true},
        {Notification::kNoSim, false, u"Initialize failed: No SIM card in the modem", true},
        {Notification::kSimNotReady, false, u"Initialize failed: The SIM card did not become ready",
         true},
        {std::nullopt, false, u"Initialize failed", true},
        {Notification::kLinkLost, true, u"The link to the modem dropped", true},
        // The window asks for the PIN instead of a box (here the user gives none).
        {Notification::kSimPinRequired, false, u"Enter the SIM's PIN", false},
    };
    // A lost link that is not waited for.
    window.settings.reconnectOnReturn = false;
    for (const Case& c : cases) {
        window.messageTexts.clear();
        if (c.online) {
            GoOnline();
        } else {
            Connect();
        }
        if (c.reason) Emit(*c.reason);
        Emit(Notification::kStartupFailed);
        ASSERT_TRUE(window.Fire(kTimerDisconnect));
        EXPECT_FALSE(controller->HasEngine());
        EXPECT_TRUE(window.enabled);
        EXPECT_EQ(window.status, c.status);
        ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
        EXPECT_EQ(window.status, c.status) << "not replaced by Offline";
        if (c.box) {
            EXPECT_EQ(window.messageTexts, std::vector<std::u16string>{c.status});
        } else {
            EXPECT_TRUE(window.messageTexts.empty());
        }
    }
}

TEST_F(ControllerTest, StatusTimeoutShowsTheOperatorAndPollsTheSignalWhileOnlineAndIdle) {
    GoOnline();
    controller->ShowStatus(u"something");
    EXPECT_EQ(window.timers.at(kTimerStatusTimeout), 15000);
    script->operatorText = u"45406";
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_EQ(window.status, u"SmarTone");
    EXPECT_EQ(script->signalRequests, 1);
    EXPECT_TRUE(window.TimerRunning(kTimerStatusTimeout));  // keeps polling

    script->operatorText = u"No network";
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_EQ(window.status, u"No network");

    // While busy the status text stays.
    controller->OnBusyMessage(1, 1);
    controller->ShowStatus(u"busy text");
    ASSERT_TRUE(window.Fire(kTimerStatusTimeout));
    EXPECT_EQ(window.status, u"busy text");
}

TEST_F(ControllerTest, EngineCallbackOnlyPostsToTheWindowThread) {
    Connect();
    std::thread dispatcher([this] { script->callback(Notification::kOperator); });
    dispatcher.join();
    EXPECT_FALSE(controller->IsOnline());
    window.Pump();
    EXPECT_TRUE(controller->IsOnline());

    // Notifications a torn-down engine posted are dropped.
    LinkEngine::Callback old = script->callback;
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    old(Notification::kStartupFailed);
    window.Pump();
    EXPECT_FALSE(window.TimerRunning(kTimerDisconnect));
}

// ---- the after-connect sequence ----

TEST_F(ControllerTest, AfterConnectFollowsTheSynchronisationSettings) {
    WriteFolder(FolderId::Outbox, {Message(u"111", u"queued", u"")});
    constexpr Notification kRead = Notification::kPhonebookRead;
    constexpr Notification kWritten = Notification::kPhonebookWritten;
    struct Case {
        bool syncSms, syncPhonebook, readPhonebook;
        std::vector<std::string> atOnline;          // jobs started when the operator is reported
        std::optional<Notification> phonebookDone;  // then this notification
        std::vector<std::string> afterPhonebook;
        std::u16string status;  // shown at the operator report
    };
    const Case cases[] = {
        {false, false, true, {"send"}, std::nullopt, {}, u"LDTA"},
        {true, false, true, {"list 4"}, std::nullopt, {}, u"Loading SMS..."},
        {false, true, true, {"read phonebook"}, kRead, {"send"}, u"Loading SIM phonebook..."},
        {true, true, true, {"read phonebook"}, kRead, {"list 4"}, u"Loading SIM phonebook..."},
        {false, true, false, {"write phonebook"}, kWritten, {"send"}, u"Write SIM phonebook..."},
        {true, true, false, {"write phonebook"}, kWritten, {"list 4"}, u"Write SIM phonebook..."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(
            std::vector<bool>{c.syncSms, c.syncPhonebook, c.readPhonebook}));
        window.settings.syncSms = c.syncSms;
        window.settings.syncSimPhonebook = c.syncPhonebook;
        window.settings.readSimPhonebook = c.readPhonebook;
        script->calls.clear();
        GoOnline();
        EXPECT_EQ(script->calls, c.atOnline);
        EXPECT_TRUE(window.StatusShown(c.status));
        if (c.phonebookDone) {
            EXPECT_FALSE(window.enabled);
            script->calls.clear();
            Emit(*c.phonebookDone);
            EXPECT_EQ(script->calls, c.afterPhonebook);
        }
        if (c.syncSms) {
            EXPECT_FALSE(window.enabled);
            script->calls.clear();
            Emit(Notification::kListingFinished);
            // The Outbox run starts once the window is idle again: no beep.
            EXPECT_EQ(script->calls, std::vector<std::string>{"send"});
        }
        EXPECT_EQ(window.beeps, 0);
        EXPECT_FALSE(window.enabled);  // the Outbox run holds the busy state
        controller->Connect();
        EXPECT_EQ(window.beeps, 1);
        EXPECT_TRUE(controller->HasEngine());
        // The run ends with its send (failed: the message stays for the next case).
        Emit(Notification::kSendFailed);
        EXPECT_TRUE(window.enabled);
        window.beeps = 0;
        controller->Connect();
        ASSERT_TRUE(window.Fire(kTimerDisconnect));
        window.Pump();
    }
}

TEST_F(ControllerTest, ListingRebuildsTheInboxAndAFailedListingSaysSo) {
    window.settings.syncSms = true;
    WriteFolder(FolderId::Inbox, {Message(u"999", u"gone from the SIM")});
    script->listing = {Message(u"111", u"one", u"REC UNREAD", 1),
                       Message(u"222", u"two", u"REC READ", 2)};
    GoOnline();
    Emit(Notification::kListingFinished);
    const std::vector<SmsRecord> inbox = ReadFolder(FolderId::Inbox);
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(inbox[0].number, u"111");
    EXPECT_EQ(inbox[1].index, 2);
    EXPECT_EQ(window.tab, 0);
    ASSERT_EQ(window.rows.size(), 2u);
    EXPECT_EQ(window.rows[0].icon, kIconUnread);
    EXPECT_EQ(window.rows[1].icon, kIconRead);
    EXPECT_TRUE(window.enabled);

    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    // A failed listing keeps the Inbox, says why, and still sends what waits in the Outbox.
    WriteFolder(FolderId::Outbox, {Message(u"333", u"waiting", u"STO UNSENT")});
    GoOnline();
    script->calls.clear();
    script->lastFailure = "the modem's listing has a malformed line";
    Emit(Notification::kListingFailed);
    ASSERT_EQ(window.messageTexts.size(), 1u);
    EXPECT_EQ(window.messageTexts[0], LoadUiString(ui_text::kCouldNotReadSimMessages) +
                                          u"\nthe modem's listing has a malformed line");
    EXPECT_EQ(ReadFolder(FolderId::Inbox).size(), 2u);
    EXPECT_EQ(script->calls, std::vector<std::string>{"send"});
}

// Messages beyond the Inbox's room are counted by the store that keeps them.
TEST_F(ControllerTest, MessagesTheInboxCannotShowAreCountedPerStore) {
    window.settings.syncSms = true;
    for (int i = 1; i <= kFolderSlots + 10; ++i)
        script->listing.push_back(Message(u"111", Widen(std::to_string(i)), u"REC READ", i));
    for (int i = 1; i <= 5; ++i) {
        script->listing.push_back(Message(u"222", u"in the phone", u"REC READ", i));
        script->listing.back().store = "ME";
    }
    GoOnline();
    Emit(Notification::kListingFinished);
    EXPECT_EQ(ReadFolder(FolderId::Inbox).size(), static_cast<size_t>(kFolderSlots));
    EXPECT_TRUE(window.StatusShown(u"10 more messages on the SIM, 5 in the phone"));
}

// ---- phonebook ----

TEST_F(ControllerTest, OfflinePhonebookEditsReachTheSimAtTheNextConnect) {
    PhonebookTable initial;
    initial.SetLimits(20, 14, 5);
    initial.AddEntry(u"Ann", u"111");
    ASSERT_EQ(initial.SaveFile(), 1);
    controller->Phonebook().Load();

    ASSERT_EQ(controller->Phonebook().Add(u"Bob", u"+222"), 1);
    controller->Phonebook().AfterChange();  // offline: into the file
    window.Pump();
    PhonebookTable file;
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[1].name, u"Bob");
    EXPECT_EQ(file.Entries()[1].changed, 1);

    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = false;
    GoOnline();
    EXPECT_EQ(script->calls, std::vector<std::string>{"write phonebook"});
    // The engine's table was loaded from the file before the write.
    EXPECT_EQ(script->phonebook.Entries()[1].name, u"Bob");
    script->phonebook.MarkWritten(0);
    script->phonebook.MarkWritten(1);
    Emit(Notification::kPhonebookWritten);
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[1].changed, 0);

    // Online edits go to the SIM while "SyncSIMPbk" is on, holding the busy state until done.
    controller->SetPage(kPagePhonebook);
    controller->OnBusyMessage(0, 1);
    ASSERT_EQ(controller->Phonebook().Update(1, u"Ann B", u"111"), 1);
    controller->Phonebook().AfterChange();
    window.Pump();
    EXPECT_FALSE(window.enabled);
    EXPECT_EQ(script->phonebookWrites, 2);
    Emit(Notification::kPhonebookWritten);
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(window.phonebookRefreshes, 1);

    // A refused write frees the window and keeps the change pending in the file.
    script->acceptPhonebookWrite = false;
    ASSERT_EQ(controller->Phonebook().Delete(2), 1);
    controller->Phonebook().AfterChange();
    window.Pump();
    EXPECT_TRUE(window.enabled);
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[1].changed, 1);
    EXPECT_TRUE(file.Entries()[1].IsEmpty());

    // After a disconnect the offline table shows the engine's last state.
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_EQ(controller->Phonebook().Entries()[0].name, u"Ann B");
}

// Offline numbers go to the SIM only in the number normaliser's form; one it refuses stays
// pending in the file, unwritten, and the user is told which and why.
TEST_F(ControllerTest, PhonebookNumbersReachTheSimOnlyNormalised) {
    PhonebookTable initial;
    initial.SetLimits(20, 14, 5);
    ASSERT_EQ(initial.UpdateEntry(1, u"Ann", u"0912;+CMGD=1,4"), 1);
    ASSERT_EQ(initial.UpdateEntry(2, u"Bob", u"0912-345 678"), 1);
    ASSERT_EQ(initial.SaveFile(), 1);
    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = false;
    GoOnline();
    ASSERT_EQ(script->calls, std::vector<std::string>{"write phonebook"});
    ASSERT_EQ(script->toWrite.size(), 1u);
    EXPECT_EQ(script->toWrite[0].name, u"Bob");
    EXPECT_EQ(script->toWrite[0].number, u"0912345678");
    script->phonebook.MarkWritten(1);
    Emit(Notification::kPhonebookWritten);
    EXPECT_TRUE(window.enabled);

    PhonebookTable file;
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[0].changed, 1);
    EXPECT_EQ(file.Entries()[0].number, u"0912;+CMGD=1,4");
    EXPECT_EQ(file.Entries()[1].changed, 0);
    ASSERT_FALSE(window.messageTexts.empty());
    EXPECT_NE(window.messageTexts.back().find(u"1 Ann: "), std::u16string::npos)
        << U16ToUtf8(window.messageTexts.back());
}

// A phonebook read that fails keeps the offline copy, says why and lets the connection go on;
// a write the SIM refused entries of keeps them pending.  Neither holds the window after.
TEST_F(ControllerTest, AFailedPhonebookJobKeepsTheFileAndGoesOn) {
    PhonebookTable initial;
    initial.SetLimits(20, 14, 5);
    initial.AddEntry(u"Ann", u"111");
    ASSERT_EQ(initial.SaveFile(), 1);
    window.settings.syncSms = true;
    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = true;
    GoOnline();
    EXPECT_FALSE(window.enabled);
    script->calls.clear();
    script->lastFailure =
        "the SIM phonebook could not be read: no answer from the modem within 5 s";
    Emit(Notification::kPhonebookReadFailed);
    EXPECT_TRUE(
        window.StatusShown(u"The SIM phonebook did not answer: " + Utf8ToU16(script->lastFailure)));
    EXPECT_EQ(script->calls, std::vector<std::string>{"list 4"});  // the sequence goes on
    EXPECT_FALSE(window.enabled);                                  // the listing holds it now
    PhonebookTable file;
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[0].name, u"Ann");  // not replaced
    Emit(Notification::kListingFinished);
    EXPECT_TRUE(window.enabled);

    controller->SetPage(kPagePhonebook);
    ASSERT_EQ(controller->Phonebook().Add(u"Bob", u"222"), 1);
    controller->Phonebook().AfterChange();
    window.Pump();
    EXPECT_FALSE(window.enabled);
    script->phonebookRefusals = {{2, "+CME ERROR: 20 (memory full)"}};
    {
        std::lock_guard lock(script->phonebookMutex);
        script->phonebook.UpdateEntry(2, u"Bob", u"222");
    }
    Emit(Notification::kPhonebookWriteFailed);
    EXPECT_TRUE(window.enabled);
    EXPECT_EQ(window.phonebookRefreshes, 1);
    ASSERT_FALSE(window.messageTexts.empty());
    EXPECT_NE(window.messageTexts.back().find(u"2 Bob: +CME ERROR: 20 (memory full)"),
              std::u16string::npos)
        << U16ToUtf8(window.messageTexts.back());
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[1].name, u"Bob");
    EXPECT_EQ(file.Entries()[1].changed, 1);
}

TEST_F(ControllerTest, ReadingTheSimReplacesOfflineEdits) {
    PhonebookTable initial;
    initial.SetLimits(20, 14, 3);
    initial.AddEntry(u"Local", u"111");
    ASSERT_EQ(initial.SaveFile(), 1);
    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = true;
    GoOnline();
    EXPECT_EQ(script->calls, std::vector<std::string>{"read phonebook"});
    script->phonebook.SetLimits(20, 14, 3);
    script->phonebook.StoreFromSim(1, u"From SIM", u"999");
    Emit(Notification::kPhonebookRead);
    PhonebookTable file;
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[0].name, u"From SIM");
    EXPECT_EQ(file.Entries()[0].changed, 0);
}

TEST_F(ControllerTest, ThePhonebookPageUsesTheEnginesTableUnderItsLock) {
    GoOnline();
    {
        const std::lock_guard lock(script->phonebookMutex);
        script->phonebook.SetLimits(20, 14, 50);
    }
    // Meanwhile the engine's worker fills the table, as a read from the SIM does.
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int i = 0; !stop.load(); ++i) {
            const std::lock_guard lock(script->phonebookMutex);
            script->phonebook.StoreFromSim(1 + i % 50, u"Worker", u"123");
        }
    });
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(controller->Phonebook().Update(1 + i % 50, u"Page", u"456"), 1);
        EXPECT_EQ(controller->Phonebook().Entries().size(), 50u);
        EXPECT_EQ(controller->Phonebook().Capacity(), 50);
    }
    stop = true;
    worker.join();
}

// The file's bytes, with the four at `offset` replaced by -1.
void DamageCount(const std::filesystem::path& file, size_t offset) {
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GE(bytes.size(), offset + 4);
    bytes.replace(offset, 4, "\xff\xff\xff\xff");
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

TEST_F(ControllerTest, DamagedAndUnreadableFilesAreToldOnceWithWhatWasKept) {
    WriteFolder(FolderId::Draft, {Message(u"1", u"a"), Message(u"2", u"b")});
    DamageCount(data / "smsdraft.acr", 0);
    const std::u16string draft = Utf8ToU16((data / "smsdraft.acr").string());

    controller->Folders().ShowFolder(3);
    window.Pump();
    EXPECT_EQ(window.rows.size(), 2u);  // what could be read is shown
    const std::u16string told =
        draft +
        u" is damaged: 2 records could be read. Before it is next saved, the original "
        u"is kept as smsdraft.acr.damaged-<time>.";
    EXPECT_EQ(window.status, told);
    EXPECT_EQ(window.messageTexts, std::vector<std::u16string>{told});
    controller->Folders().ShowFolder(3);
    window.Pump();
    EXPECT_EQ(window.messageTexts.size(), 1u) << "told once";

    // The save that follows keeps the original and says where.
    window.TickRowsWithData({0});
    controller->Folders().DeleteTicked();
    window.Pump();
    ASSERT_EQ(window.messageTexts.size(), 2u);
    const std::u16string kept = window.messageTexts[1];
    EXPECT_TRUE(kept.starts_with(u"The damaged original of " + draft + u" is kept as " + draft +
                                 u".damaged-"))
        << U16ToUtf8(kept);
    EXPECT_TRUE(std::filesystem::exists(U16ToUtf8(kept.substr(kept.rfind(u' ') + 1))));
    EXPECT_EQ(ReadFolder(FolderId::Draft).size(), 1u);

    // A folder that cannot be read at all, and a damaged phonebook; both in one box.
    std::filesystem::create_directory(data / "smssent.acr");
    controller->Folders().ShowFolder(2);
    PhonebookTable phonebook;
    phonebook.SetLimits(20, 14, 2);
    phonebook.AddEntry(u"Ann", u"111");
    ASSERT_EQ(phonebook.SaveFile(), 1);
    DamageCount(data / "simpbk.acr", 8);
    ASSERT_FALSE(controller->Phonebook().Load());
    EXPECT_EQ(controller->Phonebook().Entries()[0].name, u"Ann");
    window.Pump();
    ASSERT_EQ(window.messageTexts.size(), 3u);
    const std::u16string both = window.messageTexts[2];
    EXPECT_TRUE(both.starts_with(u"A file could not be read and is left as it is: "))
        << U16ToUtf8(both);
    EXPECT_NE(both.find(u"smssent.acr"), std::u16string::npos);
    EXPECT_NE(both.find(u"simpbk.acr is damaged: 1 records could be read"), std::u16string::npos)
        << U16ToUtf8(both);
    EXPECT_TRUE(std::filesystem::is_directory(data / "smssent.acr"));
}

TEST_F(ControllerTest, APhonebookEditTheDiskCannotKeepIsUndoneAndTold) {
    PhonebookTable initial;
    initial.SetLimits(20, 14, 3);
    initial.AddEntry(u"Ann", u"111");
    ASSERT_EQ(initial.SaveFile(), 1);
    const std::string before = initial.Encode();
    PhonebookCache& cache = controller->Phonebook();
    ASSERT_TRUE(cache.Load());
    for (int err : {ENOSPC, EROFS}) {
        {
            ScopedWriteFault fault(err);
            ASSERT_EQ(cache.Add(u"Ben", u"222"), 1);
            ASSERT_EQ(cache.Update(1, u"Ann B", u"111"), 1);
            cache.AfterChange();
        }
        window.Pump();
        ASSERT_FALSE(window.messageTexts.empty());
        EXPECT_TRUE(window.messageTexts.back().starts_with(u"Save failed: "));
        EXPECT_NE(window.messageTexts.back().find(Utf8ToU16(std::strerror(err))),
                  std::u16string::npos)
            << U16ToUtf8(window.messageTexts.back());
        EXPECT_EQ(cache.Entries()[0].name, u"Ann");
        EXPECT_TRUE(cache.Entries()[1].IsEmpty());
        PhonebookTable file;
        ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
        EXPECT_EQ(file.Encode(), before);
    }
    // With room again, the next edit is kept, and only it.
    ASSERT_EQ(cache.Add(u"Cat", u"333"), 1);
    cache.AfterChange();
    PhonebookTable file;
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[0].name, u"Ann");
    EXPECT_EQ(file.Entries()[1].name, u"Cat");
    EXPECT_TRUE(file.Entries()[2].IsEmpty());
}

TEST_F(ControllerTest, EntriesTheSimRefusesAreNamedWithTheirReasonAndStayChanged) {
    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = false;
    GoOnline();
    {
        const std::lock_guard lock(script->phonebookMutex);
        script->phonebook.SetLimits(20, 14, 3);
    }
    Emit(Notification::kPhonebookWritten);
    ASSERT_EQ(controller->Phonebook().Add(u"Ann", u"111"), 1);
    ASSERT_EQ(controller->Phonebook().Add(u"Ben", u"222"), 1);
    controller->Phonebook().AfterChange();
    window.Pump();
    {
        const std::lock_guard lock(script->phonebookMutex);
        script->phonebook.MarkWritten(0);
    }
    script->phonebookRefusals = {{2, "+CME ERROR: 20 (memory full)"}};
    Emit(Notification::kPhonebookWriteFailed);
    EXPECT_TRUE(window.enabled);
    ASSERT_EQ(window.messageTexts.size(), 1u);
    EXPECT_EQ(window.messageTexts[0],
              u"The SIM refused these phonebook entries; they stay marked as not written:\n"
              u"2 Ben: +CME ERROR: 20 (memory full)");
    PhonebookTable file;
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[0].changed, 0);
    EXPECT_EQ(file.Entries()[1].changed, 1);
}

TEST_F(ControllerTest, ARefusedPhonebookEditWritesNothing) {
    const auto writeFile = [] {
        PhonebookTable initial;
        initial.SetLimits(20, 14, 2);
        initial.AddEntry(u"Ann", u"111");
        initial.AddEntry(u"Ben", u"222");
        ASSERT_EQ(initial.SaveFile(), 1);
    };
    writeFile();
    PhonebookCache& cache = controller->Phonebook();
    ASSERT_TRUE(cache.Load());
    const std::filesystem::path file = data / "simpbk.acr";
    std::filesystem::remove(file);

    // Offline: neither a full table nor a missing entry reaches the file.
    EXPECT_EQ(cache.Add(u"Cat", u"333"), 0);
    cache.AfterChange();
    EXPECT_EQ(cache.Update(9, u"Nobody", u"999"), 0);
    cache.AfterChange();
    EXPECT_FALSE(std::filesystem::exists(file));

    // Online with the SIM kept in step: no write job either, and the window stays free.
    writeFile();
    window.settings.syncSimPhonebook = true;
    window.settings.readSimPhonebook = false;
    GoOnline();
    Emit(Notification::kPhonebookWritten);
    script->calls.clear();
    std::filesystem::remove(file);
    EXPECT_EQ(cache.Delete(7), 0);
    cache.AfterChange();
    window.Pump();
    EXPECT_TRUE(window.enabled);
    EXPECT_TRUE(script->calls.empty());
    EXPECT_FALSE(std::filesystem::exists(file));

    // A done edit after a refused one is written as before.
    EXPECT_EQ(cache.Update(1, u"Ann B", u"111"), 1);
    cache.AfterChange();
    window.Pump();
    EXPECT_EQ(script->calls, std::vector<std::string>{"write phonebook"});
}

}  // namespace
}  // namespace telvane
