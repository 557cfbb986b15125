// Start-up of the window to its first paint, and the process's peak memory, beside a plain Qt
// dialog with similar controls showing the same 200 Inbox lines; the window both on an empty data
// folder and on a full one (five folders of 200 messages and a 250-entry phonebook).  Each start
// runs in a fresh process (this program, re-executed with --probe) and is timed from the exec to
// the end of the first paint, so that the times are warm starts and the peak sizes are per
// process.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QListWidget>
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
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/settings_store.h"
#include "store/message_store.h"
#include "store/phonebook_table.h"
#include "ui/main_dialog.h"

namespace {

std::string selfPath;

double MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Message `i` of a full folder: 160 characters, Latin and Chinese in turn, each a minute apart so
// that sorting by time has work to do.
std::u16string MessageText(int i) {
    std::u16string text;
    for (int c = 0; c < 160; ++c)
        text.push_back(static_cast<char16_t>(i % 2 ? u'a' + c % 26 : 0x4e00 + c));
    return text;
}

std::u16string MessageTime(int i) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "26/12/%02d,%02d:%02d:00+32", 1 + i / 60 % 28, i / 60 % 24,
                  i % 60);
    return std::u16string(buffer, buffer + std::strlen(buffer));
}

// The window's wide size in the wide runs: folders, list and reading pane side by side.
constexpr int kWideWidth = 900;
constexpr int kWideHeight = 500;

// The dialog a plain Qt program would show for the same screen; `rows` Inbox lines as the full
// folder's.  Wide: the folders as a side list, the list and the text side by side, and the
// commands with their names.
QDialog* MinimalDialog(bool chinese, int rows, bool wide) {
    auto* d = new QDialog;
    d->resize(wide ? QSize(kWideWidth, kWideHeight) : QSize(240, 294));
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
    if (wide) {
        tabs->hide();
        auto* side = new QListWidget(d);
        for (int i = 0; i < tabs->count(); ++i)
            side->addItem(tabs->tabText(i));
        side->setGeometry(6, 18, 70, kWideHeight - 26 - 24);
    }
    auto* list = new QTreeWidget(d);
    list->setHeaderLabels(
        {"", text("Phone", "電話"), text("Time", "時間"), text("Message", "訊息")});
    list->setGeometry(wide ? QRect(80, 18, 440, kWideHeight - 26 - 24) : QRect(12, 141, 213, 104));
    for (int i = 0; i < rows; ++i) {
        const QString date =
            QString::asprintf("%d/12/26 %02d:%02d:00", 1 + i / 60 % 28, i / 60 % 24, i % 60);
        auto* item = new QTreeWidgetItem(
            list, {"", "+886912345678", date, QString::fromStdU16String(MessageText(i))});
        item->setCheckState(0, Qt::Unchecked);
    }
    list->setSortingEnabled(true);
    list->sortByColumn(2, Qt::DescendingOrder);
    auto* box = new QPlainTextEdit(d);
    box->setGeometry(wide ? QRect(524, 40, 370, kWideHeight - 26 - 80) : QRect(12, 37, 213, 78));
    const int buttonsTop = wide ? kWideHeight - 26 - 30 : 117;
    int x = wide ? 524 : 12;
    for (auto [en, zh] : {std::pair{"Reply", "回覆"}, {"Forward", "轉寄"}, {"SaveTo", "存至"}}) {
        auto* b = new QPushButton(text(en, zh), d);
        b->setGeometry(x, buttonsTop, 49, 22);
        x += 49;
    }
    auto* combo = new QComboBox(d);
    combo->addItem(text("Save", "保存"));
    combo->setGeometry(x, buttonsTop, 66, 20);
    (new QLabel(text("Offline", "離線"), d))->setGeometry(12, 2, 98, 14);
    (new QProgressBar(d))->setGeometry(125, 3, 50, 10);
    auto* bar = new QToolBar(d);
    for (int i = 0; i < 9; ++i) {
        bar->addAction(d->style()->standardIcon(QStyle::SP_FileIcon), QString::number(i));
    }
    bar->setGeometry(wide ? QRect(0, kWideHeight - 26, kWideWidth, 26) : QRect(0, 268, 240, 26));
    if (wide) bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return d;
}

// Every folder full of 160-character messages (Latin and Chinese in turn) and a full phonebook.
void FillDataFolder(const std::string& folder) {
    using namespace telvane;
    for (int id = 0; id <= 4; ++id) {
        MessageStore store(folder);
        for (int i = 0; i < kFolderSlots; ++i) {
            store.AddShown(SmsRecord{i + 1, id == 0 ? u"REC READ" : u"STO SENT", u"+886912345678",
                                     u"", MessageTime(i), MessageText(i)});
        }
        if (store.SaveShown(static_cast<FolderId>(id)) == 0) {
            std::fprintf(stderr, "window_bench: %s\n", store.LastError().c_str());
            std::exit(1);
        }
    }
    PhonebookTable phonebook;
    phonebook.SetLimits(20, 14, 250);
    for (int i = 0; i < 250; ++i)
        phonebook.AddEntry(u"Name " + std::u16string(9, static_cast<char16_t>(u'A' + i % 26)),
                           u"+886912345678");
    if (phonebook.SaveFile(std::filesystem::path(folder) / "simpbk.acr") == 0) {
        std::fprintf(stderr, "window_bench: %s\n", phonebook.LastError().c_str());
        std::exit(1);
    }
}

bool IsWindow(const char* kind) {
    return std::strncmp(kind, "window", 6) == 0 || std::strncmp(kind, "full", 4) == 0;
}

// Runs in the child: prints the monotonic clock's milliseconds at the end of the first paint.
int Probe(const char* kind, bool chinese, const char* folder) {
    QTemporaryDir scratch;
    const QDir home(folder ? QString::fromUtf8(folder) : scratch.path());
    qputenv("TELVANE_HOME", home.path().toUtf8());
    int argc = 1;
    char name[] = "window_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget* window = nullptr;
    std::unique_ptr<telvane::MainDialog> main;
    if (IsWindow(kind)) {
        telvane::MainDialogOptions options;
        options.scale = 1.0;
        options.messageBox = [](const QString&) {};
        main = std::make_unique<telvane::MainDialog>(options);
        window = main.get();
    } else {
        window = MinimalDialog(chinese, std::strncmp(kind, "minimal_full", 12) == 0 ? 200 : 0,
                               std::strstr(kind, "wide") != nullptr);
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
    const double painted = MonotonicMs();
    std::printf("%.3f\n", painted);
    if (!main) delete window;
    return filter.seen ? 0 : 1;
}

// A returning user: the settings exist, and a wide window was left wide.  Written before the
// timed start-ups, as a user's settings are: the write and its sync are no part of the start.
void WriteSettings(const std::string& folder, bool chinese, bool wide) {
    telvane::SettingsStore store(folder + "/settings.conf");
    std::vector<std::pair<std::string, telvane::SettingsStore::Value>> values = {
        {"Language", static_cast<uint32_t>(chinese ? 1 : 0)}};
    if (wide) {
        values.emplace_back("WindowWidth", static_cast<uint32_t>(kWideWidth));
        values.emplace_back("WindowHeight", static_cast<uint32_t>(kWideHeight));
    }
    if (std::string error; !store.SetValues(telvane::MainDialog::kSettingsKey, values, &error)) {
        std::fprintf(stderr, "window_bench: %s\n", error.c_str());
        std::exit(1);
    }
}

void Start(benchmark::State& state, const char* kind, bool chinese) {
    // The window's data folder and its settings are made outside the timed start-ups: the
    // full one (five folders and a phonebook) once, an empty one afresh for every start.
    const bool full = std::strstr(kind, "full") != nullptr;
    const bool wide = std::strstr(kind, "wide") != nullptr;
    std::unique_ptr<QTemporaryDir> data;
    if (IsWindow(kind) && full) {
        data = std::make_unique<QTemporaryDir>();
        FillDataFolder(data->path().toStdString());
        WriteSettings(data->path().toStdString(), chinese, wide);
    }
    double peakMiB = 0;
    for (auto _ : state) {
        if (IsWindow(kind) && !full) {
            data = std::make_unique<QTemporaryDir>();
            WriteSettings(data->path().toStdString(), chinese, wide);
        }
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe failed");
            return;
        }
        const double started = MonotonicMs();
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            const std::string folder = data ? data->path().toStdString() : std::string();
            execl(selfPath.c_str(), selfPath.c_str(), "--probe", kind, chinese ? "zh" : "en",
                  data ? folder.c_str() : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
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
        state.SetIterationTime((std::atof(buffer) - started) / 1000.0);
        peakMiB = std::max(peakMiB, usage.ru_maxrss / 1024.0);
    }
    state.counters["peak_MiB"] = peakMiB;
}

}  // namespace

BENCHMARK_CAPTURE(Start, MinimalDialog_en, "minimal", false)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, MinimalDialog_full_en, "minimal_full", false)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, Window_en, "window", false)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, Window_full_en, "full", false)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, MinimalDialog_zh, "minimal", true)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, MinimalDialog_full_zh, "minimal_full", true)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, Window_zh, "window", true)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, Window_full_zh, "full", true)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(Start, MinimalDialog_full_wide_en, "minimal_full_wide", false)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, Window_full_wide_en, "full_wide", false)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, MinimalDialog_full_wide_zh, "minimal_full_wide", true)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Start, Window_full_wide_zh, "full_wide", true)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--probe") == 0) {
        return Probe(argv[2], std::strcmp(argv[3], "zh") == 0, argc == 5 ? argv[4] : nullptr);
    }
    char path[4096] = {};
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    selfPath = n > 0 ? std::string(path, static_cast<size_t>(n)) : argv[0];
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
