// Connect to Inbox in the real window (offscreen) on the simulated modem paced at a baud rate:
// from pressing Connect until the Inbox is listed and the window is idle, on the demo SIM and on
// a SIM of 200 messages.  Run by hand:
//   QT_QPA_PLATFORM=offscreen build/bench/connect_bench [--benchmark_repetitions=5]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"
#include "platform/settings_store.h"
#include "ui/main_dialog.h"

namespace {

std::string DemoSim() {
    std::ifstream in(TELVANE_SOURCE_DIR "/data/demo-sim.ini");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The same SIM as the link benchmark's 200-message listing.
std::string Sim200() {
    std::string text =
        "[modem]\nbaud = 115200\n[sim]\nmessage_capacity = 255\n[phonebook]\ncapacity = 250\n"
        "number_limit = 20\ntext_limit = 14\n1 = +886912345678 | Amy Chen\n[messages]\n";
    for (int i = 1; i <= 200; ++i) {
        text += std::to_string(i) + " = REC READ | +8869123" + std::to_string(10000 + i) +
                " | 26/12/01,09:15:00+32 | Message " + std::to_string(i) +
                ": the meeting moved to 3pm, room 402, bring the slides.\n";
    }
    return text;
}

void Connect(benchmark::State& state, const std::string& scenarioText) {
    std::string error;
    auto scenario = telvane::modemsim::ParseScenario(scenarioText, &error);
    if (!scenario) {
        state.SkipWithError(("scenario: " + error).c_str());
        return;
    }
    for (auto _ : state) {
        QTemporaryDir dir;
        telvane::modemsim::SimulatedModem modem(*scenario);
        const std::string device = modem.Start();
        if (device.empty()) {
            state.SkipWithError("the simulated modem does not start");
            return;
        }
        telvane::SerialDeviceTable::Instance().Register("COM2", device, "Simulated modem");
        const std::string settingsFile = dir.filePath("settings.conf").toStdString();
        {
            telvane::SettingsStore store(settingsFile);
            if (!store.OpenKey(telvane::MainDialog::kSettingsKey) ||
                !store.SetText(telvane::MainDialog::kSettingsKey, "Port", u"COM2")) {
                state.SkipWithError("the settings cannot be written");
                return;
            }
        }
        telvane::MainDialogOptions options;
        options.scale = 1.0;
        options.settingsFile = settingsFile;
        options.sysRoot = dir.filePath("none").toStdString();
        options.devRoot = dir.filePath("none").toStdString();
        options.contactsFolder = dir.filePath("contacts").toStdString();
        options.messageBox = [](const QString&) {};
        auto dialog = std::make_unique<telvane::MainDialog>(options);
        dialog->show();
        QApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        dialog->Command(telvane::CommandId::kConnect);
        const bool listed = QTest::qWaitFor(
            [&] {
                return dialog->Controller().IsOnline() && !dialog->Controller().IsBusy() &&
                       dialog->MessageRowCount() > 0;
            },
            120000);
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        if (!listed) state.SkipWithError("the Inbox was not listed");
        state.counters["rows"] = dialog->MessageRowCount();
        dialog.reset();
        modem.Stop();
        telvane::SerialDeviceTable::Instance().Unregister("COM2");
    }
}

}  // namespace

BENCHMARK_CAPTURE(Connect, demo_sim, DemoSim())->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Connect, sim_200_messages, Sim200())
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
