// Folder and phonebook files: a full folder (200 messages of 160 characters) and a 250-entry
// phonebook, decoded, encoded, loaded from and saved to a file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "store/folder_table.h"
#include "store/message_store.h"
#include "store/phonebook_table.h"

namespace {

using namespace telvane;

FolderTable FullFolder() {
    FolderTable table;
    for (int i = 0; i < kFolderSlots; ++i) {
        std::u16string text;
        for (int c = 0; c < 160; ++c)
            text.push_back(static_cast<char16_t>(i % 2 ? u'a' + c % 26 : 0x4e00 + c));
        table.Add(
            SmsRecord{i + 1, u"REC READ", u"+886912345678", u"", u"26/12/10,05:30:00+32", text});
    }
    return table;
}

PhonebookTable FullPhonebook() {
    PhonebookTable table;
    table.SetLimits(20, 14, 250);
    for (int i = 0; i < 250; ++i)
        table.AddEntry(u"Name " + std::u16string(9, static_cast<char16_t>(u'A' + i % 26)),
                       u"+886912345678");
    return table;
}

// A scratch data folder for the file benchmarks, removed at exit.
const std::filesystem::path& Scratch() {
    static const std::filesystem::path path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "telvane-bench-XXXXXX");
        std::filesystem::path made = ::mkdtemp(pattern.data());
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(Scratch(), ec);
        });
        return made;
    }();
    return path;
}

void BM_FolderDecode(benchmark::State& state) {
    const std::string bytes = EncodeFolder(FullFolder());
    FolderTable table;
    for (auto _ : state) {
        DecodeFolder(bytes, table);
        benchmark::DoNotOptimize(table.usedCount);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_FolderDecode)->Unit(benchmark::kMicrosecond);

void BM_FolderEncode(benchmark::State& state) {
    const FolderTable table = FullFolder();
    for (auto _ : state) {
        std::string bytes = EncodeFolder(table);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_FolderEncode)->Unit(benchmark::kMicrosecond);

// LoadShown reads the file and decodes it: what showing a folder costs.
void BM_FolderLoadFromFile(benchmark::State& state) {
    MessageStore store(Scratch());
    for (const FolderEntry& entry : FullFolder().entries)
        store.AddShown(entry.record);
    if (store.SaveShown(FolderId::Saved) == 0) state.SkipWithError(store.LastError().c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(store.LoadShown(FolderId::Saved));
}
BENCHMARK(BM_FolderLoadFromFile)->Unit(benchmark::kMicrosecond);

// The save includes the flush to disk, which dominates.
void BM_FolderSaveToFile(benchmark::State& state) {
    MessageStore store(Scratch());
    for (const FolderEntry& entry : FullFolder().entries)
        store.AddShown(entry.record);
    for (auto _ : state)
        benchmark::DoNotOptimize(store.SaveShown(FolderId::Saved));
}
BENCHMARK(BM_FolderSaveToFile)->Unit(benchmark::kMicrosecond);

void BM_PhonebookDecode(benchmark::State& state) {
    const std::string bytes = FullPhonebook().Encode();
    PhonebookTable table;
    for (auto _ : state)
        benchmark::DoNotOptimize(table.Decode(bytes));
}
BENCHMARK(BM_PhonebookDecode)->Unit(benchmark::kMicrosecond);

void BM_PhonebookEncode(benchmark::State& state) {
    const PhonebookTable table = FullPhonebook();
    for (auto _ : state) {
        std::string bytes = table.Encode();
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_PhonebookEncode)->Unit(benchmark::kMicrosecond);

void BM_PhonebookLoadFromFile(benchmark::State& state) {
    const std::filesystem::path path = Scratch() / "simpbk.acr";
    if (FullPhonebook().SaveFile(path) == 0) state.SkipWithError("cannot write the phonebook");
    PhonebookTable table;
    for (auto _ : state)
        benchmark::DoNotOptimize(table.LoadFile(path));
}
BENCHMARK(BM_PhonebookLoadFromFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
