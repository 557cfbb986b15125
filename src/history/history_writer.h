// The history's one writer: a worker thread that owns the open history and runs what is queued,
// in order, so that no caller (the window above all) waits for the disk.
//
//   HistoryWriter writer(DataFile(kHistoryFileName), [](const HistoryEvent& e) { Tell(e); });
//   writer.Store(messages);  // returns at once
//
// Events reach `report` on the worker thread; the owner hands them to its own thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "history/history_db.h"

namespace telvane {

struct HistoryEvent {
    enum class Kind {
        kOpened,     // ready; `created` when the file is new
        kKeptAside,  // a damaged file was kept as `path` and a new history started
        kFailed,     // the history could not be opened or a write failed: `error` says why
    };
    Kind kind = Kind::kOpened;
    bool created = false;
    std::filesystem::path path;
    HistoryError error = HistoryError::kNone;
    std::string reason;
};

class HistoryWriter {
  public:
    using Report = std::function<void(const HistoryEvent&)>;
    using Task = std::function<void(HistoryDb&)>;

    HistoryWriter(std::filesystem::path path, Report report);
    // Runs what is queued, then closes the history.
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    // Stores the messages (a failure is reported, nothing already stored is lost).
    void Store(std::vector<HistoryMessage> messages);
    // Any other work on the open history (deletions, marking read); skipped when it is not open.
    void Post(Task task);
    // True once everything queued so far has run; false when `ceiling` passed first.
    bool WaitIdle(std::chrono::milliseconds ceiling);

  private:
    void Run();

    std::filesystem::path path_;
    Report report_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Task> queue_;
    bool stopping_ = false;
    bool working_ = false;
    std::thread thread_;
};

}  // namespace telvane
