#include "serial/open_failure.h"

#include <cerrno>
#include <system_error>

namespace telvane {

std::string DescribeOpenFailure(const std::string& device, int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "no such device " + device;
        case EACCES:
        case EPERM:
            return "permission denied on " + device + ": the user must be in the dialout group";
        case EBUSY:
        case EWOULDBLOCK:
            return "device " + device +
                   " is busy: a program of another user or of the system holds it";
        default:
            return "cannot open " + device + ": " + std::generic_category().message(error);
    }
}

std::string DescribeConfigureFailure(const std::string& device, const std::string& step,
                                     int error) {
    std::string text = "cannot configure " + device + ": ";
    if (error == ENOTTY) return text + "not a serial device";
    text += step;
    if (error != 0) text += ": " + std::generic_category().message(error);
    return text;
}

}  // namespace telvane
