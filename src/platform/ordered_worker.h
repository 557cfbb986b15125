// Jobs that may block for long (a call to a slow system service) run here one after another, in
// the order given, on a thread of the worker's own; whoever adds a job never waits for it.
//
// Copies share one queue.  The thread ends when the queue is empty, so an idle worker holds no
// thread; jobs still queued when the last copy goes run all the same (each holds what it uses).
#pragma once

#include <functional>
#include <memory>

namespace telvane {

class OrderedWorker {
  public:
    OrderedWorker();

    // Queues `job` behind the jobs already given.
    void Add(std::function<void()> job);

  private:
    struct Queue;
    std::shared_ptr<Queue> queue_;
};

}  // namespace telvane
