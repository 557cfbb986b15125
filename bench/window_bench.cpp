// Start-up of the window to its first paint, and the process's peak memory, beside a plain Qt
// dialog with similar controls.  Each start runs in a fresh process (this program, re-executed
// with --probe), so that the times are warm starts and the peak sizes are per process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/settings_store.h"
#include "ui/main_dialog.h"

namespace {

std::string selfPath;

// The dialog a plain Qt program would show for the same screen.
QDialog* MinimalDialog(bool chinese) {
    auto* d = new QDialog;
    d->resize(240, 294);
    auto text = [chinese](const char* en, const char* zh) {
        return QString::fromUtf8(chinese ? zh : en);
    };
    auto* tabs = new QTabBar(d);
    for (auto [en, zh] : {std::pair{"Inbox", "收件"},
                          {"Outbox", "寄件"},
                          {"Sent", "送件"},
                          {"Draft", "草稿"},
                          {"Save", "保存"}}) {
        tabs->addTab(text(en, zh));
    }
    tabs->setGeometry(12, 246, 213, 21);
    auto* list = new QTreeWidget(d);
    list->setHeaderLabels(
        {"", text("Phone", "電話"), text("Time", "時間"), text("Message", "訊息")});
    list->setGeometry(12, 141, 213, 104);
    auto* box = new QPlainTextEdit(d);
    box->setGeometry(12, 37, 213, 78);
    int x = 12;
    for (auto [en, zh] : {std::pair{"Reply", "回覆"}, {"Forward", "轉寄"}, {"SaveTo", "存至"}}) {
        auto* b = new QPushButton(text(en, zh), d);
        b->setGeometry(x, 117, 49, 22);
        x += 49;
    }
    auto* combo = new QComboBox(d);
    combo->addItem(text("Save", "保存"));
    combo->setGeometry(159, 117, 66, 20);
    (new QLabel(text("Offline", "離線"), d))->setGeometry(12, 2, 98, 14);
    (new QProgressBar(d))->setGeometry(125, 3, 50, 10);
    auto* bar = new QToolBar(d);
    for (int i = 0; i < 9; ++i) {
        bar->addAction(d->style()->standardIcon(QStyle::SP_FileIcon), QString::number(i));
    }
    bar->setGeometry(0, 268, 240, 26);
    return d;
}

// Runs in the child: prints the milliseconds from main() to the end of the first paint.
int Probe(const char* kind, bool chinese, const QElapsedTimer& clock) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    int argc = 1;
    char name[] = "window_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget* window = nullptr;
    std::unique_ptr<telvane::MainDialog> main;
    if (std::strcmp(kind, "window") == 0) {
        // A returning user: the settings exist.
        telvane::SettingsStore store(home.filePath("settings.conf").toStdString());
        store.SetNumber(telvane::MainDialog::kSettingsKey, "Language", chinese ? 1 : 0);
        telvane::MainDialogOptions options;
        options.scale = 1.0;
        options.messageBox = [](const QString&) {};
        main = std::make_unique<telvane::MainDialog>(options);
        window = main.get();
    } else {
        window = MinimalDialog(chinese);
    }
    struct FirstPaint : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && !seen) {
                seen = true;
                // Queued: runs once the paint and the flush are done.
                QTimer::singleShot(0, qApp, &QApplication::quit);
            }
            return false;
        }
        bool seen = false;
    } filter;
    window->installEventFilter(&filter);
    window->show();
    QTimer::singleShot(10000, qApp, &QApplication::quit);
    app.exec();
    std::printf("%.3f\n", clock.nsecsElapsed() / 1e6);
    if (!main) delete window;
    return filter.seen ? 0 : 1;
}

void Start(benchmark::State& state, const char* kind, bool chinese) {
    double peakMiB = 0;
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe failed");
            return;
        }
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            execl(selfPath.c_str(), selfPath.c_str(), "--probe", kind, chinese ? "zh" : "en",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char buffer[64] = {};
        ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
        close(fds[0]);
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the probe did not paint");
            return;
        }
        state.SetIterationTime(std::atof(buffer) / 1000.0);
        peakMiB = std::max(peakMiB, usage.ru_maxrss / 1024.0);
    }
    state.counters["peak_MiB"] = peakMiB;
}

}  // namespace

BENCHMARK_CAPTURE(Start, MinimalDialog_en, "minimal", false)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, Window_en, "window", false)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, MinimalDialog_zh, "minimal", true)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, Window_zh, "window", true)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    if (argc == 4 && std::strcmp(argv[1], "--probe") == 0) {
        return Probe(argv[2], std::strcmp(argv[3], "zh") == 0, clock);
    }
    char path[4096] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    selfPath = n > 0 ? std::string(path, static_cast<size_t>(n)) : argv[0];
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
