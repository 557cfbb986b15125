// The SIM phonebook in memory, one entry per SIM position, and its copy on disk (simpbk.acr).
// Two tables exist: the engine's, filled from the SIM while connected, and the offline cache's.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "codec/phonebook_sink.h"
#include "store/load_report.h"

namespace telvane {

struct PhonebookEntry {
    int32_t changed = 0;  // 1: changed here and not yet written to the SIM
    int32_t index = 0;    // SIM position (1-based); 0 when never filled or emptied on the SIM
    std::u16string name;
    std::u16string number;  // international numbers keep their leading '+'

    bool IsEmpty() const { return name.empty() && number.empty(); }
    bool operator==(const PhonebookEntry&) const = default;
};

struct PhonebookLimits {
    int32_t numberLimit = 0;
    int32_t textLimit = 0;
    int32_t capacity = 0;

    bool operator==(const PhonebookLimits&) const = default;
};

// No SIM has more positions; a larger capacity in a file or an answer means damage.
inline constexpr int32_t kMaxPhonebookCapacity = 10000;

class PhonebookTable : public PhonebookSink {
  public:
    // The table mirrors the SIM's phonebook memory (the engine selects "SM" from it).
    int32_t UseSimMemory() const { return 1; }

    // The SIM's limits, in the order of its range answer.  Replaces the entries by `capacity`
    // empty ones.  1 on success; 0 (table unchanged) for a negative limit or a capacity above
    // kMaxPhonebookCapacity.
    int SetLimits(int32_t numberLimit, int32_t textLimit, int32_t capacity);

    // Stores into the first empty position, cut to the limits: 1, or 0 when none is empty.
    int AddEntry(std::u16string_view name, std::u16string_view number);
    // Empties the entry at SIM index 1..capacity that has a name or number (changed 1, index
    // kept): 1, else 0.
    int DeleteEntry(int32_t index);
    // Sets the entry at SIM index 1..capacity (changed 1, not cut to the limits): 1, else 0.
    int UpdateEntry(int32_t index, std::u16string_view name, std::u16string_view number);
    // After the entry at `position` (0-based) was written to the SIM: changed 0, and an empty
    // entry gives its position up (index 0).
    void MarkWritten(int32_t position);
    // Sets or clears the changed mark of the entry at `position` (0-based), nothing else (an
    // entry held back from a write stays as it is).
    void SetChanged(int32_t position, bool changed);

    PhonebookLimits Limits() const { return limits_; }
    const std::vector<PhonebookEntry>& Entries() const { return entries_; }

    // PhonebookSink, for the phonebook-read parser.
    int32_t Capacity() const override { return limits_.capacity; }
    void StoreFromSim(int32_t index, std::u16string name, std::u16string number) override;

    // The file's bytes: the three limits, then every position as changed, index, name, number.
    std::string Encode() const;
    // Replaces the table with a file's contents.  true when read whole without fault.  A short
    // file keeps what was read (the missing positions empty); a negative or oversized capacity
    // keeps the entries the bytes still hold, and their number becomes the capacity; a negative
    // length limit reads as 0.
    bool Decode(std::string_view bytes);

    // Writes the table to `path` (default: simpbk.acr in the data folder), atomically.  A file
    // that does not read whole is first kept as <file>.damaged-<time>.  A table unchanged since
    // it was loaded from that very file writes nothing (a refused edit never rewrites the file).
    // 1 on success; 0 when it could not be written or kept: the old file stays and LastError()
    // names the file, the operation and the system's reason.
    [[nodiscard]] int SaveFile(const std::filesystem::path& path = {});
    // Replaces the table with the file.  A missing file leaves an empty table of capacity 0.
    // 1 when read whole (or missing), 0 when unreadable or damaged: LastError() says why,
    // LastLoad() says what was found, and the file is listed once by TakeLoadProblems().
    // Temporary files that interrupted saves left beside the file are removed first.
    [[nodiscard]] int LoadFile(const std::filesystem::path& path = {});

    const std::string& LastError() const { return lastError_; }
    const LoadReport& LastLoad() const { return lastLoad_; }

  private:
    PhonebookLimits limits_;
    std::vector<PhonebookEntry> entries_;
    std::string lastError_;
    LoadReport lastLoad_;
    std::filesystem::path loadedFrom_;  // empty unless the table is a file's contents
    bool modified_ = false;             // changed since it was loaded or saved
};

// Whether a phonebook file's bytes decode whole.
bool PhonebookReadsWhole(std::string_view bytes);

// "simpbk.acr" in the data folder.
std::filesystem::path PhonebookFilePath();

}  // namespace telvane
