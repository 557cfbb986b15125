// The receive path: modem text framed into responses and classified, as the port's reader thread
// runs it.  The serial line carries about 11.5 KB a second; the target is 100 MB a second.

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "modem/answer_parsers.h"
#include "modem/engine_state.h"

namespace telvane {
namespace {

constexpr const char* kPdu =
    "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37";

std::string Listing(int count) {
    std::string text = "AT+CMGF=0;+CMGL=4\r\r\n";
    for (int i = 1; i <= count; ++i)
        text += "+CMGL: " + std::to_string(i) + "," + std::to_string(i % 4) + ",,35\r\n" + kPdu +
                "\r\n";
    return text + "\r\nOK\r\n";
}

// What a modem says over a session: command answers, unsolicited reports and listings.
std::string MixedResponses(size_t bytes) {
    const std::vector<std::string> pieces = {
        "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n",
        "\r\n+CREG: 1\r\n",
        "\r\n+CMTI: \"SM\",12\r\n",
        "AT+CMGF=0;+CMGS=23\r\r\n> " + std::string(kPdu) + "\x1a\r\n+CMGS: 17\r\n\r\nOK\r\n",
        "AT+COPS=3,2;+COPS?\r\r\n+COPS: 0,2,\"46692\",0\r\n\r\nOK\r\n",
        "\r\n+CME ERROR: 515\r\n",
        "\r\n+WIND: 4\r\n",
        "AT+CPBR=1,250\r\r\n+CPBR: 1,\"5550100\",129,\"Ann\"\r\n+CPBR: 2,\"+886912345678\",145,"
        "\"Bob\"\r\n\r\nOK\r\n",
        Listing(20),
        "\r\nRING\r\n",
    };
    std::string text;
    std::mt19937 random(5);
    while (text.size() < bytes)
        text += pieces[random() % pieces.size()];
    return text;
}

// Batch sizes from 1 to 4096 bytes, the same for every run.
std::vector<size_t> Batches(size_t total) {
    std::vector<size_t> sizes;
    std::mt19937 random(9);
    for (size_t at = 0; at < total;) {
        const size_t n =
            std::min<size_t>(std::uniform_int_distribution<size_t>(1, 4096)(random), total - at);
        sizes.push_back(n);
        at += n;
    }
    return sizes;
}

void Feed(ModemEngine& engine, const std::string& text, const std::vector<size_t>& batches) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    size_t at = 0;
    for (size_t n : batches) {
        engine.OnReceive(bytes + at, static_cast<uint32_t>(n));
        at += n;
    }
}

void BM_ListingBurst(benchmark::State& state) {
    const std::string text = Listing(200);
    std::vector<size_t> batches;
    for (size_t at = 0; at < text.size(); at += SerialPort::kBufferSize)
        batches.push_back(std::min<size_t>(SerialPort::kBufferSize, text.size() - at));
    ModemEngine engine(Timing(0.0));
    ModemEngine::State& s = ModemEngineTestAccess::Of(engine);
    s.expectPdu = 1;
    // The listing job's side too: its command collects the answer, then reads the entries.
    for (auto _ : state) {
        s.transaction.Begin({});
        Feed(engine, text, batches);
        benchmark::DoNotOptimize(
            ParseListingAnswer(s.transaction.Wait(std::chrono::seconds(1), 1 << 20).lines).data);
        s.events.ResetAll();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ListingBurst);

void BM_MixedResponses(benchmark::State& state) {
    const std::string text = MixedResponses(static_cast<size_t>(state.range(0)));
    const std::vector<size_t> batches = Batches(text.size());
    for (auto _ : state) {
        ModemEngine engine(Timing(0.0));
        Feed(engine, text, batches);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_MixedResponses)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace telvane

BENCHMARK_MAIN();
