// The user-facing reason why a serial device could not be opened or configured.
#pragma once

#include <string>

namespace telvane {

// `error` is the errno of the failed open (or of the lock that keeps other programs out).
std::string DescribeOpenFailure(const std::string& device, int error);

// `step` names what was refused, e.g. "applying the line settings".
std::string DescribeConfigureFailure(const std::string& device, const std::string& step, int error);

}  // namespace telvane
