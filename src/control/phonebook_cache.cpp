#include "control/phonebook_cache.h"

#include "control/recipients.h"
#include "control/sim_name.h"

namespace telvane {

namespace {

// Job starters are asked this many times in a row before a request counts as refused.
constexpr int kStartAttempts = 201;

}  // namespace

std::vector<PhonebookEntry> PhonebookCache::Entries() {
    return WithTable([](PhonebookTable& table) { return table.Entries(); });
}

int32_t PhonebookCache::Capacity() {
    return WithTable([](PhonebookTable& table) { return table.Capacity(); });
}

PhonebookLimits PhonebookCache::Limits() {
    return WithTable([](PhonebookTable& table) { return table.Limits(); });
}

int PhonebookCache::Add(std::u16string_view name, std::u16string_view number) {
    const std::optional<std::u16string> checked = CheckNumber(number);
    if (!checked || !CheckName(name)) return 0;
    return Change([&](PhonebookTable& table) { return table.AddEntry(name, *checked); });
}

int PhonebookCache::Delete(int32_t index) {
    return Change([&](PhonebookTable& table) { return table.DeleteEntry(index); });
}

int PhonebookCache::Update(int32_t index, std::u16string_view name, std::u16string_view number) {
    const std::optional<std::u16string> checked = CheckNumber(number);
    if (!checked || !CheckName(name)) return 0;
    return Change([&](PhonebookTable& table) { return table.UpdateEntry(index, name, *checked); });
}

bool PhonebookCache::CheckName(std::u16string_view name) {
    const SimNameLength length = MeasureSimName(name, Limits().textLimit);
    if (length.Fits()) return true;
    // The SIM would keep only its start: the user decides what to leave out.
    std::u16string text = LoadUiString(ui_text::kNameTooLongForSim);
    const size_t mark = text.find(u"%1");
    if (mark != std::u16string::npos) text.replace(mark, 2, SimNameCounterText(length));
    refusal_ = std::u16string(name) + u": " + text;
    return false;
}

std::optional<std::u16string> PhonebookCache::CheckNumber(std::u16string_view number) {
    refusal_.clear();
    // An entry may hold a name alone.
    bool blank = true;
    for (char16_t c : number)
        blank = blank && (c == u' ' || c == u'\t');
    if (blank) return std::u16string();
    const PhoneNumber checked = NormalisePhoneNumber(number);
    if (checked.ok()) return checked.number;
    refusal_ = RefusedNumberText(number, checked);
    return std::nullopt;
}

bool PhonebookCache::Load() {
    // Read outside the engine's lock: its workers never wait on the disk.  What could be read
    // becomes the table; the host tells what was wrong with the file.
    PhonebookTable loaded;
    const bool read = loaded.LoadFile() != 0;
    WithTable([&](PhonebookTable& table) { table = std::move(loaded); });
    host_.ReportLoadProblems();
    return read;
}

bool PhonebookCache::Save() {
    // A copy taken under the lock, written without it.
    PhonebookTable copy = WithTable([](PhonebookTable& table) { return table; });
    const bool saved = copy.SaveFile() != 0;
    host_.ReportLoadProblems();
    if (!saved) host_.ReportFileError(ui_text::kSaveFailed, copy.LastError());
    return saved;
}

int PhonebookCache::WriteToSim() {
    if (!host_.PhonebookOnline()) return 1;
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (host_.StartPhonebookWrite() != 0) return 1;
    }
    return 0;
}

int PhonebookCache::Synchronise() {
    if (!host_.PhonebookOnline()) {
        Load();
        return 1;
    }
    if (host_.CurrentSettings().readSimPhonebook) return host_.StartPhonebookRead();
    Load();
    return WriteToSim();
}

void PhonebookCache::AfterChange() {
    std::optional<PhonebookTable> before = std::move(before_);
    before_.reset();
    // A refused edit changed nothing: a damaged file must not be rewritten for it, nor the SIM.
    if (!edited_) return;
    edited_ = false;
    // The SIM did not take the job: the change stays pending in the file.
    if (host_.PhonebookOnline() && host_.CurrentSettings().syncSimPhonebook && WriteToSim() != 0)
        return;
    if (!Save() && before) {
        // The edit was not kept (a full or read-only disk): the page must not show it as done.
        WithTable([&](PhonebookTable& table) { table = std::move(*before); });
    }
}

}  // namespace telvane
