// The product's engine behind the controller: ModemEngine on a serial port.
#pragma once

#include <memory>

#include "control/link_engine.h"
#include "platform/timing.h"

namespace telvane {

std::unique_ptr<LinkEngine> MakeModemLink(Timing timing);

}  // namespace telvane
