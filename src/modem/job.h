// A modem job from its request to its final answer.
//
// A starter returns the job's handle (a zero handle: not started); the job's end arrives once,
// through the callback given to the starter, carrying the job's own result.  Nothing about a
// job is read from the engine after the fact.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/pdu_codec.h"
#include "codec/sms_record.h"
#include "modem/modem_info.h"
#include "modem/notification.h"
#include "store/phonebook_table.h"

namespace telvane {

using JobId = uint64_t;

struct JobHandle {
    JobId id = 0;
    explicit operator bool() const { return id != 0; }
    bool operator==(const JobHandle&) const = default;
};

enum class JobKind {
    kListing,
    kReadOne,
    kDelete,
    kSendText,
    kSendSegment,
    kWriteSim,
    kStoreSend,
    kPhonebookRead,
    kPhonebookWrite,
    kInformation,
    kUssd,
};

enum class JobStatus {
    kDone,
    kFailed,
    // A submission went out and its answer never came: the network may have taken it.  Not to
    // be sent again without the user's word.
    kNotConfirmed,
};

// An entry of a phonebook write that the SIM refused (or that could not be written), left
// marked changed.
struct PhonebookRefusal {
    int32_t position = 0;  // 1-based, as the SIM counts
    std::string reason;    // "+CME ERROR: 20 (memory full)"
    bool operator==(const PhonebookRefusal&) const = default;
};

struct JobResult {
    JobId id = 0;
    JobKind kind = JobKind::kListing;
    JobStatus status = JobStatus::kFailed;
    // The notification that names this end (kListingFinished, kSendFailed, ...).
    Notification end = Notification::kListingFailed;
    std::string reason;  // why it failed, for the user; empty when done

    std::vector<SmsPart> listing;            // kListing, in the modem's order
    std::optional<SmsPart> message;          // kReadOne
    std::vector<int32_t> references;         // kSendText, kSendSegment: each confirmed part's
    int32_t value = -1;                      // kWriteSim: the index written; kStoreSend: its TP-MR
    std::vector<PhonebookRefusal> refusals;  // kPhonebookWrite: entries left unwritten
    // kPhonebookRead: the table as read, once the whole read succeeded.
    std::shared_ptr<const PhonebookTable> phonebook;
    std::optional<ModemInfo> information;  // kInformation, whatever the modem gave
    std::optional<UssdAnswer> ussd;        // kUssd: the network's answer, or why none came

    bool Ok() const { return status == JobStatus::kDone; }
};

// Called once with the job's end, on the engine's dispatcher thread, behind every notification
// posted before that end.  Like the engine's callback it must not wait for the engine.
using JobDone = std::function<void(const JobResult& result)>;

}  // namespace telvane
