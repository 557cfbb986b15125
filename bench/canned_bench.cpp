// Canned-message libraries: parsing a library of double-byte (Big5) messages whose characters
// are all looked up in a full code table, at growing sizes, so that the time per byte shows
// whether reading stays linear; and the whole read of a 1 MB library from its files.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "canned/canned_library.h"
#include "platform/files.h"

namespace {

using namespace telvane;

constexpr size_t kHeaderBytes = 78;
constexpr size_t kListEntry = 8;

void PutBigEndian(std::string& out, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<char>((value >> (8 * (bytes - 1 - i))) & 0xFF);
}

// Every Big5 pair with a lead of 0xA1..0xF9: about 14000 entries, near the table's 70000 bytes.
std::string CodeTableFile() {
    std::string file(88, '\0');
    file.replace(4, 3, "_bi");
    uint32_t unit = 0x4E00;
    for (int lead = 0xA1; lead <= 0xF9; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail > 0x7E && trail < 0xA1) continue;
            file.push_back(static_cast<char>(unit >> 8));
            file.push_back(static_cast<char>(unit & 0xFF));
            file.push_back(static_cast<char>(lead));
            file.push_back(static_cast<char>(trail));
            ++unit;
        }
    }
    return file.substr(0, 88 + kCodeTableMax);
}

// A library of about `bytes` bytes: record 0 names the table "big_5", every other record is a
// double-byte topic, subtopic and message of characters spread over the whole table.
std::string Library(size_t bytes) {
    const size_t records = std::min<size_t>(bytes / (kListEntry + kCannedRecordBytes), 65535);
    std::string file(kHeaderBytes + kListEntry * records, '\0');
    PutBigEndian(file, 76, static_cast<uint32_t>(records), 2);
    uint32_t seed = 12345;
    for (size_t r = 0; r < records; ++r) {
        const size_t offset = file.size();
        PutBigEndian(file, kHeaderBytes + kListEntry * r, static_cast<uint32_t>(offset), 4);
        std::string record(kCannedRecordBytes, '\0');
        if (r == 0) {
            record.replace(kCannedMessageOffset, 5, "big_5");
        } else {
            record[1] = 1;  // double-byte
            auto fill = [&](size_t at, size_t length) {
                for (size_t i = 0; i + 1 < length; i += 2) {
                    seed = seed * 1103515245 + 12345;
                    record[at + i] = static_cast<char>(0xA1 + (seed >> 16) % 0x59);
                    record[at + i + 1] = static_cast<char>(0xA1 + (seed >> 8) % 0x5E);
                }
            };
            fill(kCannedTopicOffset, 8);  // topics repeat in real libraries; length is what counts
            fill(kCannedSubtopicOffset, 8);
            fill(kCannedMessageOffset, kCannedMessageBytes);
        }
        file += record;
    }
    return file;
}

void BM_ParseCannedLibrary(benchmark::State& state) {
    const std::string library = Library(static_cast<size_t>(state.range(0)));
    const CannedCodeTable table = ParseCannedCodeTable(CodeTableFile());
    for (auto _ : state) {
        auto entries = ParseCannedLibrary(library, table);
        benchmark::DoNotOptimize(entries->data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * library.size()));
}
BENCHMARK(BM_ParseCannedLibrary)
    ->Arg(16 << 10)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond);

// What the window's start waits for: the library and its code table read from their files.
void BM_ReadCannedLibraryFile(benchmark::State& state) {
    std::string pattern = std::filesystem::temp_directory_path() / "telvane-bench-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern.data());
    WriteFileAtomic(folder / "big_5.pdb", CodeTableFile());
    WriteFileAtomic(folder / "large.pdb", Library(1 << 20));
    CannedLibraryReader reader({folder});
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.Read(u"large"));
    if (reader.entries.size() < 10000) state.SkipWithError("the library did not read");
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_ReadCannedLibraryFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
