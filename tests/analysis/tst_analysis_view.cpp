// The analysis tab inside the main window, driven through the prompts seam:
// what the chart draws (series contents, not pixels), the count of readings
// below the required thickness, the values kept per data-file name, the
// choice of the earlier survey, the exports; and the statistics rows that
// select their cell on the data tab.
#include "analysis/CAnalysisChart.h"
#include "analysis/CAnalysisView.h"
#include "app/CKorvalent.h"
#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CUserPrompts.h"
#include "data/CAnsiText.h"
#include "data/CDataStorage.h"
#include "tests/analysis/AnalysisTestSupport.h"
#include "tests/analysis/ViewExportSupport.h"
#include "tests/common/TestSupport.h"

#include "ui_CKorvalent.h"

#include <QChart>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <memory>

Q_DECLARE_METATYPE(DataFileRecord)

using Points = QList<QPointF>;
using Segments = QList<QList<QPointF>>;

namespace
{
DataFileRecord File(const QString& name, const QStringList& cells,
                    const QDate& date = QDate(2024, 1, 1))
{
    return AnalysisTest::File(name, cells, date);
}

// Surveys of one tank four years apart (1461 days = 4.0 years): rates 0.1,
// 0 and 0.6 mm/year, the last location already below a required 5.0 mm.
DataFileRecord Current()
{
    return File(QStringLiteral("TANK-7"), {"9.6", "9.0", "5.6", "4.4"}, QDate(2024, 1, 1));
}
DataFileRecord Earlier()
{
    return File(QStringLiteral("TANK-7 2020"), {"10.0", "9.0", "8.0", "6.0"}, QDate(2020, 1, 1));
}
} // namespace

class TestAnalysisView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<CKorvalent> m_window;
    CScriptedPrompts m_prompts;

    CKorvalent& W() { return *m_window; }
    CAnalysisView* View() { return W().AnalysisView(); }

    template <typename T> T* Child(const char* name)
    {
        return View()->findChild<T*>(QString::fromLatin1(name));
    }

    QString Write(const QString& name, const DataFileList& files)
    {
        const QString path = m_env->Root() + QLatin1Char('/') + name;
        if (name.endsWith(QLatin1String(".kdf")))
            CDataStorage::SaveDataFile(path, files.first());
        else
            CDataStorage::SaveDatabaseFile(path, files);
        return path;
    }

    // The database loaded in the window as the user loads it; the analysis tab in front.
    void Load(const DataFileList& files)
    {
        m_prompts.fileNames.enqueue(Write(QStringLiteral("current.kdb"), files));
        W().OnResultsLoadDatabaseFromFile();
        W().ui()->mainTabWidget->setCurrentIndex(2);
        m_prompts.Clear();
    }

    void SelectFile(int row) { W().ResultFilesTableClick(W().FilesModel()->index(row, 0)); }

    void SetRequired(const QString& text)
    {
        Child<QLineEdit>("RequiredThicknessEdit")->setText(text);
    }

    QString Label(const char* name) { return Child<QLabel>(name)->text(); }

private Q_SLOTS:
    void initTestCase() { BeginWindowTests(&m_env, &m_settings, &m_prompts); }

    void init()
    {
        m_settings->clear();
        m_prompts.Clear();
        m_prompts.fileNames.clear();
        m_prompts.choices.clear();
        m_window = std::make_unique<CKorvalent>();
        g_App.pMainWindow = m_window.get();
        m_window->resize(1200, 860);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        g_App.pMainWindow = nullptr;
        m_window.reset();
    }

    void cleanupTestCase() { EndWindowTests(); }

    void tabAfterReport()
    {
        QTabWidget* tabs = W().ui()->mainTabWidget;
        QCOMPARE(tabs->count(), 3);
        QVERIFY(tabs->widget(2)->isAncestorOf(View()));
        QCOMPARE(tabs->tabText(2), QStringLiteral("     Анализ     "));
    }

    void chartSeries_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("required");
        QTest::addColumn<Segments>("segments");
        QTest::addColumn<Points>("below");
        QTest::addColumn<QList<int>>("los");
        QTest::addColumn<double>("average");
        QTest::addColumn<QString>("count");

        QTest::newRow("LOS cells break the line")
            << QStringList{"5.0", "4.8", "LOS", "4.6", "LOS", "LOS", "4.4"} << QString()
            << Segments{{{1, 5.0}, {2, 4.8}}, {{4, 4.6}}, {{7, 4.4}}} << Points{}
            << QList<int>{3, 5, 6} << 4.7 << "Допустимая толщина не задана";
        QTest::newRow("LOS at both ends")
            << QStringList{"LOS", "5.0", "5.2", "LOS"} << QString("5,1")
            << Segments{{{2, 5.0}, {3, 5.2}}} << Points{{2, 5.0}} << QList<int>{1, 4} << 5.1
            << "Ниже допустимой толщины: 1 из 2";
        // A reading shown equal to the limit is not below it.
        QTest::newRow("equal is not below")
            << QStringList{"4.80", "4.79", "5.00"} << QString("4.8")
            << Segments{{{1, 4.8}, {2, 4.79}, {3, 5.0}}} << Points{{2, 4.79}} << QList<int>{}
            << 14.59 / 3 << "Ниже допустимой толщины: 1 из 3";
        // Drawn in the unit of the first valid reading: 12.70 mm = 0.5 in.
        // (0.01 in = 0.254 mm is LOS: too thin in either unit.)
        QTest::newRow("mixed units in inches")
            << QStringList{"LOS", "0.50in", "12.70", "0.45in", "0.01in"} << QString("0.48")
            << Segments{{{2, 0.5}, {3, 0.5}, {4, 0.45}}} << Points{{4, 0.45}} << QList<int>{1, 5}
            << 1.45 / 3 << "Ниже допустимой толщины: 1 из 3";
        QTest::newRow("no valid reading")
            << QStringList{"LOS", "LOS"} << QString("3") << Segments{} << Points{}
            << QList<int>{1, 2} << std::nan("") << "Ниже допустимой толщины: 0 из 0";
    }

    void chartSeries()
    {
        QFETCH(QStringList, cells);
        QFETCH(QString, required);
        QFETCH(Segments, segments);
        QFETCH(Points, below);
        QFETCH(QList<int>, los);
        QFETCH(double, average);
        QFETCH(QString, count);

        Load({File(QStringLiteral("PIPE"), cells)});
        SetRequired(required);
        Child<QLineEdit>("NominalThicknessEdit")->setText(QStringLiteral("6"));
        const CAnalysisChart* chart = View()->Chart();

        const Segments drawn = chart->Segments();
        QCOMPARE(drawn.size(), segments.size());
        for (int i = 0; i < segments.size(); ++i)
        {
            QCOMPARE(drawn.at(i).size(), segments.at(i).size());
            for (int p = 0; p < segments.at(i).size(); ++p)
            {
                QCOMPARE(drawn.at(i).at(p).x(), segments.at(i).at(p).x());
                QVERIFY(qAbs(drawn.at(i).at(p).y() - segments.at(i).at(p).y()) < 1e-9);
            }
        }
        // Every valid reading is a point: red below the limit, plain otherwise.
        QCOMPARE(chart->BelowPoints().size(), below.size());
        for (int i = 0; i < below.size(); ++i)
        {
            QCOMPARE(chart->BelowPoints().at(i).x(), below.at(i).x());
            QVERIFY(qAbs(chart->BelowPoints().at(i).y() - below.at(i).y()) < 1e-9);
        }
        int valid = 0;
        for (const auto& s : segments)
            valid += int(s.size());
        QCOMPARE(chart->Points().size() + below.size(), valid);
        QCOMPARE(chart->LosCells(), los);

        if (std::isnan(average))
            QVERIFY(std::isnan(chart->LineValue(CAnalysisChart::AverageLine)));
        else
            QVERIFY(qAbs(chart->LineValue(CAnalysisChart::AverageLine) - average) < 1e-9);
        const double limit =
            required.isEmpty() ? std::nan("") : QString(required).replace(',', '.').toDouble();
        if (std::isnan(limit))
            QVERIFY(std::isnan(chart->LineValue(CAnalysisChart::RequiredLine)));
        else
            QCOMPARE(chart->LineValue(CAnalysisChart::RequiredLine), limit);
        QCOMPARE(chart->LineValue(CAnalysisChart::NominalLine), 6.0);
        QCOMPARE(Label("BelowCountLabel"), count);
    }

    void pointTextAndClick()
    {
        Load({File(QStringLiteral("PIPE"), {"5.0", "0.50in", "LOS"}, QDate(2025, 6, 30))});
        const CAnalysisChart* chart = View()->Chart();
        QCOMPARE(chart->PointText(1), QStringLiteral("PIPE\nЯчейка 1\nТолщина: 5.0 мм\n"
                                                     "Дата: 30.06.2025, время: 09:30"));
        QCOMPARE(chart->PointText(2).section('\n', 2, 2),
                 QStringLiteral("Толщина: 0.50 дюйм (12.7 мм)"));
        QCOMPARE(chart->PointText(3).section('\n', 2, 2), QStringLiteral("Толщина: LOS"));
        QVERIFY(chart->PointText(4).isEmpty());

        // A click on a point selects its row on the data tab.
        emit View()->Chart()->PointClicked(2);
        QCOMPARE(W().ui()->ResultFileContentTable->currentIndex().row(), 1);
        QVERIFY(W().ui()->ResultFileContentTable->selectionModel()->isRowSelected(1, {}));
    }

    void followsTheDataTab()
    {
        Load({File(QStringLiteral("A"), {"5.0"}), File(QStringLiteral("B"), {"7.0", "7.5"})});
        QCOMPARE(View()->Chart()->Points().size(), 1);
        // Hidden, the view waits; shown again it draws the file the data tab selected.
        W().ui()->mainTabWidget->setCurrentIndex(0);
        SelectFile(1);
        QCOMPARE(View()->Chart()->Points().size(), 1);
        W().ui()->mainTabWidget->setCurrentIndex(2);
        QCOMPARE(View()->Chart()->Points(), (Points{{1, 7.0}, {2, 7.5}}));
    }

    void fieldsKeptPerName()
    {
        Load({File(QStringLiteral("Труба/1"), {"9.0"}), File(QStringLiteral("OTHER"), {"8.0"})});
        SetRequired(QStringLiteral("8,89"));
        Child<QDoubleSpinBox>("InspectionIntervalSpinBox")->setValue(2.5);
        SelectFile(1);
        QCOMPARE(Child<QLineEdit>("RequiredThicknessEdit")->text(), QString());
        QCOMPARE(Child<QDoubleSpinBox>("InspectionIntervalSpinBox")->value(), 5.0);
        SelectFile(0);
        QCOMPARE(Child<QLineEdit>("RequiredThicknessEdit")->text(), QStringLiteral("8.89"));
        QCOMPARE(Child<QDoubleSpinBox>("InspectionIntervalSpinBox")->value(), 2.5);

        // The next survey of the object, another session, taken in inches
        // and named in another case: the values come back, converted.
        cleanup();
        m_window = std::make_unique<CKorvalent>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        Load({File(QStringLiteral("ТРУБА/1"), {"0.45in"})});
        QCOMPARE(Child<QLineEdit>("RequiredThicknessEdit")->text(), QStringLiteral("0.35"));
        QCOMPARE(Child<QLabel>("RequiredUnitLabel")->text(), QStringLiteral("дюйм"));
        QCOMPARE(Child<QDoubleSpinBox>("InspectionIntervalSpinBox")->value(), 2.5);
        QCOMPARE(Label("BelowCountLabel"), QStringLiteral("Ниже допустимой толщины: 0 из 1"));
    }

    void compareWithLoadedFile()
    {
        Load({Current(), Earlier()});
        SetRequired(QStringLiteral("5"));
        m_prompts.choices.enqueue(0);
        Child<QPushButton>("ComparePickLoadedButton")->click();

        // The other loaded files are offered, with their dates.
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.first().kind, QStringLiteral("choose"));
        QCOMPARE(m_prompts.records.first().items,
                 QStringList{QStringLiteral("2. TANK-7 2020 (01.01.2020, ячеек: 4)")});
        QVERIFY(View()->HasPrevious());
        QCOMPARE(Label("PreviousSurveyLabel"), QStringLiteral("TANK-7 2020 (загруженные данные)"));

        // Both surveys on the chart; the table coloured by flag.
        QCOMPARE(View()->Chart()->PreviousPoints(),
                 (Points{{1, 10.0}, {2, 9.0}, {3, 8.0}, {4, 6.0}}));
        QCOMPARE(View()->Chart()->BelowPoints(), (Points{{4, 4.4}}));
        const QStandardItemModel* model = View()->ComparisonModel();
        QCOMPARE(model->columnCount(), int(CSurveyComparison::ColumnCount));
        const QColor none = QColor();
        const QColor expected[] = {none, none, CAnalysisView::LifeShortColor(),
                                   CAnalysisView::BelowRequiredColor()};
        const auto background = [model](int row, int column)
        {
            const QBrush brush = model->item(row, column)->background();
            return brush.style() == Qt::NoBrush ? QColor() : brush.color();
        };
        const QStringList lives = {"46.0", "—", "1.0", "исчерпан"};
        for (int row = 0; row < 4; ++row)
        {
            for (int column = 0; column < model->columnCount(); ++column)
                QCOMPARE(background(row, column), expected[row]);
            QCOMPARE(model->item(row, CSurveyComparison::LifeColumn)->text(), lives.at(row));
        }
        QVERIFY(!model->item(1, CSurveyComparison::LifeColumn)->toolTip().isEmpty());
        const QString summary = Label("SummaryLabel");
        QVERIFY2(summary.contains(QStringLiteral("0.60 мм/год (ячейка 3)")), qPrintable(summary));
        QVERIFY2(summary.contains(QStringLiteral("Ниже допустимой толщины: 1 из 4")),
                 qPrintable(summary));

        Child<QPushButton>("CompareClearButton")->click();
        QVERIFY(View()->Chart()->PreviousPoints().isEmpty());
        QCOMPARE(View()->ComparisonModel()->columnCount(),
                 int(CSurveyComparison::SingleColumnCount));
    }

    void compareWithLoadedNeedsAnother()
    {
        Load({Current()});
        Child<QPushButton>("ComparePickLoadedButton")->click();
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.first().icon, CUserPrompts::IconWarning);
        QVERIFY(!View()->HasPrevious());
    }

    void compareWithFileOnDisk_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<DataFileList>("files");
        QTest::addColumn<int>("choice");     // answer to the choice, -2: none asked
        QTest::addColumn<int>("offered");    // item shown as current
        QTest::addColumn<QString>("chosen"); // earlier survey's name, empty: none
        QTest::addColumn<QString>("message");

        const DataFileRecord other = File(QStringLiteral("PIPE"), {"3.0"});
        // A data file is named after the file it was saved as.
        QTest::newRow("data file: no choice")
            << "old.kdf" << DataFileList{Earlier()} << -2 << 0 << "old" << QString();
        // The survey of the same object dated before the current one is
        // offered first, not the current survey the database also holds.
        QTest::newRow("database: the earlier survey offered")
            << "old.kdb" << DataFileList{other, Current(), Earlier()} << 2 << 2 << "TANK-7 2020"
            << QString();
        // Else the one whose name begins like the current one longest.
        QTest::newRow("database: the name beginning alike offered")
            << "old.kdb" << DataFileList{other, File(QStringLiteral("TANK-9"), {"7.0"}), Earlier()}
            << 2 << 2 << "TANK-7 2020" << QString();
        QTest::newRow("database: choice cancelled")
            << "old.kdb" << DataFileList{other, Earlier()} << -1 << 1 << QString() << QString();
        QTest::newRow("database without files")
            << "empty.kdb" << DataFileList{} << -2 << 0 << QString()
            << "В базе данных нет ни одного файла данных: %1";
        QTest::newRow("not a key file") << "broken.kdb" << DataFileList{} << -2 << 0 << QString()
                                        << "Не возможно обработать базу данных Korvalent: '%1'";
    }

    void compareWithFileOnDisk()
    {
        QFETCH(QString, fileName);
        QFETCH(DataFileList, files);
        QFETCH(int, choice);
        QFETCH(int, offered);
        QFETCH(QString, chosen);
        QFETCH(QString, message);

        Load({Current()});
        QString path = Write(fileName, files);
        if (fileName.startsWith(QLatin1String("broken")))
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<KorvalentDatabase><unclosed>");
        }
        m_prompts.fileNames.enqueue(path);
        if (choice > -2)
            m_prompts.choices.enqueue(choice);
        Child<QPushButton>("ComparePickFileButton")->click();

        QCOMPARE(m_prompts.records.first().kind, QStringLiteral("open"));
        const bool asked =
            m_prompts.records.size() > 1 && m_prompts.records.at(1).kind == QLatin1String("choose");
        QCOMPARE(asked, choice > -2);
        if (asked)
        {
            QCOMPARE(m_prompts.records.at(1).items.size(), files.size());
            QCOMPARE(m_prompts.records.at(1).current, offered);
        }
        QCOMPARE(View()->HasPrevious(), !chosen.isEmpty());
        if (!chosen.isEmpty())
        {
            QCOMPARE(Label("PreviousSurveyLabel"), QStringLiteral("%1 (%2)").arg(chosen, fileName));
            QCOMPARE(View()->Chart()->PreviousPoints().size(), 4);
        }
        if (message.isEmpty())
            QVERIFY(m_prompts.Messages().isEmpty());
        else
            QVERIFY2(m_prompts.Messages().value(0).startsWith(message.arg(path)),
                     qPrintable(m_prompts.Messages().value(0)));
    }

    // A survey is never compared with itself, whichever list offers it.
    void selfComparisonRefused_data()
    {
        QTest::addColumn<bool>("fromDisk");
        QTest::addColumn<QString>("name");
        QTest::newRow("a loaded copy") << false << "TANK-7 копия";
        QTest::newRow("the database on disk") << true << "TANK-7";
    }

    void selfComparisonRefused()
    {
        QFETCH(bool, fromDisk);
        QFETCH(QString, name);
        DataFileRecord copy = Current();
        CAnsiText::Encode(name, copy.header.name, 16);
        Load(fromDisk ? DataFileList{Current()} : DataFileList{Current(), copy});
        if (fromDisk)
            m_prompts.fileNames.enqueue(Write(QStringLiteral("same.kdb"), {Earlier(), copy}));
        m_prompts.choices.enqueue(fromDisk ? 1 : 0);
        Child<QPushButton>(fromDisk ? "ComparePickFileButton" : "ComparePickLoadedButton")->click();

        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral("«%1» — это текущее обследование: его нельзя сравнить "
                                            "с самим собой. Выберите обследование, сделанное "
                                            "раньше.")
                                 .arg(name)});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconWarning);
        QVERIFY(!View()->HasPrevious());
        QCOMPARE(Label("PreviousSurveyLabel"), QStringLiteral("не выбрано"));
        QVERIFY(View()->Chart()->PreviousPoints().isEmpty());
    }

    // The comparison follows the data tab: another current survey gets its
    // own earlier survey, or none with a line saying so, never the last one's.
    void comparisonFollowsTheSelectedFile()
    {
        const auto line = [](int year, const QStringList& cells)
        { return File(QStringLiteral("Линия-7 %1").arg(year), cells, QDate(year, 3, 17)); };
        Load({line(2026, {"9.0", "8.6"}), line(2025, {"9.5", "8.8"}),
              File(QStringLiteral("Труба-1"), {"5.0", "5.1"}, QDate(2026, 3, 18)),
              line(2024, {"9.9", "9.0"})});
        m_prompts.choices.enqueue(0);
        Child<QPushButton>("ComparePickLoadedButton")->click();
        QCOMPARE(m_prompts.records.first().current, 0); // "Линия-7 2025", dated the year before
        const QChart* chart = View()->Chart()->Chart();
        QCOMPARE(chart->title(), QStringLiteral("Линия-7 2026: сравнение с Линия-7 2025"));
        QVERIFY(View()->Notice().isEmpty());

        struct Step
        {
            int row;
            QString title, previous, notice;
        };
        const Step steps[] = {
            {2, "Труба-1", "не выбрано",
             "Сравнение снято: среди загруженных файлов данных нет более раннего обследования "
             "«Труба-1»."},
            {1, "Линия-7 2025: сравнение с Линия-7 2024", "Линия-7 2024 (загруженные данные)",
             "Для «Линия-7 2025» выбрано предыдущее обследование «Линия-7 2024» (17.03.2024)."},
            {0, "Линия-7 2026: сравнение с Линия-7 2025", "Линия-7 2025 (загруженные данные)",
             "Для «Линия-7 2026» выбрано предыдущее обследование «Линия-7 2025» (17.03.2025)."},
            // The oldest survey has nothing before it.
            {3, "Линия-7 2024", "не выбрано",
             "Сравнение снято: среди загруженных файлов данных нет более раннего обследования "
             "«Линия-7 2024»."},
        };
        for (const Step& step : steps)
        {
            SelectFile(step.row);
            QCOMPARE(chart->title(), step.title);
            QCOMPARE(Label("PreviousSurveyLabel"), step.previous);
            QCOMPARE(View()->Notice(), step.notice);
            QCOMPARE(Child<QLabel>("CompareNoticeLabel")->isVisible(), true);
            QCOMPARE(View()->HasPrevious(), step.previous != QStringLiteral("не выбрано"));
            QCOMPARE(View()->ComparisonModel()->columnCount(),
                     View()->HasPrevious() ? int(CSurveyComparison::ColumnCount)
                                           : int(CSurveyComparison::SingleColumnCount));
        }
        QVERIFY(m_prompts.Messages().isEmpty());

        // "Без сравнения" stops the following.
        SelectFile(0);
        Child<QPushButton>("CompareClearButton")->click();
        QVERIFY(View()->Notice().isEmpty());
        QVERIFY(!Child<QLabel>("CompareNoticeLabel")->isVisible());
        SelectFile(1);
        QVERIFY(!View()->HasPrevious());
        QCOMPARE(chart->title(), QStringLiteral("Линия-7 2025"));
    }

    // An earlier survey taken from a database on disk is chosen again from it.
    void comparisonFollowsFromTheDatabaseOnDisk()
    {
        Load({Current(), File(QStringLiteral("PIPE"), {"3.0"}),
              File(QStringLiteral("Котёл-2"), {"12.0"})});
        m_prompts.fileNames.enqueue(
            Write(QStringLiteral("archive.kdb"),
                  {File(QStringLiteral("PIPE 2019"), {"3.5"}, QDate(2019, 5, 1)), Earlier()}));
        m_prompts.choices.enqueue(1);
        Child<QPushButton>("ComparePickFileButton")->click();
        QCOMPARE(m_prompts.records.at(1).current, 1);
        QCOMPARE(Label("PreviousSurveyLabel"), QStringLiteral("TANK-7 2020 (archive.kdb)"));
        SelectFile(1);
        QCOMPARE(Label("PreviousSurveyLabel"), QStringLiteral("PIPE 2019 (archive.kdb)"));
        QCOMPARE(
            View()->Notice(),
            QStringLiteral("Для «PIPE» выбрано предыдущее обследование «PIPE 2019» (01.05.2019)."));
        SelectFile(0);
        QCOMPARE(Label("PreviousSurveyLabel"), QStringLiteral("TANK-7 2020 (archive.kdb)"));
        SelectFile(2);
        QVERIFY(!View()->HasPrevious());
        QCOMPARE(View()->Notice(),
                 QStringLiteral("Сравнение снято: в «archive.kdb» нет более раннего обследования "
                                "«Котёл-2»."));
    }

    void exports_data()
    {
        ViewExport::AddRows({"ExportCsvButton", "ExportPngButton", "ExportPdfButton"},
                            {"Таблица анализа сохранена в CSV.", "График сохранён в PNG.",
                             "График сохранён в PDF."},
                            {"ОШИБКА: не удалось создать CSV-файл таблицы анализа.",
                             "ОШИБКА: не удалось сохранить график в PNG.",
                             "ОШИБКА: не удалось сохранить график в PDF."});
    }

    void exports()
    {
        QFETCH(QString, button);
        QFETCH(QString, suffix);
        QFETCH(bool, ok);
        QFETCH(QString, text);

        Load({Current(), Earlier()});
        m_prompts.choices.enqueue(0);
        Child<QPushButton>("ComparePickLoadedButton")->click();
        m_prompts.Clear();
        QByteArray bytes;
        ViewExport::Export(m_prompts, View()->findChild<QPushButton*>(button),
                           m_env->Root() + QStringLiteral("/out.") + suffix, ok, text,
                           W().DocumentsDir(), &bytes);
        if (QTest::currentTestFailed() || !ok)
            return;
        if (suffix == QLatin1String("csv"))
        {
            const QStringList lines = ViewExport::CsvLines(bytes);
            QCOMPARE(lines.size(), 1 + 4 + 1); // header, four locations, the final CR LF
            QVERIFY(lines.at(0).startsWith(QStringLiteral("Ячейка;Предыдущий замер, мм;")));
            QVERIFY(lines.at(3).contains(QStringLiteral("=\"0.60\";")));
        }
        else if (suffix == QLatin1String("png"))
            QCOMPARE(QImage::fromData(bytes, "PNG").size(), CAnalysisChart::ExportSize());
        else
            QVERIFY(ViewExport::IsPdf(bytes));
    }

    // The PDF is a document: what was compared, the values typed, the summary,
    // the chart, then the table with its header on every page.
    void pdfDocument()
    {
        KV_REQUIRE_PDFTOTEXT();
        QStringList now, before;
        for (int i = 0; i < 120; ++i)
        {
            now << (i == 7 ? QStringLiteral("4.4") : QStringLiteral("9.0"));
            before << QStringLiteral("9.4");
        }
        Load({File(QStringLiteral("TANK-7"), now, QDate(2024, 1, 1)),
              File(QStringLiteral("TANK-7 2020"), before, QDate(2020, 1, 1))});
        SetRequired(QStringLiteral("5"));
        Child<QLineEdit>("NominalThicknessEdit")->setText(QStringLiteral("10"));
        m_prompts.choices.enqueue(0);
        Child<QPushButton>("ComparePickLoadedButton")->click();
        const QString path = m_env->Root() + QStringLiteral("/analysis.pdf");
        m_prompts.fileNames.enqueue(path);
        Child<QPushButton>("ExportPdfButton")->click();
        QCOMPARE(m_prompts.Messages(), QStringList{QStringLiteral("График сохранён в PDF.")});

        const QString text = PdfToText(path);
        QVERIFY(!text.isNull());
        const QStringList pages = text.split(QLatin1Char('\f'));
        // The first page, the table on three more (pdftotext ends with a form feed too).
        QVERIFY2(pages.size() >= 5, qPrintable(QString::number(pages.size())));
        const QString first = pages.at(0);
        for (const char* line :
             {"Анализ толщины стенки: TANK-7",
              "Текущее обследование: TANK-7 — 01.01.2024, ячеек: 120",
              "Предыдущее обследование: TANK-7 2020 (загруженные данные) — 01.01.2020, ячеек: 120",
              "Допустимая толщина: 5 мм; номинальная толщина: 10 мм",
              "Наибольшая скорость коррозии: 1.25 мм/год (ячейка 8)",
              "Наименьший остаточный ресурс: исчерпан (ячейка 8)",
              "Ниже допустимой толщины: 1 из 120", "Страница 1 из "})
            QVERIFY2(first.contains(QString::fromUtf8(line)), line);
        // The chart comes before the table; every later page starts with the header.
        QVERIFY(first.contains(QStringLiteral("TANK-7: сравнение с TANK-7 2020")));
        QVERIFY(!first.contains(QStringLiteral("Остаточный")));
        for (int p = 1; p + 1 < pages.size(); ++p)
            QVERIFY2(pages.at(p).trimmed().startsWith(QStringLiteral("Ячейка")),
                     qPrintable(pages.at(p).left(200)));
        QVERIFY(pages.at(1).contains(QStringLiteral("Страница 2 из ")));
        QVERIFY(pages.at(pages.size() - 2).contains(QStringLiteral("\n120\n")));

        // Readable on paper: no word of the first two pages is set below 9 pt
        // (a word's box is its font's ascent and descent, over 1.1 em).
        const QString boxes =
            PdfToText(path, {QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("2")});
        QVERIFY(!boxes.isNull());
        static const QRegularExpression word(
            QStringLiteral("<word xMin=\"[\\d.]+\" yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" "
                           "yMax=\"([\\d.]+)\">([^<]*)</word>"));
        int words = 0;
        double smallest = 1e9;
        QString smallestWord;
        for (const QRegularExpressionMatch& m : word.globalMatch(boxes))
        {
            ++words;
            const double height = m.captured(2).toDouble() - m.captured(1).toDouble();
            if (height < smallest)
            {
                smallest = height;
                smallestWord = m.captured(3);
            }
        }
        QVERIFY(words > 100);
        QVERIFY2(smallest >= 9.0 * 1.1,
                 qPrintable(QStringLiteral("%1: %2 pt").arg(smallestWord).arg(smallest)));
    }

    void exportWithoutFile()
    {
        W().ui()->mainTabWidget->setCurrentIndex(2);
        Child<QPushButton>("ExportPngButton")->click();
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.first().icon, CUserPrompts::IconWarning);
    }

    // The command line draws the same chart off screen.
    void commandLinePng_data()
    {
        QTest::addColumn<QString>("out");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("written") << "chart.png" << 0;
        QTest::newRow("missing folder") << "no/such/folder/chart.png" << 1;
    }

    void commandLinePng()
    {
        QFETCH(QString, out);
        QFETCH(int, exitCode);
        const QString data = Write(QStringLiteral("cli.kdb"), {Current(), Earlier()});
        const QString path = m_env->Root() + QLatin1Char('/') + out;
        QFile::remove(path);
        const CProgramRun cli = RunProgram(
            QStringLiteral(KORVALENT_CLI),
            {QStringLiteral("analyse"), data, QStringLiteral("--file"), QStringLiteral("1"),
             QStringLiteral("--previous"), data, QStringLiteral("--previous-file"),
             QStringLiteral("2"), QStringLiteral("--required"), QStringLiteral("5"),
             QStringLiteral("--png"), path},
            60000);
        QCOMPARE(cli.exitCode, exitCode);
        if (exitCode != 0)
        {
            QVERIFY(!QFile::exists(path));
            QVERIFY(!cli.err.isEmpty());
            return;
        }
        QCOMPARE(QImage(path).size(), CAnalysisChart::ExportSize());
        // The table still goes to stdout.
        QVERIFY(cli.out.contains(
            QStringLiteral("Наибольшая скорость коррозии: 0.60 мм/год (ячейка 3)")));
    }

    void statisticsRowSelectsCell_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<int>("statisticsRow");
        QTest::addColumn<int>("resultRow"); // -1: the selection stays where it was

        const QStringList cells = {"LOS", "5.10", "4.20", "6.15", "4.20", "6.15"};
        QTest::newRow("X(min): first of two") << cells << 3 << 2;
        QTest::newRow("X(max): first of two") << cells << 4 << 3;
        QTest::newRow("X(avg) selects nothing") << cells << 5 << -1;
        QTest::newRow("no valid value") << QStringList{"LOS", "LOS"} << 3 << -1;
    }

    void statisticsRowSelectsCell()
    {
        QFETCH(QStringList, cells);
        QFETCH(int, statisticsRow);
        QFETCH(int, resultRow);

        Load({File(QStringLiteral("PIPE"), cells)});
        W().ui()->mainTabWidget->setCurrentIndex(0);
        QTableView* results = W().ui()->ResultFileContentTable;
        results->selectionModel()->clear();
        QTableView* statistics = W().ui()->StatisticsTable;
        const QModelIndex index = statistics->model()->index(statisticsRow, 1);
        QTest::mouseClick(statistics->viewport(), Qt::LeftButton, {},
                          statistics->visualRect(index).center());
        if (resultRow < 0)
            QVERIFY(!results->selectionModel()->hasSelection());
        else
        {
            QCOMPARE(results->currentIndex().row(), resultRow);
            QVERIFY(results->selectionModel()->isRowSelected(resultRow, {}));
        }
    }
};

QTEST_MAIN(TestAnalysisView)
#include "tst_analysis_view.moc"
