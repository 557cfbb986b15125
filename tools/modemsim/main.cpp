// telvane-modemsim: a simulated GSM modem on a pseudo-terminal.
//
//   telvane-modemsim [--scenario FILE] [--link PATH] [--transcript FILE]
//
// Prints the device path on stdout (one line) and runs until SIGINT or SIGTERM.  Without
// --scenario the shipped demo SIM is used.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "modemsim/simulated_modem.h"
#include "platform/files.h"

namespace {

int Usage(const char* message) {
    std::fprintf(stderr, "telvane-modemsim: %s\n", message);
    std::fprintf(stderr,
                 "usage: telvane-modemsim [--scenario FILE] [--link PATH] [--transcript FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace telvane;
    std::string scenarioPath;
    std::string linkPath;
    std::string transcriptPath;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage("a simulated GSM modem");
            return 0;
        }
        if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
        if (arg == "--scenario")
            scenarioPath = argv[++i];
        else if (arg == "--link")
            linkPath = argv[++i];
        else if (arg == "--transcript")
            transcriptPath = argv[++i];
        else
            return Usage(("unknown option " + arg).c_str());
    }
    if (scenarioPath.empty()) {
        scenarioPath = FindShippedFile("demo-sim.ini").string();
        if (scenarioPath.empty()) return Usage("no --scenario given and no demo-sim.ini found");
    }
    std::string error;
    auto scenario = modemsim::LoadScenarioFile(scenarioPath, &error);
    if (!scenario) {
        std::fprintf(stderr, "telvane-modemsim: %s\n", error.c_str());
        return 1;
    }

    // The signals are taken by sigwait below, never by a handler on the modem's thread.
    // A shell starts background jobs with SIGINT ignored; an ignored signal never reaches sigwait.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    modemsim::SimulatedModem modem(std::move(*scenario));
    if (!transcriptPath.empty()) modem.SetTranscriptFile(transcriptPath);
    std::string device = modem.Start();
    if (device.empty()) {
        std::fprintf(stderr, "telvane-modemsim: %s\n", modem.Error().c_str());
        return 1;
    }
    if (!linkPath.empty()) {
        unlink(linkPath.c_str());
        if (symlink(device.c_str(), linkPath.c_str()) != 0) {
            std::fprintf(stderr, "telvane-modemsim: cannot link %s to %s: %s\n", linkPath.c_str(),
                         device.c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::printf("%s\n", linkPath.empty() ? device.c_str() : linkPath.c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    modem.Stop();
    if (!linkPath.empty()) unlink(linkPath.c_str());
    return 0;
}
