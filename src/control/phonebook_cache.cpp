#include "control/phonebook_cache.h"

namespace telvane {

namespace {

// Job starters are asked this many times in a row before a request counts as refused.
constexpr int kStartAttempts = 201;

}  // namespace

PhonebookTable& PhonebookCache::Active() {
    PhonebookTable* online = host_.OnlinePhonebook();
    return online != nullptr ? *online : own_;
}

int PhonebookCache::Load() {
    return Active().LoadFile();
}

int PhonebookCache::Save() {
    return Active().SaveFile();
}

int PhonebookCache::WriteToSim() {
    if (host_.OnlinePhonebook() == nullptr) return 1;
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (host_.StartPhonebookWrite() != 0) return 1;
    }
    return 0;
}

int PhonebookCache::Synchronise() {
    if (host_.OnlinePhonebook() == nullptr) {
        Load();
        return 1;
    }
    if (host_.CurrentSettings().readSimPhonebook) return host_.StartPhonebookRead();
    Load();
    return WriteToSim();
}

void PhonebookCache::AfterChange() {
    if (host_.OnlinePhonebook() != nullptr && host_.CurrentSettings().syncSimPhonebook) {
        host_.PostBusy(true);
        if (WriteToSim() != 0) return;
        // The SIM did not take the job: keep the change pending in the file and free the window.
        host_.PostBusy(false);
    }
    Save();
}

}  // namespace telvane
