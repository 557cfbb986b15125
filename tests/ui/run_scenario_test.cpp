// ./run with another scenario: the simulated modem it starts serves that scenario's SIM and
// network to the window it opens.  ./run is run as it is from a tree of its own whose build
// step and package check are stand-ins, so that nothing is installed or rebuilt: its programs
// are this build's.  The window draws offscreen; Ctrl+C (SIGINT to the group) ends it all.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/program.h"
#include "support/wait.h"

namespace fs = std::filesystem;
using telvane::testing::Program;
using telvane::testing::WaitUntil;
using telvane::testing::Watchdog;

namespace {

constexpr char kOperator[] = "Quokka Mobile";

void WriteFile(const fs::path& path, const std::string& text, fs::perms mode = fs::perms::none) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    if (mode != fs::perms::none) fs::permissions(path, mode, fs::perm_options::add);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The processes of group `group` named `name` (as the kernel shortens it).
std::vector<pid_t> GroupMembers(pid_t group, const std::string& name) {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string stat = ReadFile(entry.path() / "stat");
        const size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        // After the name: state, parent, group.
        char state = 0;
        int parent = 0, pgrp = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &parent, &pgrp) != 3)
            continue;
        if (pgrp == group && state != 'Z' && stat.substr(open + 1, close - open - 1) == name)
            found.push_back(static_cast<pid_t>(std::stoi(pid)));
    }
    return found;
}

// Kills what is left of a group, should the test stop early.
struct GroupGuard {
    pid_t group = -1;
    ~GroupGuard() {
        if (group > 0) ::kill(-group, SIGKILL);
    }
};

}  // namespace

class RunScenarioTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    fs::path root_;

    // A tree that holds ./run itself, this build's programs where ./run looks for them, and
    // stand-ins for the package check and for cmake.
    fs::path Tree() {
        const fs::path tree = root_ / "tree";
        if (fs::exists(tree)) return tree;
        fs::create_directories(tree / "build/tools");
        fs::create_directories(tree / "build/src/ui");
        fs::create_symlink(fs::path(TELVANE_SOURCE_DIR) / "run", tree / "run");
        fs::create_symlink(fs::path(TELVANE_BINARY_DIR) / "tools/telvane-modemsim",
                           tree / "build/tools/telvane-modemsim");
        fs::create_symlink(fs::path(TELVANE_BINARY_DIR) / "src/ui/telvane",
                           tree / "build/src/ui/telvane");
        WriteFile(tree / ".ci/packages.sh", "install_missing_packages() { :; }\n");
        WriteFile(root_ / "bin/cmake", "#!/bin/sh\nexit 0\n", fs::perms::owner_exec);
        return tree;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        root_ = dir_.path().toStdString();
        const std::string path = (root_ / "bin").string() + ":" + std::getenv("PATH");
        ::setenv("PATH", path.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::unsetenv("TELVANE_SCENARIO");
        WriteFile(root_ / "scenarios/quokka.ini",
                  std::string("[sim]\nstate = ready\n\n[network]\nregistration = 1\n"
                              "operator = 50599\noperator_name = ") +
                      kOperator + "\nsignal = 17\n");
    }

    // Named by the option (relative to where ./run is started) or by the variable.
    void ServesTheScenario_data() {
        QTest::addColumn<bool>("byVariable");
        QTest::addRow("--scenario") << false;
        QTest::addRow("TELVANE_SCENARIO") << true;
    }
    void ServesTheScenario() {
        QFETCH(bool, byVariable);
        const fs::path tree = Tree();
        const fs::path home = root_ / (byVariable ? "home-variable" : "home-option");
        const fs::path scenario = root_ / "scenarios/quokka.ini";
        ::setenv("TELVANE_RUN_HOME", home.c_str(), 1);
        if (byVariable) ::setenv("TELVANE_SCENARIO", scenario.c_str(), 1);
        const fs::path was = fs::current_path();
        fs::current_path(scenario.parent_path());
        std::vector<std::string> argv{"setsid", (tree / "run").string()};
        if (!byVariable) argv.insert(argv.end(), {"--scenario", "quokka.ini"});
        Program run(argv);
        fs::current_path(was);
        ::unsetenv("TELVANE_SCENARIO");
        GroupGuard guard{run.Pid()};
        Watchdog watchdog(run);
        QVERIFY(run.Pid() > 0);

        // ./run names what it serves once the modem is there.
        std::string line;
        while (run.NextLine(line) && line.find("Simulated modem on") == std::string::npos) {
        }
        QVERIFY2(line.find("(" + scenario.string() + ")") != std::string::npos, run.All().c_str());
        // The window is up, on the simulator's link.
        std::vector<pid_t> window;
        QVERIFY(WaitUntil([&] { return !(window = GroupMembers(run.Pid(), "telvane")).empty(); }));
        // The name changes before exec has put the environment in place: until then it reads empty.
        std::string environment;
        QVERIFY(WaitUntil([&] {
            environment = ReadFile("/proc/" + std::to_string(window[0]) + "/environ");
            return !environment.empty();
        }));
        QVERIFY(environment.find(std::string("TELVANE_SIM_PORT=") + (home / "modem").c_str() +
                                 '\0') != std::string::npos);
        // It names the port after the scenario it is told the simulator serves.
        QVERIFY(environment.find(std::string("TELVANE_SIM_SCENARIO=") + scenario.c_str() + '\0') !=
                std::string::npos);

        // Another client of the link (the window has not connected) meets the scenario's
        // network.
        int status = -1;
        const std::string info = [&] {
            Program tool({TELVANE_TOOL_PATH, "modem", "--device", (home / "modem").string(),
                          "--scale", "0.1", "info"});
            Watchdog toolWatchdog(tool);
            while (tool.NextLine(line)) {
            }
            status = tool.Wait();
            return tool.All();
        }();
        QCOMPARE(status, 0);
        QVERIFY2(info.find(std::string("\"operator\": \"") + kOperator + "\"") != std::string::npos,
                 info.c_str());

        // Ctrl+C ends the window and the simulator, which takes its link away.
        ::kill(-run.Pid(), SIGINT);
        run.Wait();
        QVERIFY(WaitUntil([&] {
            return GroupMembers(run.Pid(), "telvane").empty() &&
                   GroupMembers(run.Pid(), "telvane-modemsi").empty();
        }));
        QVERIFY(!fs::exists(fs::symlink_status(home / "modem")));
        guard.group = -1;
    }

    // A scenario that cannot be read stops ./run before anything starts.
    void RefusesAMissingScenario() {
        const fs::path home = root_ / "home-missing";
        ::setenv("TELVANE_RUN_HOME", home.c_str(), 1);
        Program run({(Tree() / "run").string(), "--scenario", (root_ / "none.ini").string()});
        Watchdog watchdog(run);
        std::string line;
        while (run.NextLine(line)) {
        }
        QCOMPARE(run.Wait(), 2);
        QVERIFY2(run.All().find("cannot read the scenario") != std::string::npos,
                 run.All().c_str());
        QVERIFY(!fs::exists(home));
    }
};

QTEST_GUILESS_MAIN(RunScenarioTest)

#include "run_scenario_test.moc"
