// telvane-tool contacts: the contacts the program shows beside the SIM phonebook.
#include <iostream>

#include "cli.h"
#include "contacts/contacts_store.h"

namespace telvane::cli {
namespace {

int Run(const Args& args) {
    std::filesystem::path folder;
    if (args.empty() || args[0] != "list") throw UsageError{"expected 'list [--dir DIR]'"};
    if (args.size() == 3 && args[1] == "--dir") {
        folder = args[2];
    } else if (args.size() != 1) {
        throw UsageError{"expected 'list [--dir DIR]'"};
    }
    ContactsStore store(folder);
    if (!store.Initialize()) {
        std::cerr << "telvane-tool contacts: " << store.LastError() << "\n";
        return 1;
    }
    store.Open();
    for (int p = 0; p < store.Count(); ++p)
        std::cout << "{\"position\":" << p << ",\"name\":" << JsonString(store.GetName(p))
                  << ",\"number\":" << JsonString(store.GetNumber(p)) << "}\n";
    return 0;
}

const CommandGroup group("contacts",
                         "  contacts list [--dir DIR]   the contacts, one object a line\n", Run);

}  // namespace
}  // namespace telvane::cli
