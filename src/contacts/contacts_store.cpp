#include "contacts/contacts_store.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>
#include <system_error>

#include "contacts/vcard.h"
#include "platform/files.h"

namespace telvane {

namespace fs = std::filesystem;

namespace {

std::string FreshUid() {
    std::random_device random;
    unsigned char bytes[16];
    for (unsigned char& b : bytes)
        b = static_cast<unsigned char>(random());
    bytes[6] = (bytes[6] & 0x0F) | 0x40;  // version 4
    bytes[8] = (bytes[8] & 0x3F) | 0x80;  // RFC 4122 variant
    std::string uid;
    char hex[3];
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) uid += '-';
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        uid += hex;
    }
    return uid;
}

std::optional<VCard> ReadCard(const fs::path& path, std::string* error) {
    std::optional<std::string> bytes = ReadWholeFile(path, error);
    if (!bytes) return std::nullopt;
    std::optional<VCard> card = VCard::Parse(*bytes);
    if (!card && error) *error = path.string() + ": not a vCard";
    return card;
}

std::u16string ShownName(const VCard& card) {
    std::u16string name;
    for (const std::u16string& part : {card.First(), card.Middle(), card.Last()}) {
        if (part.empty()) continue;
        if (!name.empty()) name += u' ';
        name += part;
    }
    return name.empty() ? card.FormattedName() : name;
}

}  // namespace

std::pair<std::u16string, std::u16string> SplitContactName(std::u16string_view name) {
    const size_t blank = name.find(u' ');
    if (blank == std::u16string_view::npos) return {std::u16string(name), {}};
    return {std::u16string(name.substr(0, blank)), std::u16string(name.substr(blank + 1))};
}

ContactsStore::ContactsStore(fs::path folder) : folder_(std::move(folder)) {}

int ContactsStore::Initialize() {
    if (folder_.empty()) folder_ = DataFolder() / "contacts";
    std::error_code ec;
    CreatePrivateFolder(folder_);
    fs::directory_iterator probe(folder_, ec);
    if (ec) {
        error_ = "cannot read " + folder_.string() + ": " + ec.message();
        return 0;
    }
    initialized_ = true;
    return 1;
}

int ContactsStore::Open() {
    files_.clear();
    opened_ = true;
    if (!initialized_) return 1;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        // Dot files include the temporary files of an atomic replacement.
        if (file.size() <= 4 || file[0] == '.' || !file.ends_with(".vcf")) continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        if (ReadCard(it->path(), nullptr)) files_.push_back(it->path());
    }
    std::sort(files_.begin(), files_.end());
    return 1;
}

int ContactsStore::Count() const {
    return opened_ ? static_cast<int>(files_.size()) : 0;
}

bool ContactsStore::InRange(int position) const {
    return position >= 0 && position < Count();
}

std::u16string ContactsStore::GetName(int position) const {
    if (!InRange(position)) return {};
    std::optional<VCard> card = ReadCard(files_[position], nullptr);
    return card ? ShownName(*card) : std::u16string();
}

std::u16string ContactsStore::GetNumber(int position) const {
    if (!InRange(position)) return {};
    std::optional<VCard> card = ReadCard(files_[position], nullptr);
    return card ? card->Number() : std::u16string();
}

int ContactsStore::Update(int position, std::u16string_view name) {
    if (!InRange(position)) return 0;
    std::optional<VCard> card = ReadCard(files_[position], &error_);
    if (!card) return 0;
    // Rewriting the shown name would fold the middle name into the last name.
    if (ShownName(*card) == name) return 1;
    auto [first, last] = SplitContactName(name);
    card->SetName(first, last);
    return WriteFileAtomic(files_[position], card->Serialize(), 0600, &error_) ? 1 : 0;
}

int ContactsStore::UpdateNumber(int position, std::u16string_view number) {
    if (!InRange(position)) return 0;
    std::optional<VCard> card = ReadCard(files_[position], &error_);
    if (!card) return 0;
    card->SetNumber(number);
    return WriteFileAtomic(files_[position], card->Serialize(), 0600, &error_) ? 1 : 0;
}

int ContactsStore::Add(std::u16string_view name, std::u16string_view number) {
    if (!initialized_) {
        error_ = "the contacts folder is not available";
        return 0;
    }
    std::string uid;
    fs::path path;
    std::error_code ec;
    do {
        uid = FreshUid();
        path = folder_ / (uid + ".vcf");
    } while (fs::exists(path, ec));
    auto [first, last] = SplitContactName(name);
    const VCard card = VCard::Create(uid, first, last, number);
    if (!WriteFileAtomic(path, card.Serialize(), 0600, &error_)) return 0;
    files_.insert(std::upper_bound(files_.begin(), files_.end(), path), path);
    return 1;
}

int ContactsStore::Remove(int position) {
    if (!InRange(position)) return 0;
    std::error_code ec;
    if (!fs::remove(files_[position], ec) && ec) {
        error_ = "cannot delete " + files_[position].string() + ": " + ec.message();
        return 0;
    }
    files_.erase(files_.begin() + position);
    return 1;
}

}  // namespace telvane
