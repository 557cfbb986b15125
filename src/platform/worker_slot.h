// A slot for one thread of a kind: a starter refuses while the previous thread of the slot still
// runs; the thread marks the slot free as its last step; the owner joins at teardown.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace telvane {

class WorkerSlot {
  public:
    WorkerSlot() = default;
    ~WorkerSlot();  // joins
    WorkerSlot(const WorkerSlot&) = delete;
    WorkerSlot& operator=(const WorkerSlot&) = delete;

    // Starts `body` on a new thread.  false while the slot's thread still runs, or when no
    // thread could be created.
    bool Start(std::function<void()> body);
    // As Start, but what `body` returns runs once the slot is free again.  A job announces its
    // end there, so that whoever starts the next job on that announcement finds the slot free.
    bool StartThen(std::function<std::function<void()>()> body);
    bool Running() const { return running_.load(std::memory_order_acquire); }
    // Waits up to `limit` for the slot's thread to finish its body; true when the slot is free.
    bool WaitFree(std::chrono::nanoseconds limit);
    // Waits without limit for the slot's thread to end.  Not from the slot's own thread.
    void Join();

  private:
    std::mutex mutex_;
    std::condition_variable freed_;
    std::thread thread_;
    std::atomic<bool> running_{false};
};

}  // namespace telvane
