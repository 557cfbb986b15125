// The message history at the size desktop users reach: 100 000 messages imported in batches (as
// a backup import stores them), a word searched among them, the first page of a conversation of
// 5 000 messages, and the first page of the people.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "history/history_db.h"
#include "history/history_keys.h"

namespace telvane {
namespace {

constexpr int kMessages = 100'000;
constexpr int kConversation = 5'000;  // messages with the one busy person
constexpr int kPeople = 2'000;
constexpr int kBatch = 100'000;

const std::u16string kWords[] = {u"meeting", u"dinner",  u"tomorrow", u"parcel", u"office",
                                 u"晚餐",    u"明天",    u"會議",     u"台北",   u"電話",
                                 u"train",   u"weekend", u"birthday", u"ticket", u"coffee"};

std::u16string Number(int person) {
    std::string digits = std::to_string(912000000 + person);
    // Half written nationally, half internationally: one person either way.
    std::string n = person % 2 ? "+886" + digits : "0" + digits;
    return std::u16string(n.begin(), n.end());
}

// Message i: deterministic text of 40-120 characters, one person of kPeople, or the busy one.
HistoryMessage Make(int i) {
    HistoryMessage m;
    const int person = i % 20 == 0 ? 0 : 1 + i % (kPeople - 1);
    m.number = Number(person);
    m.direction = i % 3 == 0 ? HistoryDirection::kOut : HistoryDirection::kIn;
    m.time = 700'000'000 + int64_t{i} * 60;
    m.timeText = HistoryTimeText(m.time);
    uint32_t seed = static_cast<uint32_t>(i) * 2654435761u;
    const int words = 6 + static_cast<int>(seed % 12);
    for (int w = 0; w < words; ++w) {
        seed = seed * 1103515245u + 12345u;
        if (!m.text.empty()) m.text += u' ';
        m.text += kWords[(seed >> 16) % std::size(kWords)];
    }
    // The word searched for: in one message of 500.
    if (i % 500 == 7) m.text += u" anniversary";
    m.store = u"import";
    m.key = MessageKey(m.direction, m.number, m.timeText, m.text);
    return m;
}

std::filesystem::path FreshFile() {
    std::string pattern = std::filesystem::temp_directory_path() / "telvane-history-bench-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return std::filesystem::path(pattern) / kHistoryFileName;
}

// One history of kMessages, made once for the read benchmarks.
HistoryDb& Filled() {
    static HistoryDb* db = [] {
        auto* d = new HistoryDb;
        if (!d->Open(FreshFile(), HistoryAccess::kWrite)) std::abort();
        std::vector<HistoryMessage> batch;
        for (int i = 0; i < kMessages; ++i) {
            batch.push_back(Make(i));
            if (batch.size() == kBatch) {
                if (!d->Store(batch).ok) std::abort();
                batch.clear();
            }
        }
        return d;
    }();
    return *db;
}

void BM_Import100k(benchmark::State& state) {
    std::vector<std::vector<HistoryMessage>> batches;
    for (int i = 0; i < kMessages; i += kBatch) {
        batches.emplace_back();
        for (int j = i; j < i + kBatch; ++j)
            batches.back().push_back(Make(j));
    }
    for (auto _ : state) {
        state.PauseTiming();
        const std::filesystem::path file = FreshFile();
        HistoryDb db;
        if (!db.Open(file, HistoryAccess::kWrite)) state.SkipWithError(db.LastError().c_str());
        state.ResumeTiming();
        for (const auto& batch : batches)
            if (!db.Store(batch).ok) state.SkipWithError(db.LastError().c_str());
        state.PauseTiming();
        db.Close();
        std::filesystem::remove_all(file.parent_path());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_Import100k)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Search(benchmark::State& state, const char16_t* word) {
    HistoryDb& db = Filled();
    size_t found = 0;
    for (auto _ : state)
        found = db.Search(word, 50, 0).size();
    state.counters["hits"] = static_cast<double>(found);
}
BENCHMARK_CAPTURE(BM_Search, AWord, u"anniversary")->Unit(benchmark::kMillisecond)->UseRealTime();
// Two characters: shorter than a trigram.
BENCHMARK_CAPTURE(BM_Search, AChineseWord, u"晚餐")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenConversationOf5000(benchmark::State& state) {
    HistoryDb& db = Filled();
    const auto person = db.ConversationOf(Number(0));
    if (!person || person->count != kConversation) state.SkipWithError("no busy person");
    size_t rows = 0;
    for (auto _ : state)
        rows = db.Messages(person->id, 50).size();
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_OpenConversationOf5000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirstPageOfPeople(benchmark::State& state) {
    HistoryDb& db = Filled();
    size_t rows = 0;
    for (auto _ : state)
        rows = db.Conversations(50).size();
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_FirstPageOfPeople)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace telvane

BENCHMARK_MAIN();
