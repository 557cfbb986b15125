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
#include "modem/modem_engine.h"
#include "modem/notification.h"
#include "store/message_listing.h"
#include "store/phonebook_table.h"

namespace telvane {

class LinkEngine {
  public:
    // Called with each notification, on the engine's dispatcher thread.
    using Callback = std::function<void(Notification notification)>;

    virtual ~LinkEngine() = default;

    // Opens COM`portNumber` and starts the modem's start-up sequence: 1, or 0 when the number is
    // outside 1..4 or the port cannot be opened (OpenError() then says why).
    virtual int Open(int portNumber, Callback callback) = 0;
    virtual std::string OpenError() const = 0;

    // Empty: the service centre stored on the SIM applies.
    virtual void SetServiceCentre(const std::u16string& number) = 0;
    virtual std::u16string OperatorText() const = 0;
    virtual int SignalLevel() const = 0;
    virtual int MessageReference() const = 0;
    // The message references of the parts the last send got confirmed, in order.
    virtual std::vector<int> SentReferences() const = 0;
    // Why the last job failed, for the user; empty when nothing failed.
    virtual std::string LastFailure() const { return {}; }
    virtual void RequestSignalQuality() = 0;

    // Job starters: 1 when started, 0 when a job of the kind still runs (or, for sends, while
    // the modem is not registered).
    virtual int ListMessages(int mode) = 0;
    virtual int DeleteMessages(int mode, int index) = 0;
    virtual int ReadPhonebook() = 0;
    virtual int WritePhonebook() = 0;
    // A text of any length: its parts go in order, each confirmed before the next;
    // kSendDone once all are, kSendFailed at the first that is not.
    virtual int SendTextMessage(const std::u16string& number, const std::u16string& text,
                                const SubmitOptions& options) = 0;
    virtual int SendSmartSegment(const std::u16string& number, int segment) = 0;

    // Prepares a smart message from the picture's hex digits.  Returns the number of segments.
    virtual int BuildSmartMessage(PictureKind kind, const std::u16string& pictureHex) = 0;

    // The last listing, read after Notification::kListingFinished.
    virtual const MessageListing& Listing() const = 0;
    // The same entries, each with its place in a long message when it is a part of one.
    virtual std::vector<SmsPart> ListedParts() const {
        std::vector<SmsPart> parts;
        const MessageListing& listing = Listing();
        for (int32_t i = 0; i < listing.ListingSize(); ++i)
            parts.push_back(SmsPart{listing.ListingEntry(i), std::nullopt});
        return parts;
    }
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
    // The entries the SIM refused at the last phonebook write (after
    // Notification::kPhonebookWriteFailed), with the reason of each.
    virtual std::vector<PhonebookRefusal> PhonebookRefusals() const { return {}; }
};

using LinkEngineFactory = std::function<std::unique_ptr<LinkEngine>()>;

}  // namespace telvane
