// The start-up sequence: reset, SIM check, registration reports, PDU mode, operator.

#include <string_view>

#include "modem/engine_state.h"

namespace telvane {
namespace {

struct Step {
    std::string_view command;  // empty: a pause alone
    int32_t pauseMs;
};

// Written once the SIM is ready; their answers reach the controller through the classifier.
constexpr Step kConfigure[] = {
    {"AT+CSQ", 500},
    {"AT+CREG=1", 500},
    {"AT+CREG?", 500},
    {"", 50},
    {"AT+CSMP=17,169,0,0;+CMGF=0", 500},
    // Numeric format: a standard answer then names the operator by its code.
    {"AT+COPS=3,2;+COPS?", 500},
};

constexpr int kResetLines = 10;
constexpr int kCommandLimit = 20;  // reset lines and SIM checks together

}  // namespace

void ModemEngine::RunStartup() {
    State& s = *state_;
    s.enabled = true;
    int attempts = 0;
    // The leading CR flushes any half-typed line.
    for (;;) {
        SendCommand("\rATZ");
        if (++attempts >= kResetLines) break;
        if (WaitForOk(1000)) break;
    }
    for (;;) {
        SendCommand("AT+CMEE=1;+CPIN?");
        Pause(1000);
        if (s.simState.load() != 0 || s.closing.load() || attempts >= kCommandLimit) break;
        ++attempts;
    }

    bool succeeded = false;
    if (s.simState.load() < 1) {
        s.enabled = false;
    } else {
        succeeded = true;
        for (const Step& step : kConfigure) {
            if (s.closing.load()) {
                succeeded = false;
                break;
            }
            if (!step.command.empty()) SendCommand(step.command);
            Pause(step.pauseMs);
        }
        if (s.closing.load()) succeeded = false;
    }
    s.events.Signal(succeeded ? engine_event::kStartupDone : engine_event::kStartupFailed);
}

}  // namespace telvane
