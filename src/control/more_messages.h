// What the status line says of listed messages the Inbox has no room for, store by store:
// "3 more messages on the SIM, 2 in the phone".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace telvane {

// The stores of the messages not shown, one name per message ("SM", "ME", ...; "" for a message
// whose store the modem did not name, which is the SIM's).  The SIM's count comes first, then
// the phone's, then the others in the order met; empty when there is none.  `unlistedOnSim`:
// messages of the SIM a listing stopped short of, counted with the SIM's.
std::u16string MoreMessagesText(const std::vector<std::string>& storesNotShown,
                                int32_t unlistedOnSim = 0);

}  // namespace telvane
