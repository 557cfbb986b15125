#include "platform/ordered_worker.h"

#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace telvane {

struct OrderedWorker::Queue {
    std::mutex mutex;
    std::deque<std::function<void()>> jobs;
    bool threadRunning = false;
};

OrderedWorker::OrderedWorker() : queue_(std::make_shared<Queue>()) {}

void OrderedWorker::Add(std::function<void()> job) {
    std::shared_ptr<Queue> queue = queue_;
    {
        std::lock_guard lock(queue->mutex);
        queue->jobs.push_back(std::move(job));
        if (queue->threadRunning) return;
        queue->threadRunning = true;
    }
    const auto drain = [queue] {
        for (;;) {
            std::function<void()> next;
            {
                std::lock_guard lock(queue->mutex);
                if (queue->jobs.empty()) {
                    queue->threadRunning = false;
                    return;
                }
                next = std::move(queue->jobs.front());
                queue->jobs.pop_front();
            }
            next();
            // What the job held goes here, off the adder's thread.
            next = nullptr;
        }
    };
    try {
        // Not joined: the owner (the window) must not wait for a slow service at its close.
        // The thread holds the queue it drains, and each job what it uses.
        std::thread(drain).detach();
    } catch (const std::system_error&) {
        // No thread to be had: late rather than never, since a job may end something held.
        drain();
    }
}

}  // namespace telvane
