#include "platform/worker_slot.h"

#include <system_error>

namespace telvane {

WorkerSlot::~WorkerSlot() {
    Join();
}

bool WorkerSlot::Start(std::function<void()> body) {
    return StartThen([body = std::move(body)]() -> std::function<void()> {
        body();
        return nullptr;
    });
}

bool WorkerSlot::StartThen(std::function<std::function<void()>()> body) {
    std::lock_guard lock(mutex_);
    if (running_.load(std::memory_order_acquire)) return false;
    // The previous thread has finished its body; reap it before reusing the slot.
    if (thread_.joinable()) thread_.join();
    running_.store(true, std::memory_order_release);
    try {
        thread_ = std::thread([this, body = std::move(body)] {
            const std::function<void()> then = body();
            {
                std::lock_guard done(mutex_);
                running_.store(false, std::memory_order_release);
            }
            freed_.notify_all();
            if (then) then();
        });
    } catch (const std::system_error&) {
        running_.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

bool WorkerSlot::WaitFree(std::chrono::nanoseconds limit) {
    std::unique_lock lock(mutex_);
    return freed_.wait_for(lock, limit,
                           [this] { return !running_.load(std::memory_order_acquire); });
}

void WorkerSlot::Join() {
    std::thread thread;
    {
        std::lock_guard lock(mutex_);
        thread = std::move(thread_);
    }
    if (thread.joinable()) thread.join();
}

}  // namespace telvane
