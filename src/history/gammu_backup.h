// gammu's SMS backup files (what `gammu backupsms` writes and `gammu restoresms` reads): an INI
// file with one [SMSBackupNNN] section per message part, its text as UCS-2 hex in Text00, Text01...
//
//   std::vector<HistoryMessage> in = ReadGammuBackup(bytes, &problem);  // parts joined
//   std::string out = WriteGammuBackup(history.AllMessages());          // long ones in parts
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "history/history_message.h"

namespace telvane {

// The messages of a backup, the parts of a long message joined into one, each with its stable
// key, store "import".  Status reports and sections without a number are left out; a section
// whose fields do not read is skipped and counted in `skipped`.  Never throws, never reads past
// the input.
std::vector<HistoryMessage> ReadGammuBackup(std::string_view bytes, int* skipped = nullptr);

// The messages as a backup gammu restores: received ones as delivered messages in folder 1,
// sent ones as submitted messages in folder 2, a long text as parts with a concatenation header.
// gammu restores a received message only with its service centre's number: the message's own,
// else `smsc`; `withoutSmsc` counts the received messages that have neither.
std::string WriteGammuBackup(const std::vector<HistoryMessage>& messages,
                             std::u16string_view smsc = {}, int* withoutSmsc = nullptr);

}  // namespace telvane
