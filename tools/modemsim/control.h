// Commands that change a running simulated modem from outside, one per line (the program reads
// them from its --control pipe):
//
//   deliver +886955000111 | 26/12/10,08:00:00+32 | Hi   a message arrives (time may be empty: now)
//                                                        (a long text arrives as its parts)
//   deliver-pdu 0791...                                  a message arrives as this PDU
//   deliver ME +886955000111 | | Hi                      the same, stored in ME (or SM)
//   deliver-pdu ME 0791...                               whatever the scenario says
//   report 3 0                                           status report for reference 3, TP-ST 0
//   unsolicited +CREG: 1,5                               a line sent as is
//   registration 5                                       the network's registration changes
//   signal 12                                            the signal changes
//                                   (each announced by +CREG and, after AT+CMER, by +CIEV)
//   drop                                                 the line is hung up
//
// The program itself also takes `hangup`: its --link goes, then the line, as a pulled USB modem.
#pragma once

#include <string>

#include "modemsim/simulated_modem.h"

namespace telvane::modemsim {

// Carries out one line; empty when done, else what was wrong with it.  Blank lines and lines
// starting with '#' do nothing.
std::string ApplyControl(SimulatedModem& modem, const std::string& line);

}  // namespace telvane::modemsim
