// Waits on one thread for a job's end that arrives on another: the command-line tool and tests
// hand Done() to a starter and Wait() for the result.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "modem/job.h"

namespace telvane {

class JobWaiter {
  public:
    // Outlives the waiter if the engine calls it late.
    JobDone Done() const {
        return [shared = shared_](const JobResult& result) {
            {
                std::lock_guard lock(shared->mutex);
                shared->result = result;
            }
            shared->changed.notify_all();
        };
    }

    // The result once it came within `limit`; nullopt otherwise.
    std::optional<JobResult> Wait(std::chrono::nanoseconds limit) const {
        std::unique_lock lock(shared_->mutex);
        shared_->changed.wait_for(lock, limit, [this] { return shared_->result.has_value(); });
        return shared_->result;
    }

    std::optional<JobResult> Result() const {
        std::lock_guard lock(shared_->mutex);
        return shared_->result;
    }

  private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::optional<JobResult> result;
    };
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace telvane
