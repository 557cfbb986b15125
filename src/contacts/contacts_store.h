// The user's own contacts, shown beside the SIM phonebook: a folder of vCard files, usually one
// contact per .vcf; every card of a file that holds several is a contact of its own.  Contacts
// are in the order of their file names, then of the cards in a file.  Positions are 0-based.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/vcard.h"

namespace telvane {

class ContactsStore {
  public:
    // `folder` empty: DataFolder()/"contacts".
    explicit ContactsStore(std::filesystem::path folder = {});

    // Creates the folder when missing.  0 when it can neither be created nor read; the program
    // then runs without contacts.
    [[nodiscard]] int Initialize();
    // (Re)reads the folder's list of contacts.  Always 1.
    int Open();
    // Number of contacts; 0 before Open.
    int Count() const;

    // First, middle and last name joined by single blanks (the parts that are not empty); the
    // formatted name when the card has no name parts or its FN is them followed by a note
    // ("李大華 (Work)").  Empty for a position out of range.
    std::u16string GetName(int position) const;
    std::u16string GetNumber(int position) const;

    // Writing a name: FN is the whole name, N's parts as SplitVCardName gives them; the middle
    // name is cleared, since the shown name included it.  Writing the name the contact
    // already shows changes nothing.  1 when the contact holds the name, 0 for a position out of
    // range or a file that cannot be read or replaced.
    [[nodiscard]] int Update(int position, std::u16string_view name);
    // 1 when the number was written, 0 as for Update.  An empty number removes it.
    [[nodiscard]] int UpdateNumber(int position, std::u16string_view number);
    // A new contact in a file named by a fresh UID.  1 when written, else 0.
    [[nodiscard]] int Add(std::u16string_view name, std::u16string_view number);
    // Deletes the contact: its file, or its card from a file of several (the other cards are
    // written back byte for byte).  Later contacts move up one position.  1 when deleted, else 0.
    [[nodiscard]] int Remove(int position);

    // What the last failing operation could not do, with the system's reason.
    const std::string& LastError() const { return error_; }
    const std::filesystem::path& Folder() const { return folder_; }

  private:
    struct Contact {
        std::filesystem::path file;
        size_t card = 0;  // which card of the file
    };

    bool InRange(int position) const;
    // Every card of the contact's file, when it can be read and still holds the contact.
    std::optional<std::vector<VCard>> ReadFileOf(int position, std::string* error) const;

    std::filesystem::path folder_;
    bool initialized_ = false;
    bool opened_ = false;
    std::vector<Contact> contacts_;  // sorted by file name, then card
    std::string error_;
};

// A written name as first name and last name (SplitVCardName).
std::pair<std::u16string, std::u16string> SplitContactName(std::u16string_view name);

}  // namespace telvane
