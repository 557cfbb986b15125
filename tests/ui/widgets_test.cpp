// The list model behind the message and phonebook lists, the names for numbers, and the
// picture editor, on real widgets.
#include <QHeaderView>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include "ui/export_files.h"
#include "ui/icons.h"
#include "ui/list_view.h"
#include "ui/number_names.h"
#include "ui/picture_editor.h"
#include "ui/ui_scale.h"

using telvane::ListRow;
using telvane::ListSortProxy;
using telvane::ListView;
using telvane::NumberNames;
using telvane::PictureEditor;
using telvane::SortKind;

namespace {

// One row per entry: the texts of its columns; the data is the row's place in `rows`.
void Fill(ListView& list, const QList<QStringList>& rows, SortKind kind = SortKind::kText) {
    list.SetColumns({"", "A", "B", "C"},
                    {Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft, Qt::AlignLeft},
                    {SortKind::kText, kind, kind, SortKind::kText});
    int data = 0;
    for (const QStringList& texts : rows) {
        ListRow row;
        row.texts = texts;
        row.data = data++;
        list.Model().Append(row);
    }
}

QStringList Column(const ListView& list, int column) {
    QStringList texts;
    for (int i = 0; i < list.RowCount(); ++i)
        texts << list.Text(i, column);
    return texts;
}

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

  private slots:
    void SortsByTextNumberAndTime_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("number") << "number" << true << QStringList{"10", "9", "x", "007"}
                                << QStringList{"x", "007", "9", "10"};
        QTest::newRow("text") << "text" << true << QStringList{"10", "9", "b", "B"}
                              << QStringList{"10", "9", "B", "b"};
        QTest::newRow("text descending")
            << "text" << false << QStringList{"a", "c", "b"} << QStringList{"c", "b", "a"};
        QTest::newRow("time ascending")
            << "time" << true
            << QStringList{"5/1/02 08:00:00", "30/12/01 23:59:59", "1/1/02 00:00:00"}
            << QStringList{"30/12/01 23:59:59", "1/1/02 00:00:00", "5/1/02 08:00:00"};
        QTest::newRow("time descending")
            << "time" << false
            << QStringList{"30/12/01 23:59:59", "5/1/02 08:00:00", "1/1/02 00:00:00"}
            << QStringList{"5/1/02 08:00:00", "1/1/02 00:00:00", "30/12/01 23:59:59"};
        QTest::newRow("a text without a date first")
            << "time" << true << QStringList{"1/1/02 00:00:00", "", "5/1 08:00"}
            << QStringList{"", "5/1 08:00", "1/1/02 00:00:00"};
    }
    void SortsByTextNumberAndTime() {
        QFETCH(QString, kind);
        QFETCH(bool, ascending);
        QFETCH(QStringList, input);
        QFETCH(QStringList, expected);
        ListView list;
        QList<QStringList> rows;
        for (const QString& t : input)
            rows << QStringList{"", "", t, ""};
        Fill(list, rows,
             kind == "number" ? SortKind::kNumber
             : kind == "text" ? SortKind::kText
                              : SortKind::kTime);
        list.SortBy(2, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        QCOMPARE(Column(list, 2), expected);
        QCOMPARE(list.header()->sortIndicatorSection(), 2);
    }

    void TimeKeys() {
        // Texts without two '/' have no key.
        QCOMPARE(ListSortProxy::TimeKey("5/1 08:00"), QString());
        QCOMPARE(ListSortProxy::TimeKey("30/12/01 23:59:59"), QString("01123023:59:59"));
        // Day and month as numbers, however they are written; a short text keys what it has.
        QCOMPARE(ListSortProxy::TimeKey(" 5/1/26 08:00:00"), QString("26010508:00:00"));
        QCOMPARE(ListSortProxy::TimeKey("1/123/26 08:00:00"), QString("261230108:00:00"));
        QCOMPARE(ListSortProxy::TimeKey("x/-1/2"), QString("2-100x/-1/2"));
    }

    void RowsMoveWholeWithTicksIconsDataAndSelection() {
        ListView list;
        list.Model().SetIcons({QIcon(QPixmap(4, 4))});
        Fill(list, {{"", "3", "c"}, {"", "1", "a"}, {"", "2", "b"}}, SortKind::kNumber);
        list.SetTicked(0, true);
        list.Model().SetIcon(0, 0);
        list.SelectRow(0);
        list.SortBy(1, Qt::AscendingOrder);
        QCOMPARE(Column(list, 2), (QStringList{"a", "b", "c"}));
        QVERIFY(list.Ticked(2));
        QCOMPARE(list.Row(2)->icon, 0);
        QCOMPARE(list.Data(2), 0);
        QCOMPARE(list.SelectedRow(), 2);
        QCOMPARE(list.currentIndex().row(), 2);
        for (int i : {0, 1}) {
            QVERIFY(!list.Ticked(i));
            QCOMPARE(list.Row(i)->icon, -1);
        }
        QCOMPARE(list.Data(0), 1);
        QCOMPARE(list.FindData(0), 2);
        QCOMPARE(list.TickedCount(), 1);
        // A removed row takes its own record with it, whatever the order.
        list.RemoveRow(2);
        QCOMPARE(Column(list, 2), (QStringList{"a", "b"}));
        QCOMPARE(list.FindData(0), -1);
    }

    void EqualTextsKeepTheirOrder() {
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            ListView list;
            Fill(list, {{"", "5", "first"}, {"", "5", "second"}}, SortKind::kNumber);
            list.SortBy(1, order);
            QCOMPARE(Column(list, 2), (QStringList{"first", "second"}));
        }
    }

    void SearchFiltersTextsAndTips() {
        ListView list;
        Fill(list, {{"", "Amy", "1/1/02 00:00:00", "See you at 7"},
                    {"", "555", "2/1/02 00:00:00", "Running late"}});
        ListRow named;
        named.texts = {"", "Bob", "3/1/02 00:00:00", "hello"};
        named.tips = {"", "+886912345678"};
        named.data = 7;
        list.Model().Append(named);
        const struct {
            QString search;
            QStringList shown;
        } cases[] = {
            {"", {"Amy", "555", "Bob"}},
            {"late", {"555"}},
            {"AMY", {"Amy"}},
            {"91234", {"Bob"}},  // the number behind a name
            {"nothing", {}},
        };
        for (const auto& c : cases) {
            list.Proxy().SetSearch(c.search);
            QCOMPARE(Column(list, 1), c.shown);
        }
        // Rows are addressed as shown: ticking all ticks only what the search shows.
        list.Proxy().SetSearch("91234");
        QCOMPARE(list.Data(0), 7);
        list.TickAll(true);
        list.Proxy().SetSearch("");
        QCOMPARE(list.TickedCount(), 1);
        QVERIFY(list.Ticked(2));
    }

    void NamesForNumbers() {
        NumberNames names;
        names.Add(u"+886912345678", u"Amy");
        names.Add(u"0227001234", u"Office");
        names.Add(u"555", u"Short");
        names.Add(u"+886912345678", u"Second name for Amy");
        names.Add(u"", u"No number");
        names.Add(u"123", u"");
        const struct {
            std::u16string number;
            std::u16string name;
        } cases[] = {
            {u"+886912345678", u"Amy"},
            {u"+886 912 345 678", u"Amy"},
            {u"0912345678", u"Amy"},        // national form of an international entry
            {u"00886912345678", u"Amy"},    // international prefix
            {u"+886227001234", u"Office"},  // international form of a national entry
            {u"555", u"Short"},
            {u"0555", u""},  // too short to be a national number
            {u"+886912345679", u""},
            {u"912345678", u""},  // neither form: no guess
            {u"123", u""},
            {u"555#", u""},  // a service code, not the number
            {u"", u""},
        };
        for (const auto& c : cases) {
            QVERIFY2(names.Find(c.number) == c.name,
                     qPrintable(QString::fromStdU16String(c.number)));
            QCOMPARE(QString::fromStdU16String(names.Find(c.number)),
                     QString::fromStdU16String(c.name));
        }
    }

    void ExportFiles() {
        const std::string csv = telvane::FolderCsv({
            {u"+886912345678", u"Amy", u"1/12/26 09:15:00", u"See you at 7"},
            {u"555", u"", u"2/12/26 10:00:00", u"Hi, \"you\"\r\nBye"},
            {u"=1+1", u"", u"", u"中文"},
        });
        QCOMPARE(QString::fromUtf8(csv),
                 QString::fromUtf8("\xEF\xBB\xBFNumber,Name,Time,Message\r\n"
                                   "+886912345678,Amy,1/12/26 09:15:00,See you at 7\r\n"
                                   "555,,2/12/26 10:00:00,\"Hi, \"\"you\"\"\r\nBye\"\r\n"
                                   "'=1+1,,,中文\r\n"));
        // N is family;given from the name's parts, FN the whole name; one escaper for both.
        const std::string cards = telvane::VCards({
            {u"Amy; Chen", u"+886912345678"},
            {u"李大華 (Work)", u"0912"},
            {u"", u"555"},
            {u"", u""},
        });
        QCOMPARE(QString::fromUtf8(cards),
                 QString::fromUtf8("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Chen;Amy\\;;;;\r\n"
                                   "FN:Amy\\; Chen\r\nTEL;TYPE=CELL:+886912345678\r\nEND:VCARD\r\n"
                                   "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;李大華;;;\r\n"
                                   "FN:李大華 (Work)\r\nTEL;TYPE=CELL:0912\r\nEND:VCARD\r\n"
                                   "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:555\r\n"
                                   "TEL;TYPE=CELL:555\r\nEND:VCARD\r\n"));
    }

    void ScaleFitsTheScreen() {
        QCOMPARE(telvane::AutomaticScale(1080, 320), 2.5);
        QCOMPARE(telvane::AutomaticScale(600, 320), 1.5);
        QCOMPARE(telvane::AutomaticScale(300, 320), 1.0);  // never below the layout's size
        QCOMPARE(telvane::ChooseScale(1080, 320, 150), 1.5);
        qputenv("TELVANE_SCALE", "3");
        QCOMPARE(telvane::ChooseScale(1080, 320, 150), 3.0);
        qputenv("TELVANE_SCALE", "nonsense");
        QCOMPARE(telvane::ChooseScale(1080, 320, 0), 2.5);
        qunsetenv("TELVANE_SCALE");
        QCOMPARE(telvane::Scaled(1.5, 12, 141, 213, 104), QRect(18, 212, 320, 156));
    }

    void DrawnIcons() {
        // The gear is filled where its teeth meet the rim: overlapping shapes must not cancel.
        const QImage gear = telvane::MakeIcon(telvane::Icon::kSettings).pixmap(64, 64).toImage();
        QCOMPARE(QColor(gear.pixel(32, 16)), QColor(150, 160, 175));
        QCOMPARE(QColor(gear.pixel(32, 32)), QColor(250, 250, 246));
        // Images are kept per size and state: a greyed button does not get the normal one.
        const QIcon sms = telvane::MakeIcon(telvane::Icon::kSms);
        const QImage normal = sms.pixmap(16, 16).toImage();
        QVERIFY(sms.pixmap(QSize(16, 16), QIcon::Disabled).toImage() != normal);
        QCOMPARE(sms.pixmap(16, 16).toImage(), normal);
        QCOMPARE(sms.pixmap(32, 32).size(), QSize(32, 32));
        // Painted into a list line, the image is the one a button shows.
        QImage line(16, 16, QImage::Format_ARGB32_Premultiplied);
        line.fill(Qt::transparent);
        {
            QPainter painter(&line);
            sms.paint(&painter, line.rect());
        }
        QCOMPARE(line, normal.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

    void TapTogglesACell() {
        PictureEditor editor(0, 1.0);
        QCOMPARE(editor.IsBlank(), 1);
        editor.PenDown({4, 7});
        editor.PenUp({5, 8});
        QCOMPARE(editor.Cell(1, 2), 1);
        for (QPoint p : {QPoint(3, 6), QPoint(5, 8)}) {
            QCOMPARE(editor.BackBuffer().pixel(p), qRgb(0, 0, 0));
        }
        editor.PenDown({3, 6});
        editor.PenUp({3, 6});
        QCOMPARE(editor.Cell(1, 2), 0);
        QCOMPARE(editor.BackBuffer().pixel(4, 7), PictureEditor::kAqua);
        QCOMPARE(editor.IsBlank(), 0);  // even though nothing is set any more
        editor.Clear();
        QCOMPARE(editor.IsBlank(), 1);
    }

    void StrokesPaintLinesOfCells() {
        PictureEditor editor(0, 1.0);
        editor.PenDown({1, 1});
        editor.PenUp({16, 7});  // cell (5, 2)
        QList<QPoint> expected{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 2}};
        QList<QPoint> set;
        for (int r = 0; r < PictureEditor::kRows; ++r) {
            for (int c = 0; c < PictureEditor::kColumns; ++c) {
                if (editor.Cell(c, r)) set << QPoint(c, r);
            }
        }
        std::sort(set.begin(), set.end(), [](QPoint a, QPoint b) { return a.x() < b.x(); });
        QCOMPARE(set, expected);

        // A stroke that leaves the area ends there: the last inside cell is not painted.
        editor.Clear();
        editor.PenDown({1, 4});   // cell (0, 1)
        editor.PenMove({13, 4});  // paints (0..3, 1)
        editor.PenMove({-2, 4});  // outside
        editor.PenMove({30, 4});  // no stroke any more
        editor.PenUp({30, 4});
        for (int c = 0; c < 10; ++c)
            QCOMPARE(editor.Cell(c, 1), c < 4 ? 1 : 0);
    }

    void HexOfPlainAndInvertedPictures() {
        PictureEditor editor(0, 1.0);
        QCOMPARE(editor.BitmapToHex(), std::u16string(504, u'0'));
        editor.PenDown({0, 0});
        editor.PenUp({0, 0});
        QCOMPARE(editor.BitmapToHex(), u'8' + std::u16string(503, u'0'));
        editor.ToggleInvert();
        QVERIFY(editor.Inverted());
        QCOMPARE(editor.TemplateName(), QString("invmemo"));
        QCOMPARE(editor.BackBuffer().pixel(1, 1), PictureEditor::kAqua);  // redrawn
        QCOMPARE(editor.Cell(0, 0), 1);
        QCOMPARE(editor.BitmapToHex(), u'7' + std::u16string(503, u'F'));
        // Clear keeps the colours and the template.
        editor.Clear();
        QVERIFY(editor.Inverted());
        QCOMPARE(editor.BitmapToHex(), std::u16string(504, u'F'));
    }

    void OperatorLogoDrawsFourteenRows() {
        PictureEditor editor(1, 1.0);
        QCOMPARE(editor.Area().height(), 42);
        editor.PenDown({0, 60});  // row 20: outside
        editor.PenUp({0, 60});
        QCOMPARE(editor.IsBlank(), 1);
        editor.PenDown({0, 40});   // row 13
        editor.PenUp({215, 500});  // released far below: ends on the bottom row
        QCOMPARE(editor.Cell(0, 13), 1);
        QCOMPARE(editor.Cell(71, 13), 1);
        std::u16string hex = editor.BitmapToHex();
        QCOMPARE(hex.size(), size_t{504});
        QCOMPARE(hex.substr(252), std::u16string(252, u'0'));
        QVERIFY(hex.substr(0, 252) != std::u16string(252, u'0'));
    }

    void MissingTemplateGivesABorderedWhiteField() {
        PictureEditor editor(0, 1.0);
        QVERIFY(editor.BackBuffer().pixel(100, 40) != qRgb(255, 255, 255));  // the shipped sheet
        editor.LoadTemplate("no-such-template");
        QCOMPARE(editor.BackBuffer().pixel(0, 0), qRgb(0, 0, 0));
        QCOMPARE(editor.BackBuffer().pixel(215, 83), qRgb(0, 0, 0));
        QCOMPARE(editor.BackBuffer().pixel(100, 40), qRgb(255, 255, 255));
    }

    // Drawing with the keyboard alone: arrows move the cell cursor inside the area, Space
    // toggles, Shift and an arrow paint the cells passed over.
    void KeysDrawCells_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("keys");  // l r u d: arrows, L R U D: with Shift, s: Space
        QTest::addColumn<QPoint>("cursor");
        QTest::addColumn<QList<QPoint>>("set");
        QTest::addRow("toggle") << 0 << "rrds" << QPoint(2, 1) << QList<QPoint>{{2, 1}};
        QTest::addRow("toggle twice") << 0 << "rrdss" << QPoint(2, 1) << QList<QPoint>{};
        QTest::addRow("stroke") << 0 << "dRRR" << QPoint(3, 1)
                                << QList<QPoint>{{1, 1}, {2, 1}, {3, 1}};
        QTest::addRow("stops at the top left")
            << 0 << "ulU" << QPoint(0, 0) << QList<QPoint>{{0, 0}};
        QTest::addRow("logo stops at its last row")
            << 1 << QString(20, 'd') + "s" << QPoint(0, 13) << QList<QPoint>{{0, 13}};
    }
    void KeysDrawCells() {
        QFETCH(int, kind);
        QFETCH(QString, keys);
        QFETCH(QPoint, cursor);
        QFETCH(QList<QPoint>, set);
        PictureEditor editor(kind, 1.0);
        editor.show();
        editor.setFocus();
        for (QChar key : keys) {
            static const QString kArrows = "lrud";
            const Qt::Key arrows[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down};
            const qsizetype arrow = kArrows.indexOf(key.toLower());
            if (arrow < 0) {
                QTest::keyClick(&editor, Qt::Key_Space);
            } else {
                QTest::keyClick(&editor, arrows[arrow],
                                key.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
            }
        }
        QCOMPARE(editor.Cursor(), cursor);
        QList<QPoint> cells;
        for (int r = 0; r < PictureEditor::kRows; ++r) {
            for (int c = 0; c < PictureEditor::kColumns; ++c) {
                if (editor.Cell(c, r)) cells << QPoint(c, r);
            }
        }
        QCOMPARE(cells, set);
        QCOMPARE(editor.IsBlank(), keys.contains('s') || keys != keys.toLower() ? 0 : 1);
    }

    void MouseFollowsTheScale() {
        PictureEditor editor(0, 2.0);
        QCOMPARE(editor.size(), QSize(432, 168));
        editor.show();
        QTest::mouseClick(&editor, Qt::LeftButton, {}, QPoint(13, 13));  // logical (6, 6)
        QCOMPARE(editor.Cell(2, 2), 1);
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("TELVANE_HOME", home.path().toUtf8());
    QApplication app(argc, argv);
    WidgetsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "widgets_test.moc"
