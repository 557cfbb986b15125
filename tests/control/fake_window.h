// A recording stand-in for the main window: it keeps what the controller showed, runs posted work
// when the test pumps it, and fires timers when the test says so.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/link_controller.h"
#include "control/window_interface.h"
#include "support/temp_data_folder.h"
#include "support/wait.h"

namespace telvane::testing {

struct FakeRow {
    int icon = 0;
    std::u16string number, date, text;
    int data = -1;
    bool ticked = false;
};

class FakeWindow : public WindowInterface {
  public:
    LinkController* controller = nullptr;

    // Recorded output.
    std::vector<std::u16string> statusTexts;
    std::u16string status;
    int signal = -1;
    int rssi = -2;
    int beeps = 0;
    std::vector<UiText> messageBoxes;
    std::vector<std::u16string> messageTexts;
    std::vector<int> pages;
    int phonebookRefreshes = 0;
    bool enabled = true;
    bool waitCursor = false;
    bool connectCancels = false;
    std::map<int, int64_t> timers;  // running timers and their periods
    std::vector<int> timerStarts;

    // The message page.
    int tab = 0;
    std::vector<FakeRow> rows;
    int selected = -1;
    std::u16string detailNumber, detailTime, detailBody, detailStatus;
    bool replyForwardShown = false, editShown = false;
    int saveToFolder = -1;

    // The compose page and settings.
    std::u16string recipients, composeText;
    ComposeMode composeMode = ComposeMode::kText;
    PictureKind pictureKind = PictureKind::kPictureMessage;
    std::optional<PictureKind> pictureEditorKind;
    bool pictureEmpty = true;
    std::u16string pictureHex;
    ControllerSettings settings;

    void Post(std::function<void()> task) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(task));
        }
        posted_.notify_all();
    }

    // Runs posted work, including work posted meanwhile, until the queue is empty.
    int Pump() {
        int ran = 0;
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (queue_.empty()) return ran;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
            ++ran;
        }
    }

    // Pumps until `done` holds or the time is up; the engine's callbacks arrive meanwhile.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = kHangCeiling) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            Pump();
            if (done()) return true;
            std::unique_lock<std::mutex> lock(mutex_);
            if (std::chrono::steady_clock::now() >= end) return false;
            posted_.wait_for(lock, std::chrono::milliseconds(5),
                             [this] { return !queue_.empty(); });
        }
    }

    bool TimerRunning(int id) const { return timers.count(id) != 0; }

    // Fires a running timer once, then runs what it posted.  False when it was not running.
    bool Fire(int id) {
        if (!TimerRunning(id)) return false;
        controller->OnTimer(id);
        Pump();
        return true;
    }

    void StartTimer(int timerId, int64_t periodMs) override {
        timers[timerId] = periodMs;
        timerStarts.push_back(timerId);
    }
    void KillTimer(int timerId) override { timers.erase(timerId); }
    void SetWindowEnabled(bool on) override { enabled = on; }
    void SetConnectCancels(bool cancels) override { connectCancels = cancels; }
    void SetWaitCursor(bool shown) override { waitCursor = shown; }
    bool WaitCursorShown() const override { return waitCursor; }
    void SetStatusText(const std::u16string& text) override {
        status = text;
        statusTexts.push_back(text);
    }
    void SetSignalLevel(int level) override { signal = level; }
    void SetSignalRssi(int value) override { rssi = value; }
    void Beep() override { ++beeps; }
    void ShowMessageBox(UiText text) override { messageBoxes.push_back(text); }
    void ShowMessageText(const std::u16string& text) override { messageTexts.push_back(text); }
    void ApplyPage(int page) override { pages.push_back(page); }
    void RefreshPhonebookPage() override { ++phonebookRefreshes; }
    void SelectFolderTab(int folder) override { tab = folder; }
    int CurrentFolderTab() const override { return tab; }
    void FolderShown(int folder) override { shownFolders.push_back(folder); }
    void ShowFolderButtons(bool replyAndForward, bool edit) override {
        replyForwardShown = replyAndForward;
        editShown = edit;
    }
    void ClearMessageList() override {
        rows.clear();
        selected = -1;
    }
    void AppendMessageRow(int icon, const std::u16string& number, const std::u16string& date,
                          const std::u16string& text, int itemData) override {
        rows.push_back({icon, number, date, text, itemData, false});
    }
    void SortMessageListByTime() override {}
    int MessageRowCount() const override { return static_cast<int>(rows.size()); }
    bool IsMessageRowTicked(int row) const override { return rows.at(row).ticked; }
    int MessageRowData(int row) const override { return rows.at(row).data; }
    int SelectedMessageRow() const override { return selected; }
    int FindMessageRow(int itemData) const override {
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].data == itemData) return static_cast<int>(i);
        }
        return -1;
    }
    void RemoveMessageRow(int row) override { rows.erase(rows.begin() + row); }
    void SetMessageRowIcon(int row, int icon) override { rows.at(row).icon = icon; }
    void SetDetail(const std::u16string& number, const std::u16string& time,
                   const std::u16string& body) override {
        detailNumber = number;
        detailTime = time;
        detailBody = body;
        detailStatus.clear();
    }
    void SetDetailStatus(const std::u16string& text) override { detailStatus = text; }
    std::u16string DetailNumber() const override { return detailNumber; }
    std::u16string DetailBody() const override { return detailBody; }
    int SaveToFolder() const override { return saveToFolder; }
    std::u16string RecipientText() const override { return recipients; }
    void SetRecipientText(const std::u16string& text) override { recipients = text; }
    std::u16string ComposeText() const override { return composeText; }
    void SetComposeText(const std::u16string& text) override { composeText = text; }
    void ApplyComposeMode(ComposeMode mode, PictureKind kind) override {
        composeMode = mode;
        pictureKind = kind;
    }
    void RebuildPictureEditor(PictureKind kind) override { pictureEditorKind = kind; }
    bool PictureIsEmpty() const override { return pictureEmpty; }
    std::u16string PictureHex() const override { return pictureHex; }
    ControllerSettings Settings() const override { return settings; }
    std::optional<uint32_t> KeptNumber(std::string_view name) const override {
        const auto it = kept.find(std::string(name));
        if (it == kept.end()) return std::nullopt;
        return it->second;
    }
    bool KeepNumber(std::string_view name, uint32_t value) override {
        if (!keepWorks) return false;
        kept[std::string(name)] = value;
        return true;
    }
    std::map<std::string, uint32_t> kept;  // the settings the controller keeps
    bool keepWorks = true;
    void NotifyDesktop(const std::u16string& summary, const std::u16string& body) override {
        desktopNotes.push_back(summary + u": " + body);
    }
    // As the window does: the name the phonebook in use gives the number.
    std::u16string NameOf(const std::u16string& number) const override {
        if (controller == nullptr) return {};
        for (const PhonebookEntry& entry : controller->Phonebook().Entries())
            if (!number.empty() && entry.number == number) return entry.name;
        return {};
    }
    void ShowDetectedServiceCentre(const std::u16string& number) override {
        detectedCentres.push_back(number);
    }
    std::optional<SimCodes> AskSimCodes(bool puk, int attemptsLeft, bool wrongCode) override {
        simCodeRequests.push_back({puk, attemptsLeft});
        wrongCodes.push_back(wrongCode);
        std::optional<SimCodes> given = simCodesToGive;
        simCodesToGive.reset();
        return given;
    }
    std::vector<std::u16string> desktopNotes;
    std::vector<std::u16string> detectedCentres;
    std::vector<std::pair<bool, int>> simCodeRequests;  // (puk, attempts left)
    std::vector<bool> wrongCodes;                       // each request: the last PIN was wrong
    std::optional<SimCodes> simCodesToGive;             // what the user types, once

    std::vector<int> shownFolders;

    bool StatusShown(const std::u16string& text) const {
        return std::find(statusTexts.begin(), statusTexts.end(), text) != statusTexts.end();
    }
    void TickRowsWithData(std::initializer_list<int> data) {
        for (FakeRow& row : rows) {
            row.ticked = std::find(data.begin(), data.end(), row.data) != data.end();
        }
    }

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

// A data folder of the test's own, as $TELVANE_HOME.
using ScopedDataFolder = TempDataFolder;

}  // namespace telvane::testing
