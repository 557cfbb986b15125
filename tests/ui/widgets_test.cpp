// The sortable list and the picture editor on real widgets.
#include <QTemporaryDir>
#include <QTest>

#include "ui/picture_editor.h"
#include "ui/sortable_list.h"
#include "ui/ui_scale.h"

using telvane::PictureEditor;
using telvane::SortableList;

namespace {

// One line per row: the texts of its columns.
void Fill(SortableList& list, const QList<QStringList>& rows) {
    list.clear();
    list.setColumnCount(4);
    int data = 0;
    for (const QStringList& texts : rows) {
        auto* item = new QTreeWidgetItem(&list, texts);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        SortableList::SetItemData(item, data++);
    }
}

QStringList Column(const SortableList& list, int column) {
    QStringList texts;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        texts << list.topLevelItem(i)->text(column);
    return texts;
}

}  // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

  private slots:
    void SortsByTextNumberAndTime_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("ascending");
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("number") << "number" << 1 << QStringList{"10", "9", "x", "007"}
                                << QStringList{"x", "007", "9", "10"};
        QTest::newRow("text") << "text" << 1 << QStringList{"10", "9", "b", "B"}
                              << QStringList{"10", "9", "B", "b"};
        QTest::newRow("text descending")
            << "text" << 0 << QStringList{"a", "c", "b"} << QStringList{"c", "b", "a"};
        QTest::newRow("time ascending")
            << "time" << 1 << QStringList{"5/1/02 08:00:00", "30/12/01 23:59:59", "1/1/02 00:00:00"}
            << QStringList{"30/12/01 23:59:59", "1/1/02 00:00:00", "5/1/02 08:00:00"};
        QTest::newRow("time descending")
            << "time" << 0 << QStringList{"30/12/01 23:59:59", "5/1/02 08:00:00", "1/1/02 00:00:00"}
            << QStringList{"5/1/02 08:00:00", "1/1/02 00:00:00", "30/12/01 23:59:59"};
    }
    void SortsByTextNumberAndTime() {
        QFETCH(QString, kind);
        QFETCH(int, ascending);
        QFETCH(QStringList, input);
        QFETCH(QStringList, expected);
        SortableList list;
        QList<QStringList> rows;
        for (const QString& t : input)
            rows << QStringList{"", "", t, ""};
        Fill(list, rows);
        int ran = kind == "number" ? list.SortByNumber(2, ascending, 0, -1)
                  : kind == "text" ? list.SortByText(2, ascending, 0, -1)
                                   : list.SortByTime(2, ascending, 0, -1);
        QCOMPARE(ran, 1);
        QCOMPARE(Column(list, 2), expected);
    }

    void RefusesWhatCannotBeSorted() {
        SortableList list;
        Fill(list, {{"", "b"}});
        QCOMPARE(list.SortByText(1, 1, 0, -1), 0);  // one line
        Fill(list, {{"", "b"}, {"", "a"}});
        QCOMPARE(list.SortByText(1, 1, 1, 1), 0);
        QCOMPARE(list.SortByText(4, 1, 0, -1), 0);  // column 4 of four
        QCOMPARE(list.SortByText(1, 1, 0, 5), 0);   // past the end
        QCOMPARE(Column(list, 1), (QStringList{"b", "a"}));
        // Texts without two '/' have no key and are not compared.
        QCOMPARE(SortableList::TimeKey("5/1 08:00"), QString());
        QCOMPARE(SortableList::TimeKey("30/12/01 23:59:59"), QString("01123023:59:59"));
    }

    void LinesMoveWholeWithTicksIconsDataAndSelection() {
        SortableList list;
        Fill(list, {{"", "3", "c"}, {"", "1", "a"}, {"", "2", "b"}});
        list.topLevelItem(0)->setCheckState(0, Qt::Checked);
        list.topLevelItem(0)->setIcon(0, QIcon(QPixmap(4, 4)));
        list.topLevelItem(0)->setSelected(true);
        list.setCurrentItem(list.topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
        QCOMPARE(list.SortByNumber(1, 1, 0, -1), 1);
        QCOMPARE(Column(list, 2), (QStringList{"a", "b", "c"}));
        QTreeWidgetItem* moved = list.topLevelItem(2);
        QCOMPARE(moved->checkState(0), Qt::Checked);
        QVERIFY(!moved->icon(0).isNull());
        QCOMPARE(SortableList::ItemData(moved), 0);
        QVERIFY(moved->isSelected());
        QCOMPARE(list.currentItem(), moved);
        for (int i : {0, 1}) {
            QTreeWidgetItem* other = list.topLevelItem(i);
            QCOMPARE(other->checkState(0), Qt::Unchecked);
            QVERIFY(other->icon(0).isNull());
            QVERIFY(!other->isSelected());
        }
        QCOMPARE(SortableList::ItemData(list.topLevelItem(0)), 1);
    }

    void EqualTextsAreNeverSwapped() {
        SortableList list;
        Fill(list, {{"", "5", "first"}, {"", "5", "second"}});
        QCOMPARE(list.SortByNumber(1, 0, 0, -1), 1);
        QCOMPARE(Column(list, 2), (QStringList{"first", "second"}));
    }

    void SortMarks() {
        SortableList list;
        list.setHeaderLabels({"", "Phone", "Time", "Message"});
        QCOMPARE(list.GetSortMark(2), SortableList::kNoMark);
        QCOMPARE(list.SetSortMark(2, SortableList::kMarkDescending), 1);
        QCOMPARE(list.GetSortMark(2), SortableList::kMarkDescending);
        QVERIFY(!list.headerItem()->icon(2).isNull());
        QCOMPARE(list.SetSortMark(2, SortableList::kNoMark), 1);
        QCOMPARE(list.GetSortMark(2), SortableList::kNoMark);
        QVERIFY(list.headerItem()->icon(2).isNull());
        QCOMPARE(list.headerItem()->text(2), QString("Time"));
        QCOMPARE(list.SetSortMark(4, SortableList::kMarkAscending), 0);
        QCOMPARE(list.GetSortMark(4), SortableList::kUnreadable);
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
