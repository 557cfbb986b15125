// Arbitrary modem bytes, in arbitrary batches, through the receive path, the dispatcher and the
// parsers a job reads its answer with.  Whatever arrives, the engine must neither crash nor read
// out of bounds.
//
// Input: one byte of flags (what the engine is waiting for), then records of a length byte and
// that many bytes, each record one received batch.

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "modem/answer_parsers.h"
#include "modem/engine_state.h"

using namespace telvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    ModemEngine engine(Timing(0.0));
    ModemEngine::State& s = ModemEngineTestAccess::Of(engine);
    const uint8_t flags = data[0];
    s.expectPdu = flags & 1;
    s.sendWaiting = (flags >> 2) & 1;
    s.deleteWaiting = (flags >> 3) & 1;
    s.simState = (flags >> 4) & 1;
    s.toolkitCommand = (flags >> 5) & 7;  // 0-7; type 9 only through the plain path below
    if ((flags & 0xE0) == 0xE0) s.toolkitCommand = 9;
    // A command waits for its end (and a prompt), as on a live line.
    s.transaction.Begin({.prompt = (flags & 2) != 0, .infoKeyword = (flags & 4) ? "+CPIN:" : ""});

    size_t at = 1;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        ++at;
        engine.OnReceive(data + at, static_cast<uint32_t>(length));
        at += length;
        // The dispatcher's share: every signalled event handled, lowest first.
        for (int event; (event = s.events.WaitAny(std::chrono::nanoseconds(0))) >= 0;)
            ModemEngineTestAccess::HandleEvent(engine, event);
    }
    // The job's share: its answer read by every parser a job may use.
    const CommandResult answer = s.transaction.Wait(std::chrono::nanoseconds(0), 1 << 20);
    (void)ParseListingAnswer(answer.lines);
    (void)ParseReadAnswer(answer.lines, 1);
    (void)ParsePhonebookAnswer(answer.lines, 1, 250,
                               (flags & 8) ? PhonebookCharset::kUcs2 : PhonebookCharset::kIra);
    (void)ParsePhonebookRangeAnswer(answer.lines);
    return 0;
}
