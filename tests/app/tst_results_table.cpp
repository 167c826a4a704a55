// The results table's column fitting and its cell painting: the fitter must
// give every column the width the view itself would measure over every row,
// and the kept-layout delegate must paint exactly what the standard one does.
#include "app/CTableFitter.h"
#include "app/CTextCellDelegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>

namespace
{
const char* kSelectionStyle = "selection-background-color: rgb(0, 170, 255);\n"
                              "selection-color: rgb(255, 255, 255);";

// Rows of texts separated by "|", headers first.
QStandardItemModel* MakeModel(const QStringList& rows, QObject* parent)
{
    auto* model = new QStandardItemModel(parent);
    model->setHorizontalHeaderLabels(rows.first().split(QLatin1Char('|')));
    for (int r = 1; r < rows.size(); ++r)
    {
        QList<QStandardItem*> items;
        for (const QString& text : rows.at(r).split(QLatin1Char('|')))
        {
            auto* item = new QStandardItem(text);
            item->setTextAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
            items.append(item);
        }
        model->appendRow(items);
    }
    return model;
}

void SetUpView(QTableView* view, QAbstractItemModel* model)
{
    view->setFont(QFont(QStringLiteral("Arial")));
    view->setStyleSheet(QString::fromLatin1(kSelectionStyle));
    view->setModel(model);
}
} // namespace

class TestResultsTable : public QObject
{
    Q_OBJECT

private slots:
    void FitterMeasuresEveryRow_data();
    void FitterMeasuresEveryRow();
    void FitterSpreadsSpareWidth();
    void DelegatePaintsLikeTheStandardOne_data();
    void DelegatePaintsLikeTheStandardOne();
};

void TestResultsTable::FitterMeasuresEveryRow_data()
{
    QTest::addColumn<QStringList>("rows");
    QStringList lastRowWidest{QStringLiteral("Результат|Ед. изм.")};
    for (int r = 0; r < 300; ++r)
        lastRowWidest.append(QStringLiteral("%1.5|мм").arg(r % 10));
    lastRowWidest.append(QStringLiteral("600.00 (LOS?)|дюйм"));
    QTest::newRow("widest text in the last of 302 rows") << lastRowWidest;
    QTest::newRow("same length, different glyph widths")
        << QStringList{QStringLiteral("A|B"), QStringLiteral("iiii|1"), QStringLiteral("WWWW|1"),
                       QStringLiteral("llll|1")};
    QTest::newRow("header wider than every text")
        << QStringList{QStringLiteral("Время замера и ещё немного|X"), QStringLiteral("1|2")};
    QTest::newRow("no rows") << QStringList{QStringLiteral("Результат|Дата замера")};
    QStringList repeated{QStringLiteral("Материал|Скорость")};
    for (int r = 0; r < 100; ++r)
        repeated.append(r == 57 ? QStringLiteral("Нерж. сталь|5740 м/с")
                                : QStringLiteral("Н/Д|5920 м/с"));
    QTest::newRow("one wide text among repeated ones") << repeated;
}

void TestResultsTable::FitterMeasuresEveryRow()
{
    QFETCH(QStringList, rows);
    QWidget host;
    QTableView fitted(&host), reference(&host);
    QStandardItemModel* model = MakeModel(rows, &host);
    SetUpView(&fitted, model);
    SetUpView(&reference, model);
    fitted.setItemDelegate(new CTextCellDelegate(&fitted));
    // Narrow: no spare width to hand out, the sections are the contents.
    fitted.resize(60, 200);
    reference.resize(60, 200);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    CTableFitter fitter(&fitted);
    fitter.Refit();
    reference.horizontalHeader()->setResizeContentsPrecision(-1); // every row
    reference.resizeColumnsToContents();
    for (int c = 0; c < model->columnCount(); ++c)
        QCOMPARE(fitted.columnWidth(c), reference.columnWidth(c));
}

void TestResultsTable::FitterSpreadsSpareWidth()
{
    QTableView view;
    QStandardItemModel* model =
        MakeModel({QStringLiteral("A|B|C"), QStringLiteral("1|22|333")}, &view);
    SetUpView(&view, model);
    view.resize(200, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    CTableFitter fitter(&view);
    fitter.Refit();
    QList<int> narrow;
    for (int c = 0; c < 3; ++c)
        narrow.append(view.columnWidth(c));

    view.resize(700, 150);
    QTRY_COMPARE(view.columnWidth(0) + view.columnWidth(1) + view.columnWidth(2),
                 view.viewport()->width());
    // Spread evenly: every column grew by the same amount, give or take the
    // one pixel of the remainder.
    const int grown = view.columnWidth(0) - narrow.at(0);
    QVERIFY(grown > 0);
    for (int c = 1; c < 3; ++c)
        QVERIFY(qAbs(view.columnWidth(c) - narrow.at(c) - grown) <= 1);
}

void TestResultsTable::DelegatePaintsLikeTheStandardOne_data()
{
    QTest::addColumn<int>("narrowColumn"); // -1: every column fits its texts
    QTest::addColumn<bool>("selectRow");
    QTest::newRow("fitted, nothing selected") << -1 << false;
    QTest::newRow("fitted, a row selected") << -1 << true;
    QTest::newRow("a column too narrow: elided texts") << 0 << true;
}

void TestResultsTable::DelegatePaintsLikeTheStandardOne()
{
    QFETCH(int, narrowColumn);
    QFETCH(bool, selectRow);
    const QStringList rows{QStringLiteral("Результат|Ед. изм.|Материал|Дата замера"),
                           QStringLiteral("223.8|мм|Н/Д|21.01.2026"),
                           QStringLiteral("0.3|мм|Сталь|16.01.2026"),
                           QStringLiteral("13.17|дюйм|Нерж. сталь|22.03.2026"),
                           QStringLiteral("606.000|мм|Н/Д|17.05.2026"),
                           QStringLiteral("|мм|Н/Д|")};
    QImage images[2];
    for (int kind = 0; kind < 2; ++kind)
    {
        QTableView view;
        QStandardItemModel* model = MakeModel(rows, &view);
        model->item(1, 0)->setBackground(QColor(255, 230, 231)); // a LOS reading
        SetUpView(&view, model);
        if (kind == 1)
            view.setItemDelegate(new CTextCellDelegate(&view));
        view.setAlternatingRowColors(true);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.resize(520, 220);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.resizeColumnsToContents();
        if (narrowColumn >= 0)
            view.setColumnWidth(narrowColumn, 24);
        if (selectRow)
            view.selectRow(2);
        QCoreApplication::processEvents();
        images[kind] = view.viewport()->grab().toImage();
    }
    QCOMPARE(images[1].size(), images[0].size());
    QVERIFY(images[1] == images[0]);
}

QTEST_MAIN(TestResultsTable)
#include "tst_results_table.moc"
