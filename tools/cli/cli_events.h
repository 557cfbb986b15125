// The names the tool's JSON lines give the engine's notifications ("event": "operator").
#pragma once

#include <string_view>

#include "modem/notification.h"

namespace telvane::cli {

std::string_view NotificationEventName(Notification notification);

}  // namespace telvane::cli
