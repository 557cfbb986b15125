// Names kept in the history: a message that arrives from a number of the SIM phonebook or of
// the contacts is stored with that name, and `telvane-tool history search` prints it.
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include "contacts/contacts_store.h"
#include "history/history_db.h"
#include "platform/files.h"
#include "store/phonebook_table.h"
#include "window_rig.h"

using namespace telvane;

namespace {

constexpr int kWaitMs = testing::kWindowWaitMs;

// The name the history holds for the newest message found by `word`; empty when none is found.
std::optional<std::u16string> StoredName(const std::u16string& word) {
    HistoryDb db;
    if (!db.Open(DataFile(kHistoryFileName), HistoryAccess::kRead)) return std::nullopt;
    const auto hits = db.Search(word, 1, 0);
    if (hits.empty()) return std::nullopt;
    return hits.front().message.name;
}

}  // namespace

class HistoryNamesTest : public QObject {
    Q_OBJECT

  private:
    testing::WindowRig rig_;
    MainDialog* dialog_ = nullptr;

  private slots:
    void initTestCase() {
        SetLanguage(0);
        PhonebookTable sim;
        sim.SetLimits(20, 14, 10);
        sim.UpdateEntry(1, u"Amy Chen", u"+886912345678");
        QCOMPARE(sim.SaveFile(), 1);
        ContactsStore contacts(rig_.Path("contacts"));
        QCOMPARE(contacts.Initialize(), 1);
        QCOMPARE(contacts.Add(u"陳大文", u"0922333444"), 1);

        const std::string error =
            rig_.Start("[modem]\nbaud = 0\n[phonebook]\n1 = +886912345678 | Amy Chen\n");
        QVERIFY2(error.empty(), error.c_str());
        dialog_ = &rig_.Dialog();
        QVERIFY(rig_.ConnectAndSettle());
    }

    void ArrivalsAreStoredWithTheirSendersNames() {
        struct Case {
            const char* sender;
            std::u16string text;
            std::u16string name;
        } cases[] = {
            {"+886912345678", u"Dinner at eight?", u"Amy Chen"},  // SIM phonebook
            {"+886922333444", u"Bring the tickets", u"陳大文"},   // contacts, national there
            {"+886955000111", u"Who is this number", u""},        // nobody's
        };
        for (const Case& c : cases)
            QVERIFY(rig_.Modem().DeliverMessage(c.sender, "26/12/10,08:00:00+32", c.text) > 0);
        for (const Case& c : cases) {
            QTRY_VERIFY_WITH_TIMEOUT(StoredName(c.text).has_value(), kWaitMs);
            QCOMPARE(QString::fromStdU16String(*StoredName(c.text)),
                     QString::fromStdU16String(c.name));
        }
    }

    void TheToolPrintsTheStoredName() {
        QProcess tool;
        tool.start(TELVANE_TOOL_PATH, {"history", "search", "eight"});
        QVERIFY(tool.waitForFinished(kWaitMs));
        QCOMPARE(tool.exitCode(), 0);
        const QList<QByteArray> lines = tool.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        const QJsonObject hit = QJsonDocument::fromJson(lines.front()).object();
        QCOMPARE(hit.value("name").toString(), QString("Amy Chen"));
        QCOMPARE(hit.value("number").toString(), QString("+886912345678"));
        QCOMPARE(hit.value("direction").toString(), QString("in"));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    HistoryNamesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "history_names_test.moc"
