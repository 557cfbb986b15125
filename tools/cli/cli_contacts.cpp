// telvane-tool contacts: the contacts the program shows beside the SIM phonebook.
#include <iostream>

#include "cli.h"
#include "cli_import.h"
#include "contacts/contacts_store.h"

namespace telvane::cli {
namespace {

constexpr const char* kExpected = "expected 'list [--dir DIR]' or 'import FILE [--dir DIR]'";

int Run(const Args& args) {
    std::filesystem::path folder;
    const bool list = !args.empty() && args[0] == "list";
    const bool import = args.size() >= 2 && args[0] == "import";
    if (!list && !import) throw UsageError{kExpected};
    const size_t options = list ? 1 : 2;
    if (args.size() == options + 2 && args[options] == "--dir") {
        folder = args[options + 1];
    } else if (args.size() != options) {
        throw UsageError{kExpected};
    }
    const std::vector<ImportEntryText> entries =
        import ? ReadImportFile(args[1]) : std::vector<ImportEntryText>();
    ContactsStore store(folder);
    if (!store.Initialize()) {
        std::cerr << "telvane-tool contacts: " << store.LastError() << "\n";
        return 1;
    }
    store.Open();
    if (import) {
        ImportTarget target;
        for (int p = 0; p < store.Count(); ++p)
            target.numbers.push_back(store.GetNumber(p));
        for (const ImportLine& line : PlanImport(entries, target)) {
            if (!line.skip && !store.Add(line.name, line.number)) {
                std::cerr << "telvane-tool contacts: " << store.LastError() << "\n";
                return 1;
            }
            std::cout << ImportLineJson(line) << "\n";
        }
        return 0;
    }
    for (int p = 0; p < store.Count(); ++p)
        std::cout << "{\"position\":" << p << ",\"name\":" << JsonString(store.GetName(p))
                  << ",\"number\":" << JsonString(store.GetNumber(p)) << "}\n";
    return 0;
}

const CommandGroup group(
    "contacts",
    "  contacts list [--dir DIR]   the contacts, one object a line\n"
    "  contacts import FILE [--dir DIR]\n"
    "                               adds a vCard or CSV file's entries (number,\n"
    "                               name); one object a line, added or skipped\n",
    Run);

}  // namespace
}  // namespace telvane::cli
