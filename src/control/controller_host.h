// What the link controller's parts (the folder commands and the send runs) use of it: the
// window, the engine while there is one, the status line, the busy state and the timers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "control/folder_tables.h"
#include "control/link_engine.h"
#include "control/ui_strings.h"
#include "control/window_interface.h"

namespace telvane {

// Who keeps the window busy besides the jobs themselves: each holder ends only its own busy
// state, so that nothing frees the window in the middle of another's work.
enum class BusyHolder { kConnect, kOutboxRun, kSmartRun, kDeleteRun, kWindow };

// A job's end as its owner gets it: on the window thread, only while the link it was started on
// is still up.
using JobEnded = std::function<void(const JobResult& result)>;
using JobStarter = std::function<JobHandle(LinkEngine& engine, JobDone done)>;

class ControllerHost {
  public:
    virtual ~ControllerHost() = default;

    virtual WindowInterface& Window() = 0;
    // The engine while connected (online or not yet), else null.
    virtual LinkEngine* Engine() = 0;
    virtual bool Online() const = 0;
    virtual bool Busy() const = 0;
    // True while the Outbox run or the smart-message run is going.
    virtual bool SendRunActive() const = 0;

    // A status text, replaced by the operator label 15 seconds later.
    virtual void ShowStatus(const std::u16string& text) = 0;
    // Starts one of the controller's timers; `ms` is scaled by the controller's timing.
    virtual void StartTimer(int timerId, int64_t ms) = 0;
    // Queues `holder`'s busy (or idle) state behind the work already posted to the window.
    virtual void PostBusy(BusyHolder holder, bool busy) = 0;
    // Starts a job on the engine: the window is busy until it ends, and `ended` gets its result.
    // A zero handle when there is no engine or it did not take the job.
    virtual JobHandle RunJob(const JobStarter& start, JobEnded ended) = 0;
    // Runs `task` later on the window thread, unless the controller is gone by then.
    virtual void PostTask(std::function<void()> task) = 0;

    // The one copy of each message folder.
    virtual FolderTables& Tables() = 0;

    // Shows `page` and remembers it as the controller's page.
    virtual void GoToPage(UiPage page) = 0;
    // Selects the folder's tab and fills the message list from its file.
    virtual void ShowFolder(int folder) = 0;

    // A file that could not be written: `what` and the reason on the status line and in a
    // message box.  A load failure is told as ReportLoadProblems tells it.
    virtual void ReportFileError(UiText what, const std::string& reason) = 0;

    // A concatenation reference for a new long message: one more than the last (kept in the
    // settings across restarts), 16 bits wide when the user's settings ask.
    virtual SubmitOptions NextConcatReference() = 0;
    // After a load or save: damaged or unreadable files, and damaged originals kept, not told yet
    // reach the status line and one message box once the current work is done.
    virtual void ReportLoadProblems() = 0;
};

}  // namespace telvane
