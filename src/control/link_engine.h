// The modem engine as the link controller drives it.  The product's implementation wraps
// ModemEngine; tests may put a scripted engine in its place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "codec/pdu_codec.h"
#include "control/window_interface.h"
#include "modem/job.h"
#include "modem/modem_engine.h"
#include "modem/notification.h"
#include "store/phonebook_table.h"

namespace telvane {

class LinkEngine {
  public:
    // Called with each notification, on the engine's dispatcher thread.
    using Callback = std::function<void(Notification notification)>;

    virtual ~LinkEngine() = default;

    // Opens COM`portNumber` and starts the modem's start-up sequence: 1, or 0 when the port
    // cannot be opened (OpenError() then says why).
    virtual int Open(int portNumber, Callback callback) = 0;
    virtual std::string OpenError() const = 0;

    // Empty: the service centre stored on the SIM applies.
    virtual void SetServiceCentre(const std::u16string& number) = 0;
    virtual std::u16string OperatorText() const = 0;
    virtual int SignalLevel() const = 0;
    virtual void RequestSignalQuality() = 0;

    // Job starters: the job's handle, or a zero handle when a job of the kind still runs (or,
    // for sends, while the modem is not registered).  `done` is called once, on the engine's
    // thread, with the job's own result: the owner posts it to its own thread.
    virtual JobHandle ListMessages(int mode, JobDone done) = 0;
    virtual JobHandle DeleteMessages(int mode, int index, JobDone done) = 0;
    // Deletes `index` of the modem's `store` ("SM", "ME"; "": the one reads use).  An engine
    // with one store has only that one to delete in.
    virtual JobHandle DeleteStoredMessage(const std::string& store, int index, JobDone done) {
        if (!store.empty() && store != "SM") return {};
        return DeleteMessages(0, index, std::move(done));
    }
    // What the modem, SIM and network are, and the network's USSD service; an engine without
    // them starts no job.
    virtual JobHandle QueryInformation(JobDone done) {
        (void)done;
        return {};
    }
    virtual JobHandle SendUssd(const std::u16string& text, JobDone done) {
        (void)text;
        (void)done;
        return {};
    }
    virtual JobHandle EndUssd(JobDone done) {
        (void)done;
        return {};
    }
    virtual bool UssdSessionOpen() const { return false; }
    // The last +CSQ rssi (0-31; -1 not known) and +CREG state.
    virtual int Rssi() const { return -1; }
    virtual Registration RegistrationState() const { return Registration::kUnknown; }
    virtual JobHandle ReadPhonebook(JobDone done) = 0;
    virtual JobHandle WritePhonebook(JobDone done) = 0;
    // A text of any length: its parts go in order, each confirmed before the next.
    virtual JobHandle SendTextMessage(const std::u16string& number, const std::u16string& text,
                                      const SubmitOptions& options, JobDone done) = 0;
    virtual JobHandle SendSmartSegment(const std::u16string& number, int segment, JobDone done) = 0;

    // Prepares a smart message from the picture's hex digits.  Returns the number of segments;
    // 0 when it cannot be built (an operator logo without the network's numeric code).
    virtual int BuildSmartMessage(PictureKind kind, const std::u16string& pictureHex) = 0;

    // The engine's copy of the SIM phonebook, and the lock its dispatcher and workers hold while
    // they fill or mark it.
    virtual PhonebookTable& Phonebook() = 0;
    [[nodiscard]] virtual std::unique_lock<std::mutex> LockPhonebook() = 0;

    // Live link; the defaults are an engine without it.  The SIM's codes are set before Open
    // and sent once.
    virtual void SetSimCodes(const std::string& pin, const std::string& puk) {
        (void)pin;
        (void)puk;
    }
    virtual int PinAttempts() const { return -1; }
    virtual int PukAttempts() const { return -1; }
    // Messages that arrived while connected, read from the SIM (parts of long messages with
    // their place); each handed out once.
    virtual std::vector<SmsPart> TakeArrivedMessages() { return {}; }
    // Status reports on submitted messages; each handed out once.
    virtual std::vector<StatusReport> TakeStatusReports() { return {}; }
    // How many messages the SIM's store holds (at connect); -1 when not known.
    virtual int StoreUsed() const { return -1; }
    // The SMS centre the modem holds (asked at connect), for showing; empty when not known.
    virtual std::u16string DetectedServiceCentre() const { return {}; }
};

using LinkEngineFactory = std::function<std::unique_ptr<LinkEngine>()>;

}  // namespace telvane
