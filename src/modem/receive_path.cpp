// The receive path on the port's reader thread: bytes -> responses -> kept texts and events.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modem/engine_state.h"
#include "modem/response_classifier.h"
#include "platform/text.h"

namespace telvane {

void ModemEngine::OnReceive(const uint8_t* bytes, uint32_t count) {
    State& s = *state_;
    if (s.closing.load()) return;
    if (count == 0) {
        // The port's reader ended: the device hung up or vanished.
        s.simState = 0;
        s.transaction.OnLinkLost();
        SetFailure(s, "the link to the modem was lost");
        PostNotification(s, Notification::kLinkLost);
        PostNotification(s, Notification::kStartupFailed);
        return;
    }
    if (s.discardPending.exchange(false)) s.framer.Clear();
    s.bytesReceived += count;
    // While no command waits, no answer can be in these bytes: a control byte among them damages
    // none (a command is opened before it is written).
    const bool commandOpen = s.transaction.Open();
    s.transaction.OnBytes(count);
    s.framer.Append(bytes, count);
    if (!commandOpen) s.framer.ForgetDamage();
    // The prompt ends no line: it is seen in the text still held.
    if (s.transaction.WantsPrompt() && s.framer.Pending().find("> ") != std::string_view::npos)
        s.transaction.OnPrompt();
    while (ExtractResponse())
        ClassifyResponse();
    s.framer.Trim();
}

int ModemEngine::ExtractResponse() {
    State& s = *state_;
    const bool waiting = s.sendWaiting.load() || s.writeWaiting.load();
    return s.framer.Extract(s.response, waiting) ? 1 : 0;
}

namespace {

// Takes out of `response` every line the modem sent on its own rather than as part of the
// answer to `command`, in order.  The rest keeps its line ends; blank lines alone are nothing.
std::vector<std::string> TakeUnsolicitedLines(std::string& response, std::string_view command) {
    std::vector<std::string> taken;
    std::string kept;
    size_t start = 0;
    while (start < response.size()) {
        const size_t end = response.find('\n', start);
        const size_t stop = end == std::string::npos ? response.size() : end + 1;
        std::string_view line(response.data() + start, stop - start);
        const std::string_view full = line;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.remove_suffix(1);
        if (IsUnsolicitedLine(line, command))
            taken.emplace_back(line);
        else
            kept.append(full);
        start = stop;
    }
    if (taken.empty()) return taken;
    if (kept.find_first_not_of("\r\n") == std::string::npos) kept.clear();
    response = std::move(kept);
    return taken;
}

}  // namespace

void ModemEngine::ClassifyResponse() {
    State& s = *state_;
    // The waiting command sees its lines and its end after the dispatcher was given their
    // events, so that its end event comes behind them.
    s.responseCommand = s.transaction.OpenCommand();
    const bool commandOpen = s.transaction.Open();
    if (s.framer.TakeDamaged() && commandOpen)
        s.transaction.MarkDamaged("it held a control byte (such as NUL) where text belongs");
    // A "+CMTI:" may share a block with another report or a command's answer: it is taken out
    // first, so that the block's own rule still applies to the rest.
    if (TakeNewMessageLines(s, s.response)) s.events.Signal(engine_event::kNewMessage);
    // Status reports likewise; a "+CDS:" report's PDU line must not pass for a listed message's.
    if (TakeStatusReportLines(s, s.response)) s.events.Signal(engine_event::kReportStored);
    // The network's USSD answers go to the job that waits for them, whenever they come.
    TakeUssdLines(s, s.response);
    // Every other line the modem sent on its own, wherever it fell (between the entries of a
    // listing, behind its "OK"), is handled on its own and never becomes part of the answer.
    if (s.response.find_first_not_of("\r\n") != std::string::npos) {
        for (std::string& line : TakeUnsolicitedLines(s.response, s.responseCommand)) {
            std::string rest = std::exchange(s.response, std::move(line));
            const Classification own = ClassifyText(s.response, 0);
            if (own.matched) ClassifyKept(own);
            s.response = std::move(rest);
        }
    }
    const Classification kind = ClassifyText(s.response, s.framer.ListMode());
    const bool finalOk = kind.matched && kind.event == engine_event::kOk && s.response == "OK";
    std::string seen = commandOpen ? s.response : std::string();
    const bool toolkitOk = ClassifyKept(kind);
    if (commandOpen) s.transaction.OnResponse(seen, finalOk || toolkitOk);
}

bool ModemEngine::ClassifyKept(const Classification& kind) {
    State& s = *state_;
    std::string& response = s.response;
    // Unkeyed (a PDU line, "ERROR", ...): the open command has it in its answer.
    if (!kind.matched) return false;

    int event = kind.event;
    std::string* kept = nullptr;
    switch (kind.kept) {
        case KeptText::kNothing:
            break;
        case KeptText::kCmeText: {
            // With the command it answered: that decides what the error says of the SIM.
            std::lock_guard lock(s.textMutex);
            s.cmeCommand = s.responseCommand;
            s.cmeText = response;
            break;
        }
        case KeptText::kOperator: {
            // An answer without an operator field leaves the last one.
            std::optional<std::u16string> name = ParseOperator(std::string_view(response));
            if (name && !name->empty()) {
                std::lock_guard lock(s.textMutex);
                s.operatorText = std::move(*name);
            }
            break;
        }
        case KeptText::kClipText:
            kept = &s.clipText;
            break;
        case KeptText::kCsqText:
            kept = &s.csqText;
            break;
        case KeptText::kCregText:
            kept = &s.cregText;
            break;
        case KeptText::kWindText:
            kept = &s.windText;
            break;
        case KeptText::kSmsText:
            // A job's answer (listing, read, phonebook, submission): its job reads it from its
            // own command's lines.
            if (kind.event != engine_event::kCmsError && kind.event != engine_event::kStoreStatus &&
                kind.event != engine_event::kNewMessage) {
                response.clear();
                return false;
            }
            // A damaged answer fails its read (the job's end says why); its entries, whole as
            // they may look, are no listing or phonebook.
            if ((kind.event == engine_event::kListing || kind.event == engine_event::kPhonebook) &&
                s.transaction.Damaged()) {
                response.clear();
                return false;
            }
            kept = &s.smsText[static_cast<size_t>(kind.event)];
            break;
        case KeptText::kStinText:
            kept = &s.stinText;
            break;
        case KeptText::kCpasText:
            kept = &s.cpasText;
            break;
        case KeptText::kIndicator: {
            std::lock_guard lock(s.textMutex);
            // A modem that reports without end would otherwise grow this while nothing reads it.
            if (s.indicatorLines.size() < 64) s.indicatorLines.push_back(response);
            break;
        }
        case KeptText::kToolkitItem: {
            const int32_t type = s.toolkitCommand.load();
            {
                std::lock_guard lock(s.toolkitMutex);
                ++s.toolkitLines;
                if (s.toolkitItemCounter < kToolkitSlots - 1) ++s.toolkitItemCounter;
                // Lines beyond the last slot are parsed into none.
                ToolkitItem* slot = s.toolkitLines <= kToolkitSlots
                                        ? &s.toolkitItems[static_cast<size_t>(s.toolkitItemCounter)]
                                        : nullptr;
                s.toolkitResult =
                    ParseToolkitInfo(type, std::string_view(response), slot, s.toolkitFields);
            }
            // Only a type-9 line signals: it stands in for the request's final "OK".
            if (type != 9) return false;
            event = s.toolkitAwaiting.load() ? engine_event::kOk : engine_event::kToolkitMenu;
            break;
        }
    }
    if (kept) {
        std::lock_guard lock(s.textMutex);
        *kept = response;
    }
    s.events.Signal(static_cast<size_t>(event));
    response.clear();
    return kind.kept == KeptText::kToolkitItem && event == engine_event::kOk;
}

}  // namespace telvane
