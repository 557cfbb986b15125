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

std::vector<VCard> ReadCards(const fs::path& path, std::string* error) {
    std::optional<std::string> bytes = ReadWholeFile(path, error);
    if (!bytes) return {};
    std::vector<VCard> cards = VCard::ParseAll(*bytes);
    if (cards.empty() && error) *error = path.string() + ": not a vCard";
    return cards;
}

std::u16string ShownName(const VCard& card) {
    std::u16string name;
    for (const std::u16string& part : {card.First(), card.Middle(), card.Last()}) {
        if (part.empty()) continue;
        if (!name.empty()) name += u' ';
        name += part;
    }
    // FN that adds a note after the parts ("李大華 (Work)") is the name as the user wrote it.
    const std::u16string formatted = card.FormattedName();
    if (name.empty() || (formatted.starts_with(name) && formatted.size() > name.size() &&
                         formatted[name.size()] == u' '))
        return formatted;
    return name;
}

}  // namespace

std::pair<std::u16string, std::u16string> SplitContactName(std::u16string_view name) {
    VCardName parts = SplitVCardName(name);
    return {std::move(parts.given), std::move(parts.family)};
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
    contacts_.clear();
    opened_ = true;
    if (!initialized_) return 1;
    std::vector<fs::path> files, interrupted;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string file = it->path().filename().string();
        // Dot files include the temporary files of an atomic replacement; those an interrupted
        // one left behind go.
        if (file.starts_with('.')) {
            const size_t temp = file.find(".vcf.tmp");
            if (temp != std::string::npos)
                interrupted.push_back(folder_ / file.substr(1, temp + 3));
            continue;
        }
        if (file.size() <= 4 || !file.ends_with(".vcf")) continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        files.push_back(it->path());
    }
    for (const fs::path& file : interrupted)
        RemoveInterruptedSaves(file);
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const size_t cards = ReadCards(file, nullptr).size();
        for (size_t card = 0; card < cards; ++card)
            contacts_.push_back({file, card});
    }
    return 1;
}

int ContactsStore::Count() const {
    return opened_ ? static_cast<int>(contacts_.size()) : 0;
}

bool ContactsStore::InRange(int position) const {
    return position >= 0 && position < Count();
}

std::optional<std::vector<VCard>> ContactsStore::ReadFileOf(int position,
                                                            std::string* error) const {
    if (!InRange(position)) return std::nullopt;
    const Contact& contact = contacts_[static_cast<size_t>(position)];
    std::vector<VCard> cards = ReadCards(contact.file, error);
    if (contact.card >= cards.size()) {
        if (error && !cards.empty())
            *error = contact.file.string() + ": changed since it was read; reopen the contacts";
        return std::nullopt;
    }
    return cards;
}

std::u16string ContactsStore::GetName(int position) const {
    const auto cards = ReadFileOf(position, nullptr);
    return cards ? ShownName((*cards)[contacts_[static_cast<size_t>(position)].card])
                 : std::u16string();
}

std::u16string ContactsStore::GetNumber(int position) const {
    const auto cards = ReadFileOf(position, nullptr);
    return cards ? (*cards)[contacts_[static_cast<size_t>(position)].card].Number()
                 : std::u16string();
}

int ContactsStore::Update(int position, std::u16string_view name) {
    auto cards = ReadFileOf(position, &error_);
    if (!cards) return 0;
    const Contact& contact = contacts_[static_cast<size_t>(position)];
    VCard& card = (*cards)[contact.card];
    // Rewriting the shown name would fold the middle name into the last name.
    if (ShownName(card) == name) return 1;
    const VCardName parts = SplitVCardName(name);
    card.SetName(parts.given, parts.family, name);
    return WriteFileAtomic(contact.file, VCard::SerializeAll(*cards), 0600, &error_) ? 1 : 0;
}

int ContactsStore::UpdateNumber(int position, std::u16string_view number) {
    auto cards = ReadFileOf(position, &error_);
    if (!cards) return 0;
    const Contact& contact = contacts_[static_cast<size_t>(position)];
    (*cards)[contact.card].SetNumber(number);
    return WriteFileAtomic(contact.file, VCard::SerializeAll(*cards), 0600, &error_) ? 1 : 0;
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
    const VCard card = VCard::FromName(uid, name, number);
    if (!WriteFileAtomic(path, card.Serialize(), 0600, &error_)) return 0;
    const auto at = std::upper_bound(
        contacts_.begin(), contacts_.end(), path,
        [](const fs::path& file, const Contact& contact) { return file < contact.file; });
    contacts_.insert(at, Contact{path, 0});
    return 1;
}

int ContactsStore::Remove(int position) {
    auto cards = ReadFileOf(position, &error_);
    if (!cards) return 0;
    const Contact contact = contacts_[static_cast<size_t>(position)];
    if (cards->size() == 1) {
        std::error_code ec;
        if (!fs::remove(contact.file, ec) && ec) {
            error_ = "cannot delete " + contact.file.string() + ": " + ec.message();
            return 0;
        }
    } else {
        // The file's other contacts stay, each byte of them.
        VCard::Erase(*cards, contact.card);
        if (!WriteFileAtomic(contact.file, VCard::SerializeAll(*cards), 0600, &error_)) return 0;
    }
    contacts_.erase(contacts_.begin() + position);
    for (Contact& later : contacts_)
        if (later.file == contact.file && later.card > contact.card) --later.card;
    return 1;
}

}  // namespace telvane
