// telvane: the window on the user's modem, or on the simulated one that ./run attaches.
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/serial_devices.h"
#include "telvane_version.h"
#include "ui/main_dialog.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("telvane");
    QApplication::setApplicationVersion(telvane::kVersion);
    // ./run attaches the simulated modem's pseudo-terminal as a port of its own.
    telvane::MainDialogOptions options;
    if (const char* sim = std::getenv("TELVANE_SIM_PORT"); sim && *sim) {
        // The port is named after the SIM the simulator serves, so that a user trying another
        // scenario sees that one was taken.
        std::string served = "demo SIM";
        if (const char* scenario = std::getenv("TELVANE_SIM_SCENARIO"); scenario && *scenario) {
            served = std::filesystem::path(scenario).filename().string();
            if (served.empty()) served = scenario;
        }
        telvane::SerialDeviceTable::Instance().Register("COM1", sim,
                                                        "Simulated modem (" + served + ")");
        options.defaultPort = "COM1";
    }
    telvane::MainDialog dialog(options);
    dialog.show();
    return app.exec();
}
