// The controller against a scripted engine and the recording window, with a data folder of the
// test's own.
#pragma once

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codec/message_joiner.h"
#include "control/link_controller.h"
#include "control/ui_strings.h"
#include "fake_engine.h"
#include "fake_window.h"
#include "platform/text.h"
#include "store/message_store.h"
#include "store/phonebook_table.h"
#include "support/folder_reader.h"
#include "support/temp_data_folder.h"
#include "support/wait.h"

namespace telvane::testing {

// While it lives, no file of this process can grow past a few bytes: every save fails (with
// EFBIG) and every load still works, even for root, whom file modes do not stop.
class FilesCannotGrow {
  public:
    FilesCannotGrow() {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FilesCannotGrow() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FilesCannotGrow(const FilesCannotGrow&) = delete;
    FilesCannotGrow& operator=(const FilesCannotGrow&) = delete;

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

inline SmsRecord Message(std::u16string number, std::u16string text,
                         std::u16string status = u"REC READ", int index = -1) {
    SmsRecord record;
    record.index = index;
    record.status = std::move(status);
    record.number = std::move(number);
    record.time = u"24/05/01,10:00:00";
    record.text = std::move(text);
    return record;
}

class ControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetLanguage(0);
        window.settings.port = u"COM1";
        window.settings.syncSms = false;
        window.settings.syncSimPhonebook = false;
        // An offline phonebook exists, as after any earlier connection: the first connection's
        // read of the SIM's names is not in these scripts.
        ASSERT_EQ(PhonebookTable().SaveFile(), 1);
        controller = std::make_unique<LinkController>(
            window, Timing(1.0), [s = script] { return std::make_unique<FakeEngine>(s); });
        window.controller = controller.get();
        // The history is made on its own thread: done before a test makes files fail to grow.
        ASSERT_TRUE(controller->History()->Writer().WaitIdle(kHangCeiling));
        window.Pump();
    }

    // As the engine does: the notification, then, when it names a job's end, that job's
    // result to its owner.
    void Emit(Notification notification) {
        ASSERT_TRUE(script->callback) << "no engine open";
        script->callback(notification);
        script->EndJob(notification);
        window.Pump();
    }

    void Connect() {
        controller->Connect();
        window.Pump();
        OpenPort();
    }

    // The port opens once ModemManager, where asked, has answered.
    void OpenPort() {
        ASSERT_TRUE(window.Fire(kTimerOpenPort));
        ASSERT_TRUE(window.PumpUntil([&] { return !controller->AwaitingModemManager(); }));
    }

    // The last message box told of a failed save of `file`, and so did the status line.
    bool SaveFailureShown(const std::string& file) const {
        if (window.messageTexts.empty()) return false;
        const std::u16string& text = window.messageTexts.back();
        return text.starts_with(u"Save failed: ") &&
               text.find(Utf8ToU16(file)) != std::u16string::npos && window.StatusShown(text);
    }

    void GoOnline() {
        Connect();
        Emit(Notification::kOperator);
    }

    // Online, with the Inbox file's messages in the listing: this connection saw their SIM
    // indexes.
    void GoOnlineListingTheInbox() {
        script->listing.clear();
        script->concat.clear();
        for (const SmsRecord& record : ReadFolder(FolderId::Inbox)) {
            for (const SmsPart& part : SplitJoined(record)) {
                script->listing.push_back(part.record);
                if (part.concat) script->concat[part.record.index] = *part.concat;
            }
        }
        window.settings.syncSms = true;
        GoOnline();
        Emit(Notification::kListingFinished);
    }

    TempDataFolder data;
    FakeWindow window;
    std::shared_ptr<EngineScript> script = std::make_shared<EngineScript>();
    std::unique_ptr<LinkController> controller;
};

}  // namespace telvane::testing
