#include "history/history_writer.h"

namespace telvane {

HistoryWriter::HistoryWriter(std::filesystem::path path, Report report)
    : path_(std::move(path)), report_(std::move(report)) {
    thread_ = std::thread([this] { Run(); });
}

HistoryWriter::~HistoryWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void HistoryWriter::Store(std::vector<HistoryMessage> messages) {
    if (messages.empty()) return;
    Post([this, messages = std::move(messages)](HistoryDb& db) {
        if (db.Store(messages).ok) return;
        HistoryEvent event;
        event.kind = HistoryEvent::Kind::kFailed;
        event.error = db.LastErrorKind();
        event.reason = db.LastError();
        if (report_) report_(event);
    });
}

void HistoryWriter::Post(Task task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
    }
    wake_.notify_all();
}

bool HistoryWriter::WaitIdle(std::chrono::milliseconds ceiling) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, ceiling, [this] { return queue_.empty() && !working_; });
}

void HistoryWriter::Run() {
    HistoryDb db;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        working_ = true;
    }
    const bool opened = db.Open(path_, HistoryAccess::kWrite);
    if (report_) {
        if (!db.KeptAside().empty()) {
            HistoryEvent aside;
            aside.kind = HistoryEvent::Kind::kKeptAside;
            aside.path = db.KeptAside();
            aside.reason = db.LastError();
            report_(aside);
        }
        HistoryEvent event;
        event.kind = opened ? HistoryEvent::Kind::kOpened : HistoryEvent::Kind::kFailed;
        event.created = opened && db.Created();
        event.error = opened ? HistoryError::kNone : db.LastErrorKind();
        event.reason = opened ? std::string() : db.LastError();
        report_(event);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        working_ = false;
        if (queue_.empty()) idle_.notify_all();
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) break;  // stopping, nothing left
        Task task = std::move(queue_.front());
        queue_.pop_front();
        working_ = true;
        lock.unlock();
        if (opened) task(db);
        lock.lock();
    }
    idle_.notify_all();
}

}  // namespace telvane
