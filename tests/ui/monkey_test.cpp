// A user's hands on the real window: seeded random keys, clicks, typing, page and folder
// switches, resizing, settings and connects, while the simulated modem delivers messages and
// reports, refuses SIM writes, answers late and drops the line.  After every step the event loop
// must answer within two seconds (else the stacks of every thread are printed); at the end every
// message that arrived or was filed is still in a folder file or on the SIM, and no recipient got
// a message more often than the user queued it.
//
// TELVANE_MONKEY_SEED=<n> replays a run (`random` draws a seed and prints it);
// TELVANE_MONKEY_STEPS=<n> sets its length.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>

#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "control/ui_strings.h"
#include "platform/text.h"
#include "ui/compose_page.h"
#include "ui/list_view.h"
#include "ui/phonebook_page.h"
#include "ui/sms_page.h"
#include "ui/ui_text.h"
#include "window_rig.h"

using namespace telvane;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 5;  // the sanitizers' instrumentation, not the window, is slow
#else
constexpr int kSlowdown = 1;
#endif
constexpr auto kAnswerWithin = std::chrono::milliseconds(2000 * kSlowdown);
constexpr auto kStepWithin = testing::kHangCeiling * kSlowdown + std::chrono::seconds(10);
constexpr int kDefaultSteps = 300;
constexpr uint64_t kDefaultSeed = 1;

const char kScenario[] =
    "[modem]\nbaud = 0\n"
    "[sim]\nmessage_capacity = 40\nme_capacity = 10\n"
    "[network]\nreport_delay = 300\n"
    "[messages]\n"
    "1 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | See you at 7\n"
    "2 = REC READ | +886955000111 | 26/12/02,10:00:00+32 | Second\n"
    "3 = STO UNSENT | 0911222333 | | Stored draft\n"
    "[phonebook]\ncapacity = 20\nnumber_limit = 20\ntext_limit = 14\n"
    "1 = +886912345678 | Amy Chen\n"
    "3 = 0227001234 | Office\n"
    "[messages ME]\n"
    "1 = REC UNREAD | +886971000222 | 26/12/08,09:40:12+32 | In the phone\n"
    "[ussd]\n"
    "*100# = Your balance is NT$312.50\n"
    "*149# = + Services\\n1 Data\\n2 Balance\n"
    "*149# 1 = Data added\n";

// What the last steps did, for a crash or a hang: written before each step, read by the signal
// handler and the watchdog.
constexpr int kTrail = 12;
constexpr size_t kTrailLine = 200;
char trail[kTrail][kTrailLine];
std::atomic<int> trailNext{0};
uint64_t runSeed = 0;

int noteStep = 0;
bool verbose = false;  // TELVANE_MONKEY_VERBOSE: every step as it happens

void Note(const std::string& line) {
    const int slot = trailNext.load() % kTrail;
    std::snprintf(trail[slot], kTrailLine, "step %d: %s\n", noteStep, line.c_str());
    trailNext.store(trailNext.load() + 1);
    if (verbose) std::fputs(trail[slot], stderr);
}

// Async-signal-safe: formats into a buffer of its own and writes once.
void WriteTrail() {
    static char text[96 + kTrail * kTrailLine];
    int used = std::snprintf(text, 96, "monkey: TELVANE_MONKEY_SEED=%llu, the last steps:\n",
                             static_cast<unsigned long long>(runSeed));
    const int next = trailNext.load();
    for (int i = std::max(0, next - kTrail); i < next; ++i) {
        const char* line = trail[i % kTrail];
        const size_t length = strnlen(line, kTrailLine);
        std::memcpy(text + used, line, length);
        used += static_cast<int>(length);
    }
    [[maybe_unused]] ssize_t written = write(2, text, static_cast<size_t>(used));
}

extern "C" void OnFatalSignal(int signal) {
    WriteTrail();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void CatchCrashes() {
    // A runaway recursion overflows the stack: the handler needs one of its own.
    static std::vector<char> altStack(1 << 16);
    stack_t stack{};
    stack.ss_sp = altStack.data();
    stack.ss_size = altStack.size();
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    action.sa_flags = SA_ONSTACK;
    for (int s : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL})
        sigaction(s, &action, nullptr);
}

// Prints every thread's stack and aborts when the window thread stops answering.
class Watchdog {
  public:
    Watchdog() : thread_([this] { Run(); }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void Beat() { beat_.store(Now()); }
    void StepEnded() { step_.store(Now()); }

  private:
    static int64_t Now() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void Run() {
        Beat();
        StepEnded();
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_; })) {
            const int64_t now = Now();
            if (now - beat_.load() > kAnswerWithin.count()) {
                std::fprintf(stderr, "monkey: the window did not answer for %lld ms\n",
                             static_cast<long long>(kAnswerWithin.count()));
            } else if (now - step_.load() > kStepWithin.count()) {
                // The loop answers, but a step never ends: a modal box nothing closes.
                std::fprintf(stderr, "monkey: a step did not end in %lld ms\n",
                             static_cast<long long>(kStepWithin.count()));
            } else {
                continue;
            }
            WriteTrail();
            const std::string command = "gdb -p " + std::to_string(getpid()) +
                                        " -batch -ex 'thread apply all bt' 2>&1 1>&2";
            [[maybe_unused]] int rc = std::system(command.c_str());
            std::signal(SIGABRT, SIG_DFL);
            std::abort();
        }
    }
    std::atomic<int64_t> beat_{0};
    std::atomic<int64_t> step_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

std::string Utf8(const std::u16string& text) {
    return QString::fromStdU16String(text).toStdString();
}

struct Arrival {
    int step = 0;
    std::string pdu;
    std::u16string text;
};

}  // namespace

class MonkeyTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<modemsim::SimulatedModem>> modems_;  // the last one is plugged in
    std::unique_ptr<MainDialog> dialog_;
    std::mt19937_64 random_;
    int step_ = 0;
    int delivered_ = 0;

    std::vector<Arrival> arrivals_;
    // Texts seen in the Outbox, Sent, Draft and Saved files, and the step that saw each first.
    std::map<std::u16string, int> filed_;
    // Texts the user deleted or replaced (an edited draft), which may go.
    std::set<std::u16string> released_;
    // How often the user queued each text for sending (at most: a refused send counts too).
    std::map<std::u16string, int> queued_;
    std::map<std::u16string, int> queuedAt_;
    std::u16string composed_;
    std::multiset<std::u16string> outbox_;  // the Outbox's texts as the step began

    modemsim::SimulatedModem& Modem() { return *modems_.back(); }
    int Draw(int below) {
        return static_cast<int>(std::uniform_int_distribution<int>(0, below - 1)(random_));
    }
    bool Chance(int percent) { return Draw(100) < percent; }
    template <typename T>
    T Pick(const std::vector<T>& items) {
        return items[static_cast<size_t>(Draw(static_cast<int>(items.size())))];
    }

    // --- the simulated modem -----------------------------------------------------------

    std::string PlugModem(modemsim::Scenario scenario) {
        auto modem = std::make_unique<modemsim::SimulatedModem>(std::move(scenario));
        const std::string device = modem->Start();
        if (device.empty()) return "modem: " + modem->Error();
        SerialDeviceTable::Instance().Register("COM2", device, "Simulated modem");
        modems_.push_back(std::move(modem));
        return {};
    }

    // The line dropped: the same SIM comes back in a modem with other faults, as after a
    // replug.
    void ReplugModem() {
        modemsim::SimulatedModem& old = Modem();
        old.DropLink();
        QVERIFY(testing::WaitUntil([&] { return !old.LinkUp(); }));
        std::string error;
        auto scenario = modemsim::ParseScenario(kScenario, &error);
        QVERIFY2(scenario, error.c_str());
        scenario->messages = old.Messages();
        scenario->phonebook = old.Phonebook();
        modemsim::Faults& f = scenario->faults;
        f.seed = static_cast<uint32_t>(random_());
        f.delayMs = Pick(std::vector<int>{0, 0, 20, 150});
        if (Chance(30)) scenario->submitDelayMs = 1500;      // the network takes its time
        if (Chance(10)) f.cme.push_back({"+CPBR", 515, 1});  // SIM busy, once
        if (Chance(20)) f.commandDelayMs["+CPBR"] = 400;
        if (Chance(30)) f.refused.insert("+CPBW");  // a SIM that takes no phonebook writes
        if (Chance(20)) f.refused.insert("+CMGD");
        if (Chance(20)) f.cmsErrorOnSubmission[1 + Draw(3)] = 330;
        if (Chance(15)) f.batchMin = 1, f.batchMax = 16;
        if (Chance(10)) {
            scenario->simState = modemsim::SimState::PinRequired;
            scenario->pinAttempts = 3;
        }
        const std::string plugged = PlugModem(std::move(*scenario));
        QVERIFY2(plugged.empty(), plugged.c_str());
    }

    void ModemStep() {
        const int what = Draw(100);
        if (what < 55) {
            const std::u16string text = (Chance(20) ? u"到了 " : u"arrived ") +
                                        QString::number(++delivered_).toStdU16String();
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "26/12/%02d,%02d:%02d:%02d+32", 1 + delivered_ % 28,
                          delivered_ / 3600 % 24, delivered_ / 60 % 60, delivered_ % 60);
            const int index =
                Modem().DeliverMessage("+8869550" + std::to_string(10000 + Draw(3)), stamp, text);
            Note("modem delivers \"" + Utf8(text) + "\" at " + std::to_string(index));
            if (index <= 0) return;
            for (const modemsim::StoredMessage& m : Modem().Messages()) {
                if (m.index == index) arrivals_.push_back({step_, m.pdu, text});
            }
        } else if (what < 75) {
            const int reference = Draw(256);
            Note("modem reports on reference " + std::to_string(reference));
            Modem().ReportStatus(reference, Pick(std::vector<int>{0, 0, 48, 64}));
        } else if (what < 85) {
            Modem().SetSignal(Draw(32));
            Note("modem signal changes");
        } else if (what < 94) {
            const int stat = Pick(std::vector<int>{0, 1, 1, 1, 2, 5});
            Note("modem registration " + std::to_string(stat));
            Modem().SetRegistration(stat);
        } else if (what < 96) {
            Note("modem drops the line");
            ReplugModem();
        } else {
            // The user unplugs and replugs: the same SIM in a modem with other faults.
            Note("modem replugged");
            ReplugModem();
        }
    }

    // --- the user's hands ----------------------------------------------------------------

    QWidget* Focus() {
        QWidget* focus = QApplication::focusWidget();
        return focus ? focus : dialog_.get();
    }

    static QString Describe(QWidget* w) {
        QString name = w->objectName();
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty())
            name += " '" + b->text() + "'";
        return QString(w->metaObject()->className()) + (name.isEmpty() ? QString() : " " + name);
    }

    void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers, const char* name) {
        Note("key " + std::string(name) + " on " + Describe(target).toStdString());
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }

    void KeyStep() {
        struct Chord {
            int key;
            Qt::KeyboardModifiers modifiers;
            const char* name;
        };
        static const std::vector<Chord> chords = {
            {Qt::Key_N, Qt::ControlModifier, "Ctrl+N"},
            {Qt::Key_C, Qt::ControlModifier, "Ctrl+C"},
            {Qt::Key_V, Qt::ControlModifier, "Ctrl+V"},
            {Qt::Key_X, Qt::ControlModifier, "Ctrl+X"},
            {Qt::Key_A, Qt::ControlModifier, "Ctrl+A"},
            {Qt::Key_Delete, Qt::NoModifier, "Delete"},
            {Qt::Key_1, Qt::ControlModifier, "Ctrl+1"},
            {Qt::Key_2, Qt::ControlModifier, "Ctrl+2"},
            {Qt::Key_3, Qt::ControlModifier, "Ctrl+3"},
            {Qt::Key_F, Qt::ControlModifier, "Ctrl+F"},
            {Qt::Key_Return, Qt::NoModifier, "Return"},
            {Qt::Key_Escape, Qt::NoModifier, "Escape"},
            {Qt::Key_Tab, Qt::NoModifier, "Tab"},
            {Qt::Key_Backtab, Qt::ShiftModifier, "Shift+Tab"},
            {Qt::Key_Up, Qt::NoModifier, "Up"},
            {Qt::Key_Down, Qt::NoModifier, "Down"},
            {Qt::Key_Space, Qt::NoModifier, "Space"},
            {Qt::Key_Backspace, Qt::NoModifier, "Backspace"},
            {Qt::Key_Left, Qt::ShiftModifier, "Shift+Left"},
            {Qt::Key_F2, Qt::NoModifier, "F2"},
            {Qt::Key_F3, Qt::NoModifier, "F3"},
        };
        const Chord& chord = Pick(chords);
        Key(Focus(), chord.key, chord.modifiers, chord.name);
    }

    void Type(QWidget* target, const QString& text) {
        Note("types \"" + text.toStdString() + "\" into " + Describe(target).toStdString());
        QPointer<QWidget> guard(target);
        for (QChar c : text) {
            if (!guard) return;
            QTest::sendKeyEvent(QTest::KeyAction::Click, guard, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        }
    }

    QString SomeText() {
        static const std::vector<QString> texts = {
            "Hi",    "see you at 8",   "0912345678", "+886955000111", "0911;0922",
            "你好",  "七個中文字名字", "a;b",        "Bürger €5",     "",
            "*100#", "*149#",
        };
        QString text = Pick(texts);
        if (Chance(10)) text = QString(160 + Draw(60), QChar('x'));
        return text + QString::number(step_);
    }

    // Visible, enabled controls a user can press: the window's and those of the windows it opened
    // beside it (the modem and USSD pages).
    std::vector<QWidget*> Controls() {
        std::vector<QWidget*> found;
        for (QWidget* w : dialog_->findChildren<QWidget*>()) {
            if (!w->isVisible() || !w->isEnabled()) continue;
            QWidget* window = w->window();
            if (window != dialog_.get() && (window->isModal() || !window->isVisible())) continue;
            if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QTabBar*>(w) ||
                qobject_cast<ListView*>(w) || qobject_cast<QComboBox*>(w) ||
                qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                qobject_cast<QTextEdit*>(w) || w->objectName() == "c1070") {
                found.push_back(w);
            }
        }
        return found;
    }

    void Click(QWidget* w) {
        QPoint at = w->rect().center();
        QWidget* target = w;
        if (auto* tabs = qobject_cast<QTabBar*>(w); tabs && tabs->count() > 0) {
            at = tabs->tabRect(Draw(tabs->count())).center();
        } else if (auto* list = qobject_cast<ListView*>(w)) {
            target = list->viewport();
            if (list->RowCount() > 0) {
                const QRect row = list->visualRect(list->model()->index(Draw(list->RowCount()), 0));
                // The tick box is at the start of a row.
                at = QPoint(row.left() + (Chance(50) ? 8 : row.width() / 2), row.center().y());
            }
        } else if (w->objectName() == "c1070") {
            at = QPoint(Draw(std::max(1, w->width())), Draw(std::max(1, w->height())));
        }
        Note("clicks " + Describe(w).toStdString() + " at " + std::to_string(at.x()) + "," +
             std::to_string(at.y()));
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
    }

    std::vector<std::u16string> ShownTexts(int row) {
        std::vector<std::u16string> texts;
        MessageStore store;
        if (store.LoadShown(static_cast<FolderId>(dialog_->CurrentFolderTab())) != 1) return texts;
        if (const SmsRecord* r = store.ShownRecord(dialog_->Sms()->List()->Data(row)))
            texts.push_back(r->text);
        return texts;
    }

    // What the user queued for sending or replaced, for the checks at the end.  The window's
    // handlers run first: the compose text is the one seen last before Send cleared it, the
    // Outbox's new records are those Save-To put there.
    void WatchQueueing() {
        ComposePage* compose = dialog_->Compose();
        auto* box = static_cast<QPlainTextEdit*>(compose->findChild<QWidget*>("c1018"));
        connect(box, &QPlainTextEdit::textChanged, this, [this, box] {
            if (!box->toPlainText().isEmpty()) composed_ = box->toPlainText().toStdU16String();
        });
        const auto queue = [this](const std::u16string& text) {
            queued_[text]++;
            queuedAt_[text] = step_;
        };
        connect(compose, &ComposePage::SendClicked, this, [this, queue] { queue(composed_); });
        connect(compose, &ComposePage::SaveClicked, this, [this, queue] { queue(composed_); });
        connect(dialog_->Sms(), &SmsPage::SaveToClicked, this, [this, queue] {
            std::multiset<std::u16string> before = outbox_;
            for (const std::u16string& text : FolderTextList(FolderId::Outbox)) {
                if (auto it = before.find(text); it != before.end()) {
                    before.erase(it);
                } else {
                    queue(text);
                }
            }
        });
        // Edit puts the draft on the compose page; once sent, the draft goes.
        connect(dialog_->Sms(), &SmsPage::EditClicked, this,
                [this] { released_.insert(dialog_->ComposeText()); });
    }

    void ClickStep() {
        const std::vector<QWidget*> controls = Controls();
        if (controls.empty()) return;
        QWidget* w = Pick(controls);
        if (Chance(40) && (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w))) {
            Click(w);
            Type(w, SomeText());
            return;
        }
        Click(w);
    }

    void ComposeStep() {
        Key(Focus(), Qt::Key_N, Qt::ControlModifier, "Ctrl+N");
        if (dialog_->Page() != kPageCompose) return;
        if (QWidget* to = dialog_->Control(1024); to && to->isVisible() && to->isEnabled()) {
            Click(to);
            Key(to, Qt::Key_A, Qt::ControlModifier, "Ctrl+A");
            Type(to, Pick(std::vector<QString>{"0911111111", "0922222222;0933333333", "0944444444",
                                               "12ab", ""}));
        }
        if (QWidget* box = dialog_->Control(1018); box && box->isVisible() && box->isEnabled()) {
            Click(box);
            if (Chance(50)) Key(box, Qt::Key_A, Qt::ControlModifier, "Ctrl+A");
            Type(box, SomeText());
        }
        for (int id : {1028, 1016}) {
            QWidget* button = dialog_->Control(id);
            if (button && button->isVisible() && button->isEnabled() && Chance(60)) {
                Click(button);
                return;
            }
        }
    }

    // Connects when offline; disconnects now and then.
    void ConnectStep() {
        const bool online = dialog_->Controller().IsOnline();
        if (online && !Chance(20)) return;
        Key(Focus(), Qt::Key_K, Qt::ControlModifier, "Ctrl+K");
        // Most users let a connect run to its end before they do more.
        if (!online && Chance(80)) {
            static_cast<void>(QTest::qWaitFor(
                [this] {
                    const LinkController& c = dialog_->Controller();
                    return !c.IsBusy() && (c.IsOnline() || !c.HasEngine());
                },
                10000));
            if (verbose)
                std::fprintf(stderr, "connect: %s\n", qPrintable(testing::StatusLine(*dialog_)));
        }
    }

    void PhonebookStep() {
        Key(Focus(), Qt::Key_2, Qt::ControlModifier, "Ctrl+2");
        if (dialog_->Page() != kPagePhonebook) return;
        PhonebookPage* page = dialog_->Phonebook();
        ListView* list = page->List();
        if (list->RowCount() > 0 && Chance(50)) Click(list);
        // Edit (1030) the selected entry or add (1046) one.
        QWidget* button = dialog_->Control(Chance(50) ? 1030 : 1046);
        if (!button || !button->isVisible() || !button->isEnabled()) return;
        Click(button);
        auto* name = qobject_cast<QLineEdit*>(dialog_->Control(1055));
        auto* number = qobject_cast<QLineEdit*>(dialog_->Control(1056));
        if (!name || !name->isVisible()) return;
        Click(name);
        Key(name, Qt::Key_A, Qt::ControlModifier, "Ctrl+A");
        Type(name,
             Pick(std::vector<QString>{"Bob", "七個中文字名字", "王小明", "A long name here"}));
        if (number && number->isVisible() && Chance(70)) {
            Click(number);
            Type(number, "09" + QString::number(10000000 + Draw(80000000)));
        }
        if (QWidget* okay = dialog_->Control(Chance(85) ? 1058 : 1059); okay && okay->isVisible())
            Click(okay);
    }

    void SettingsStep() {
        Key(Focus(), Qt::Key_3, Qt::ControlModifier, "Ctrl+3");
        if (dialog_->Page() != kPageSettings) return;
        SettingsPage* page = dialog_->SettingsView();
        if (Chance(30)) {
            auto* port = qobject_cast<QComboBox*>(dialog_->Control(1033));
            if (port) {
                const int com2 = port->findText("COM2", Qt::MatchStartsWith);
                Note("chooses port COM2 (" + std::to_string(com2) + ")");
                if (com2 >= 0) port->setCurrentIndex(com2);
            }
        }
        if (Chance(40)) {
            auto* language = qobject_cast<QComboBox*>(dialog_->Control(1042));
            if (language && language->isVisible()) {
                Click(language);  // the list opens; the popup answerer picks a line
                return;
            }
        }
        std::vector<QWidget*> boxes;
        for (QCheckBox* box : page->findChildren<QCheckBox*>()) {
            if (box->isVisible() && box->isEnabled()) boxes.push_back(box);
        }
        if (!boxes.empty()) Click(Pick(boxes));
        if (QWidget* button = dialog_->Control(Chance(80) ? 1043 : 1044);
            button && button->isVisible() && button->isEnabled())
            Click(button);
    }

    void ResizeStep() {
        // Often across the width where the pages go side by side, and back.
        const QSize least = dialog_->minimumSize();
        const int width = Chance(30)   ? least.width()
                          : Chance(50) ? least.width() * 3 + Draw(least.width())
                                       : least.width() + Draw(least.width() * 2);
        const QSize size(width, least.height() + Draw(least.height()));
        Note("resizes to " + std::to_string(size.width()) + "x" + std::to_string(size.height()));
        dialog_->resize(size);
    }

    // A row highlighted, nothing ticked, and Delete or Escape pressed on it.
    void SelectedRowStep() {
        auto* list = qobject_cast<ListView*>(dialog_->Control(1013));
        if (!list || !list->isVisible() || list->RowCount() == 0) return;
        const int row = Draw(list->RowCount());
        Note("highlights row " + std::to_string(row));
        list->SelectRow(row);
        if (Chance(70)) {
            Key(list, Qt::Key_Delete, Qt::NoModifier, "Delete");
        } else {
            Key(list, Qt::Key_Escape, Qt::NoModifier, "Escape");
        }
    }

    void Step() {
        const int what = Draw(100);
        if (what < 28) {
            KeyStep();
        } else if (what < 58) {
            ClickStep();
        } else if (what < 66) {
            Type(Focus(), SomeText());
        } else if (what < 72) {
            ComposeStep();
        } else if (what < 77) {
            PhonebookStep();
        } else if (what < 80) {
            SettingsStep();
        } else if (what < 82) {
            ResizeStep();
        } else if (what < 84) {
            SelectedRowStep();
        } else if (what < 86) {
            ConnectStep();
        } else {
            ModemStep();
        }
    }

    // --- modal boxes and popups ----------------------------------------------------------

    // Runs from a timer, so also inside the nested loop of a modal box: a random button of the
    // box the window waits on is pressed, after the line edits of a PIN or file dialog maybe got
    // a text.  The press itself is queued: a box it opens must find this timer free to answer.
    void AnswerModal() {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            const bool pick = Chance(60);
            Note(std::string("popup ") + popup->metaObject()->className() +
                 (pick ? ": Down, Return" : ": Escape"));
            Later(popup, [pick](QWidget* w) {
                if (pick) QTest::keyClick(w, Qt::Key_Down);
                QTest::keyClick(w, pick ? Qt::Key_Return : Qt::Key_Escape);
            });
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == dialog_.get()) return;
        for (QLineEdit* edit : modal->findChildren<QLineEdit*>()) {
            if (edit->isVisible() && edit->isEnabled() && Chance(50))
                edit->setText(Chance(70) ? "1234" : "12345678");
        }
        std::vector<QAbstractButton*> buttons;
        for (QAbstractButton* b : modal->findChildren<QAbstractButton*>()) {
            if (b->isVisible() && b->isEnabled() && !b->text().isEmpty()) buttons.push_back(b);
        }
        if (buttons.empty()) {
            Note(std::string("modal ") + modal->metaObject()->className() + ": Escape");
            Later(modal, [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
            return;
        }
        QAbstractButton* button = Pick(buttons);
        Note(std::string("modal ") + modal->metaObject()->className() + " \"" +
             modal->property("text").toString().left(60).toStdString() + "\": presses '" +
             button->text().toStdString() + "'");
        // A confirmed delete (or cut) may take the ticked messages.
        if (button->text() == Ui(ui_text::kOkay) && dialog_->Page() == kPageMessages) {
            ListView* list = dialog_->Sms()->List();
            for (int row = 0; row < list->RowCount(); ++row) {
                if (list->Ticked(row) || row == list->SelectedRow()) {
                    for (const std::u16string& text : ShownTexts(row))
                        released_.insert(text);
                }
            }
        }
        Later(button, [](QWidget* w) { static_cast<QAbstractButton*>(w)->click(); });
    }

    void Later(QWidget* w, std::function<void(QWidget*)> act) {
        QMetaObject::invokeMethod(
            this,
            [guard = QPointer<QWidget>(w), act = std::move(act)] {
                if (guard) act(guard);
            },
            Qt::QueuedConnection);
    }

    // --- what is kept ---------------------------------------------------------------------

    std::vector<std::u16string> FolderTextList(FolderId folder) {
        std::vector<std::u16string> texts;
        MessageStore store;
        // A damaged file gives what could be read; what it lost counts as lost.
        static_cast<void>(store.LoadShown(folder));
        for (const FolderEntry& entry : store.Shown().entries) {
            if (entry.slot >= 0) texts.push_back(entry.record.text);
        }
        return texts;
    }

    std::set<std::u16string> FolderTexts(std::initializer_list<FolderId> folders) {
        std::set<std::u16string> texts;
        for (FolderId folder : folders) {
            MessageStore store;
            static_cast<void>(store.LoadShown(folder));
            for (const FolderEntry& entry : store.Shown().entries) {
                if (entry.slot >= 0) texts.insert(entry.record.text);
            }
        }
        return texts;
    }

    void NoteFiled() {
        for (const std::u16string& text :
             FolderTexts({FolderId::Outbox, FolderId::Sent, FolderId::Draft, FolderId::Saved})) {
            filed_.emplace(text, step_);
        }
    }

    // Each message that arrived is on the SIM or in a folder file; each filed text in a folder.
    QStringList Lost() {
        QStringList lost;
        const std::set<std::u16string> kept = FolderTexts(
            {FolderId::Inbox, FolderId::Outbox, FolderId::Sent, FolderId::Draft, FolderId::Saved});
        std::set<std::string> sim;
        for (const modemsim::StoredMessage& m : Modem().Messages())
            sim.insert(m.pdu);
        for (const Arrival& a : arrivals_) {
            if (sim.count(a.pdu) || kept.count(a.text) || released_.count(a.text)) continue;
            lost << QString("arrived at step %1, neither on the SIM nor in a folder: \"%2\"")
                        .arg(a.step)
                        .arg(QString::fromStdU16String(a.text));
        }
        for (const auto& [text, step] : filed_) {
            if (kept.count(text) || released_.count(text)) continue;
            lost << QString("filed by step %1, in no folder now: \"%2\"")
                        .arg(step)
                        .arg(QString::fromStdU16String(text));
        }
        return lost;
    }

    // While connected and idle, the Inbox file holds every message on the SIM.
    QStringList MissingFromInbox() {
        QStringList missing;
        const std::set<std::u16string> inbox = FolderTexts({FolderId::Inbox});
        std::set<std::string> sim;
        for (const modemsim::StoredMessage& m : Modem().Messages())
            sim.insert(m.pdu);
        for (const Arrival& a : arrivals_) {
            if (sim.count(a.pdu) && !inbox.count(a.text))
                missing << QString("arrived at step %1, on the SIM, not in the Inbox file: \"%2\"")
                               .arg(a.step)
                               .arg(QString::fromStdU16String(a.text));
        }
        return missing;
    }

    QStringList SentTwice() {
        // Recipient and text -> the modems (by plug-in order) that took a submission of it.
        std::map<std::pair<std::string, std::string>, QStringList> sent;
        for (size_t i = 0; i < modems_.size(); ++i) {
            for (const auto& m : modems_[i]->SubmittedMessages())
                sent[{m.recipient, m.text}] << QString::number(i + 1);
        }
        QStringList twice;
        for (const auto& [key, modems] : sent) {
            const std::u16string text = QString::fromStdString(key.second).toStdU16String();
            const int allowed = queued_[text];
            if (modems.size() < 2 || modems.size() <= allowed) continue;
            twice << QString(
                         "%1 got \"%2\" %3 times (from modems %4), queued %5 times (last at "
                         "step %6)")
                         .arg(QString::fromStdString(key.first))
                         .arg(QString::fromStdString(key.second).left(40))
                         .arg(modems.size())
                         .arg(modems.join(","))
                         .arg(allowed)
                         .arg(queuedAt_[text]);
        }
        return twice;
    }

  private slots:
    void RandomHands() {
        QByteArray seedText = qgetenv("TELVANE_MONKEY_SEED");
        uint64_t seed = kDefaultSeed;
        if (seedText == "random") {
            seed = std::random_device()();
        } else if (!seedText.isEmpty()) {
            seed = seedText.toULongLong();
        }
        const int steps = qEnvironmentVariableIsSet("TELVANE_MONKEY_STEPS")
                              ? qEnvironmentVariableIntValue("TELVANE_MONKEY_STEPS")
                              : kDefaultSteps;
        runSeed = seed;
        verbose = qEnvironmentVariableIsSet("TELVANE_MONKEY_VERBOSE");
        random_.seed(seed);
        std::fprintf(stderr, "monkey: TELVANE_MONKEY_SEED=%llu TELVANE_MONKEY_STEPS=%d\n",
                     static_cast<unsigned long long>(seed), steps);
        CatchCrashes();
        // Exports and file dialogs write here.
        QDir::setCurrent(dir_.path());

        std::string error;
        auto scenario = modemsim::ParseScenario(kScenario, &error);
        QVERIFY2(scenario, error.c_str());
        const std::string plugged = PlugModem(std::move(*scenario));
        QVERIFY2(plugged.empty(), plugged.c_str());
        const std::string settingsFile = dir_.filePath("settings.conf").toStdString();
        {
            SettingsStore store(settingsFile);
            QVERIFY(store.OpenKey(MainDialog::kSettingsKey));
            QVERIFY(store.SetText(MainDialog::kSettingsKey, "Port", u"COM2"));
            QVERIFY(store.SetNumber(MainDialog::kSettingsKey, "SyncSIMPbk", 1));
        }
        MainDialogOptions options;
        options.scale = 1.0;
        options.timeScale = 0.05;
        options.settingsFile = settingsFile;
        options.sysRoot = dir_.filePath("none").toStdString();
        options.devRoot = dir_.filePath("none").toStdString();
        options.contactsFolder = dir_.filePath("contacts").toStdString();
        dialog_ = std::make_unique<MainDialog>(options);
        dialog_->show();
        dialog_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));

        WatchQueueing();
        Watchdog watchdog;
        QTimer beat;
        connect(&beat, &QTimer::timeout, this, [&] { watchdog.Beat(); });
        beat.start(50);
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [this] { AnswerModal(); });
        answer.start(20);

        const auto started = std::chrono::steady_clock::now();
        int online = 0;
        bool wasOnline = false;
        for (step_ = 1; step_ <= steps; ++step_) {
            noteStep = step_;
            const std::vector<std::u16string> outbox = FolderTextList(FolderId::Outbox);
            outbox_ = std::multiset<std::u16string>(outbox.begin(), outbox.end());
            Step();
            if (QTest::currentTestFailed()) return;
            // A user's pause; now and then one long enough for the modem's work to end.
            if (Chance(8)) {
                static_cast<void>(
                    QTest::qWaitFor([this] { return !dialog_->Controller().IsBusy(); }, 3000));
            } else {
                QTest::qWait(Draw(40));
            }
            NoteFiled();
            const bool isOnline = dialog_->Controller().IsOnline();
            if (verbose && isOnline != wasOnline)
                std::fprintf(stderr, "%s: %s\n", isOnline ? "online" : "offline",
                             qPrintable(testing::StatusLine(*dialog_)));
            wasOnline = isOnline;
            online += isOnline ? 1 : 0;
            watchdog.StepEnded();
            if (!dialog_->isActiveWindow() && !QApplication::activeModalWidget())
                dialog_->activateWindow();
        }
        size_t submitted = 0;
        for (const auto& modem : modems_)
            submitted += modem->SubmittedMessages().size();
        std::fprintf(
            stderr,
            "monkey: %d steps in %lld ms; online in %d; %zu arrivals, %zu texts filed, %zu "
            "submissions, %zu modems, %zu texts deleted by the user\n",
            steps,
            static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - started)
                                       .count()),
            online, arrivals_.size(), filed_.size(), submitted, modems_.size(), released_.size());

        // The window's work ends; then nothing may be missing.
        watchdog.StepEnded();
        QVERIFY2(QTest::qWaitFor([this] { return !dialog_->Controller().IsBusy(); },
                                 testing::kWindowWaitMs),
                 qPrintable(QString("seed %1: the window stayed busy").arg(seed)));
        NoteFiled();
        watchdog.StepEnded();
        QStringList missing;
        if (dialog_->Controller().IsOnline() && dialog_->Settings().syncSms && Modem().LinkUp()) {
            static_cast<void>(
                QTest::qWaitFor([&] { return (missing = MissingFromInbox()).isEmpty(); }, 5000));
        }
        const QStringList lost = Lost() + missing;
        QVERIFY2(lost.isEmpty(), qPrintable(QString("seed %1: %2").arg(seed).arg(lost.join("; "))));
        const QStringList twice = SentTwice();
        QVERIFY2(twice.isEmpty(),
                 qPrintable(QString("seed %1: %2").arg(seed).arg(twice.join("; "))));
        answer.stop();
        beat.stop();
    }

    void cleanupTestCase() {
        dialog_.reset();
        for (auto& modem : modems_)
            modem->Stop();
        SerialDeviceTable::Instance().Unregister("COM2");
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    // A long run outlasts Qt Test's five minutes a function; the Watchdog bounds a hang.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "86400000");
    // The file dialogs start threads of Qt's own; with GLib's event loop in them memory passes
    // between threads inside GLib, where ThreadSanitizer cannot see the hand-over.
    qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    MonkeyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "monkey_test.moc"
