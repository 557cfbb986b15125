// What the modem engine tells its owner: the one value its callback carries.
//
// The engine's dispatcher sends these; the link controller and the command-line tool act on them.
// The numbers are the engine's own and stay fixed: logs and the tool's output show them.
// Switch over this without `default:`, so that a new notification is a compile error wherever it
// is not handled.
#pragma once

#include <cstdint>

namespace telvane {

enum class Notification : int32_t {
    kStopping = 1,          // dispatcher stopping while a callback was still registered
    kStarted = 2,           // start-up sequence finished
    kStartupFailed = 3,     // start-up failed, or the link was lost
    kPhonebookRead = 4,     // entries are in Phonebook()
    kPhonebookWritten = 5,  // phonebook written to the SIM
    kRegistered = 6,        // Registered() is now true
    kNotRegistered = 7,
    kSignalChanged = 8,  // SignalLevel()
    kOperator = 9,       // OperatorText()
    kRinging = 10,       // incoming voice call
    kHungUp = 11,
    kCallerNumber = 12,       // CallerNumber()
    kCallConnected = 13,      // outgoing call connected
    kMessageSent = 14,        // MessageReference()
    kMessageWritten = 15,     // WrittenIndex()
    kStoredMessageSent = 16,  // StoreSendReference()
    kNewMessage = 17,         // NewMessageIndex()
    kMessageRead = 18,        // LastReadMessage()
    kReadFailed = 19,
    kListingFinished = 20,  // ListingSize(), ListingEntry()
    kListingFailed = 21,
    kDeleted = 22,        // messages deleted
    kSendDone = 23,       // text message or smart-message segment sent (worker finished)
    kWriteDone = 24,      // message written to the SIM (worker finished)
    kStoreSendDone = 25,  // stored message sent (worker finished)
    kToolkitInfo = 26,    // the answer to "AT+STGI=" is complete
    kToolkitAccepted = 30,
    kToolkitFailed = 31,
    kToolkitEnded = 32,     // "+STIN: 98"
    kToolkitTimedOut = 33,  // "+STIN: 99"
    kSimReady = 34,
    kNoSim = 35,
    kWindOther = 36,  // "+WIND:" indications (WindIndication())
    kWindSimRemoved = 37,
    kWindSimInserted = 38,
    kWindRinging = 39,
    kWindReadyNoSim = 40,
    kWindReady = 41,
    kWindCallCreated = 42,
    kWindCallReleased = 43,
    kCmeError = 46,  // no network, or another "+CME ERROR"
    kCmsOther = 47,  // "+CMS ERROR:" kinds
    kCmsInvalidIndex = 52,
    kCmsNoServiceCentre = 53,
    kCmsNotAllowed = 54,
    kCmsSendFailed = 55,  // the one the controller treats as "send failed"
    // Why start-up failed: each comes just before kStartupFailed (LastFailure() has the text).
    kModemSilent = 60,     // nothing came back: check the port and the cable
    kNotAModem = 61,       // the device answers, but not as a modem: the wrong port
    kSimPinRequired = 62,  // the SIM wants its PIN
    kSimPukRequired = 63,  // the SIM is blocked and wants its PUK
    kSimNotReady = 64,     // the SIM answered with an error, or stayed busy
    kLinkLost = 65,        // the line dropped (also after start-up; kStartupFailed follows)
    // A job ended without success; LastFailure() says why.  Each ends its job as the success
    // notification would.
    kSendFailed = 66,            // text message or smart-message segment (after any kCms*)
    kWriteFailed = 67,           // message written to the SIM
    kStoreSendFailed = 68,       // stored message sent
    kDeleteFailed = 69,          // messages deleted
    kPhonebookReadFailed = 70,   // nothing of the table was replaced
    kPhonebookWriteFailed = 71,  // PhonebookRefusals() names the entries left marked changed
    // A message announced while connected was read: TakeArrivedMessages().
    kMessageArrived = 80,
    // A status report on a submitted message came: TakeStatusReports().
    kStatusReport = 81,
    // The information job ended (its result holds what the modem said).
    kInformation = 82,
    // A USSD job ended: the network's answer, or why none came, is in its result.
    kUssd = 83,
};

// The number as logs and the tool show it.
constexpr int32_t NotificationNumber(Notification notification) {
    return static_cast<int32_t>(notification);
}

}  // namespace telvane
