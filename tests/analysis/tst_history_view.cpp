// The history of an archived object on the analysis tab, driven through the
// prompts seam on an archive of each engine: the object list, the table as
// the core gives it (texts, colours, sorting), the settings kept per object
// in the archive, accepting an E reading, the trend and overview charts, the
// exports (the PDF read back with pdftotext, the PNG decoded).
#include "analysis/CAnalysisView.h"
#include "analysis/CHistoryChart.h"
#include "analysis/CHistoryDocument.h"
#include "analysis/CHistoryRateChart.h"
#include "analysis/CHistoryView.h"
#include "analysis/CObjectHistory.h"
#include "app/CKorvalent.h"
#include "archive/CSurveyArchive.h"
#include "core/CAppGlobals.h"
#include "core/CClock.h"
#include "core/CUserPrompts.h"
#include "tests/analysis/AnalysisTestSupport.h"
#include "tests/analysis/ViewExportSupport.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/common/TestSupport.h"

#include "ui_CKorvalent.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include <cmath>
#include <memory>

using AnalysisTest::File;

namespace
{
const QString kPipe = QStringLiteral("Труба-A");
const QString kTank = QStringLiteral("Бак-2");

// Three surveys of a pipe two years apart (731 and 730 days), two decimals:
//   1 thinning steadily: LT 0.250, ST 0.300, regression 0.250 mm/year
//   2 already below a required 8.00 mm
//   3 an E reading in the middle (10.50 after 9.00: 16.7 % thicker)
//   4 measured once: no rate
//   5 thinning fast: ST 0.350, due at once
//   6 a W reading (9.05 after 9.00)
DataFileList PipeSurveys()
{
    return {File(kPipe, {"10.00", "8.50", "9.00", "LOS", "9.00", "9.00"}, QDate(2020, 6, 1)),
            File(kPipe, {"9.60", "8.00", "10.50", "LOS", "8.90", "9.05"}, QDate(2022, 6, 1)),
            File(kPipe, {"9.00", "7.50", "8.90", "9.50", "8.20", "9.00"}, QDate(2024, 6, 1))};
}

DataFileList TankSurveys()
{
    return {File(kTank, {"0.50in", "0.48in"}, QDate(2019, 3, 1)),
            File(kTank, {"0.49in", "0.47in"}, QDate(2023, 3, 1))};
}

QColor Background(const QStandardItemModel* model, int row, int column)
{
    const QBrush brush = model->item(row, column)->background();
    return brush.style() == Qt::NoBrush ? QColor() : brush.color();
}
} // namespace

class TestHistoryView : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<CKorvalent> m_window;
    CScriptedPrompts m_prompts;
    QTemporaryDir m_dir;
    QString m_location;

    CKorvalent& W() { return *m_window; }

    // Files and pictures for a person to look at, when asked for.
    static void Shot(QWidget* w, const QString& name)
    {
        const QString dir = qEnvironmentVariable("KORVALENT_SHOTS");
        if (dir.isEmpty())
            return;
        // Laid out as the screen would show it.
        QCoreApplication::processEvents();
        w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    }
    static void Keep(const QString& path, const QString& name)
    {
        const QString dir = qEnvironmentVariable("KORVALENT_SHOTS");
        if (!dir.isEmpty())
        {
            QFile::remove(dir + QLatin1Char('/') + name);
            QFile::copy(path, dir + QLatin1Char('/') + name);
        }
    }
    CAnalysisView* Tab() { return W().AnalysisView(); }
    CHistoryView* View() { return Tab()->History(); }
    template <typename T> T* Child(const char* name)
    {
        return View()->findChild<T*>(QString::fromLatin1(name));
    }

    // A fresh archive of the engine holding the pipe and the tank.
    bool Prepare(const QString& engine, const DataFileList& extra = {})
    {
        m_location = ArchiveTest::FreshLocation(engine, m_dir);
        if (m_location.isEmpty())
            return false;
        CSurveyArchive archive;
        if (!archive.Open(m_location))
            return false;
        CSurveyArchive::Source source;
        source.time = QDateTime(QDate(2025, 1, 1), QTime(12, 0));
        const DataFileList all = PipeSurveys() + TankSurveys() + extra;
        if (!archive.AddSurveys(all, {}, source).ok)
            return false;
        m_settings->setValue(QStringLiteral("Archive/Location"), m_location);
        return true;
    }

    void NewWindow()
    {
        m_window.reset();
        m_window = std::make_unique<CKorvalent>();
        g_App.pMainWindow = m_window.get();
        m_window->resize(1200, 900);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    // The analysis tab in front, in the history mode, the object chosen.
    void Open(const QString& object = kPipe)
    {
        W().ui()->mainTabWidget->setCurrentIndex(2);
        Tab()->findChild<QRadioButton*>(QStringLiteral("HistoryModeButton"))->click();
        QVERIFY(View()->isVisible());
        QComboBox* objects = Child<QComboBox>("ObjectCombo");
        const int index = objects->findData(object);
        QVERIFY(index >= 0);
        objects->setCurrentIndex(index);
        emit objects->activated(index);
        QVERIFY(View()->History());
        QCOMPARE(View()->History()->ObjectName(), object);
    }

    void SetText(const char* name, const QString& text)
    {
        QLineEdit* edit = Child<QLineEdit>(name);
        edit->setText(text);
        emit edit->editingFinished();
    }

    int Row(int cell)
    {
        for (int row = 0; row < View()->Model()->rowCount(); ++row)
            if (View()->Model()->item(row, 0)->text() == QString::number(cell))
                return row;
        return -1;
    }

    CObjectHistory::Settings Stored(const QString& object)
    {
        CSurveyArchive archive;
        archive.Open(m_location);
        CObjectHistory::Settings settings;
        QString error;
        if (!CObjectHistory::LoadSettings(archive, object, &settings, &error))
            qWarning("%s", qPrintable(error));
        return settings;
    }

private Q_SLOTS:
    void initTestCase()
    {
        BeginWindowTests(&m_env, &m_settings, &m_prompts);
        CClock::Pin(QDateTime(QDate(2025, 1, 1), QTime(12, 0)));
    }

    void init()
    {
        m_settings->clear();
        m_prompts.Clear();
        m_prompts.answers.clear();
        m_prompts.fileNames.clear();
        NewWindow();
    }

    void cleanup()
    {
        g_App.pMainWindow = nullptr;
        m_window.reset();
    }

    void cleanupTestCase()
    {
        CClock::Unpin();
        EndWindowTests();
    }

    // The tab opens in the comparison, as before; the history is the other
    // mode, and the tab comes back in the mode it was left in.
    void modes()
    {
        QVERIFY(Prepare(QStringLiteral("sqlite")));
        W().ui()->mainTabWidget->setCurrentIndex(2);
        auto* modes = Tab()->findChild<QStackedWidget*>(QStringLiteral("AnalysisModes"));
        QCOMPARE(Tab()->CurrentMode(), CAnalysisView::ComparisonMode);
        QVERIFY(!View()->isVisible());
        Tab()->findChild<QRadioButton*>(QStringLiteral("HistoryModeButton"))->click();
        QCOMPARE(modes->currentIndex(), int(CAnalysisView::HistoryMode));
        QVERIFY(View()->isVisible());

        // The objects of the archive, with their surveys; the first one shown.
        QComboBox* objects = Child<QComboBox>("ObjectCombo");
        QCOMPARE(objects->count(), 2);
        QCOMPARE(objects->itemText(0),
                 QStringLiteral("Бак-2 (обследований: 2, 01.03.2019 – 01.03.2023)"));
        QCOMPARE(objects->itemText(1),
                 QStringLiteral("Труба-A (обследований: 3, 01.06.2020 – 01.06.2024)"));
        QCOMPARE(View()->History()->ObjectName(), kTank);
        QVERIFY(m_prompts.records.isEmpty());

        // The chosen object comes back with the mode.
        objects->setCurrentIndex(1);
        emit objects->activated(1);
        NewWindow();
        W().ui()->mainTabWidget->setCurrentIndex(2);
        QCOMPARE(Tab()->CurrentMode(), CAnalysisView::HistoryMode);
        QVERIFY(View()->History());
        QCOMPARE(View()->History()->ObjectName(), kPipe);
        Tab()->findChild<QRadioButton*>(QStringLiteral("ComparisonModeButton"))->click();
        QCOMPARE(Tab()->findChild<QStackedWidget*>(QStringLiteral("AnalysisModes"))->currentIndex(),
                 int(CAnalysisView::ComparisonMode));
    }

    void tableAndColours_data() { ArchiveTest::EngineRows(); }

    void tableAndColours()
    {
        QFETCH(QString, engine);
        if (engine == QLatin1String("postgresql") && ArchiveTest::ServerUrl().isEmpty())
            QSKIP("PostgreSQL variant skipped: KORVALENT_TEST_PGURL is not set");
        QVERIFY(Prepare(engine));
        Open();
        SetText("HistoryRequiredEdit", QStringLiteral("8"));
        const CObjectHistory* history = View()->History();
        QCOMPARE(history->GetSettings().requiredMm, 8.0);
        const QStandardItemModel* model = View()->Model();

        // The core's own texts, every one of them.
        QCOMPARE(model->columnCount(), int(CObjectHistory::ColumnCount));
        QCOMPARE(model->rowCount(), 6);
        const QStringList headers = history->Headers();
        for (int c = 0; c < model->columnCount(); ++c)
            QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), headers.at(c));
        QCOMPARE(headers.at(CObjectHistory::ActualColumn),
                 QStringLiteral("Фактическая толщина, мм"));
        QCOMPARE(headers.at(CObjectHistory::GoverningColumn),
                 QStringLiteral("Определяющая скорость, мм/год"));
        for (int r = 0; r < 6; ++r)
        {
            const QStringList texts = history->RowTexts(r);
            for (int c = 0; c < model->columnCount(); ++c)
                QCOMPARE(model->item(r, c)->text(), texts.at(c));
        }
        // Figures worked out by hand for the steadily thinning location.
        const int one = Row(1);
        QCOMPARE(model->item(one, CObjectHistory::LongTermColumn)->text(), QStringLiteral("0.250"));
        QCOMPARE(model->item(one, CObjectHistory::ShortTermColumn)->text(),
                 QStringLiteral("0.300"));
        QCOMPARE(model->item(one, CObjectHistory::RegressionColumn)->text(),
                 QStringLiteral("0.250"));
        QCOMPARE(model->item(one, CObjectHistory::GoverningColumn)->text(),
                 QStringLiteral("0.300"));

        // Red below the required thickness, amber when due within a year of
        // today, grey with no rate, the rest plain: on every column.
        const QColor expected[] = {QColor(),
                                   CHistoryView::BelowRequiredColor(),
                                   QColor(),
                                   CHistoryView::NoRateColor(),
                                   CHistoryView::DueColor(),
                                   QColor()};
        for (int cell = 1; cell <= 6; ++cell)
            for (int c = 0; c < model->columnCount(); ++c)
                QCOMPARE(Background(model, Row(cell), c), expected[cell - 1]);

        // A wider "due" window takes in location 1 (next inspection 31.01.2026).
        Child<QDoubleSpinBox>("DueWithinSpinBox")->setValue(1.5);
        QCOMPARE(Background(View()->Model(), Row(1), 0), CHistoryView::DueColor());
        QCOMPARE(m_settings->value(QStringLiteral("Analysis/HistoryDueWithin")).toDouble(), 1.5);

        // The summary is the core's.
        QCOMPARE(View()->SummaryLines(), View()->History()->SummaryLines());
        QVERIFY(m_prompts.records.isEmpty());
    }

    // Sorted by the figures, not by their texts; a row still shows its own location.
    void sorting()
    {
        QVERIFY(Prepare(QStringLiteral("sqlite")));
        Open();
        QTableView* table = Child<QTableView>("LocationsTable");
        table->sortByColumn(CObjectHistory::ActualColumn, Qt::DescendingOrder);
        const QStandardItemModel* model = View()->Model();
        QStringList actual;
        for (int row = 0; row < model->rowCount(); ++row)
            actual << model->item(row, CObjectHistory::ActualColumn)->text();
        QCOMPARE(actual, (QStringList{"9.50", "9.00", "9.00", "8.90", "8.20", "7.50"}));

        table->selectRow(Row(5));
        QCOMPARE(View()->TrendChart()->Cell(), 5);
        QCOMPARE(View()->History()->Locations().at(View()->CurrentLocation()).cell, 5);

        // A change of setting keeps the order and the chosen location.
        SetText("HistoryRequiredEdit", QStringLiteral("8"));
        QCOMPARE(View()->Model()->item(0, CObjectHistory::ActualColumn)->text(),
                 QStringLiteral("9.50"));
        QCOMPARE(View()->TrendChart()->Cell(), 5);
    }

    void settingsPerObject_data() { ArchiveTest::EngineRows(); }

    void settingsPerObject()
    {
        QFETCH(QString, engine);
        if (engine == QLatin1String("postgresql") && ArchiveTest::ServerUrl().isEmpty())
            QSKIP("PostgreSQL variant skipped: KORVALENT_TEST_PGURL is not set");
        QVERIFY(Prepare(engine));
        Open();
        SetText("HistoryRequiredEdit", QStringLiteral("8,5"));
        SetText("HistoryNominalEdit", QStringLiteral("10"));
        auto* interval = Child<QComboBox>("MaxIntervalCombo");
        QCOMPARE(interval->count(), 3);
        interval->setCurrentIndex(interval->findData(15.0));
        auto* rate = Child<QComboBox>("RateKindCombo");
        rate->setCurrentIndex(rate->findData(int(CObjectHistory::RateLongTerm)));
        Child<QCheckBox>("VesselRuleCheck")->setChecked(true);

        const CObjectHistory::Settings pipe = Stored(kPipe);
        QCOMPARE(pipe.requiredMm, 8.5);
        QCOMPARE(pipe.nominalMm, 10.0);
        QCOMPARE(pipe.maxIntervalYears, 15.0);
        QCOMPARE(pipe.rate, CObjectHistory::RateLongTerm);
        QVERIFY(pipe.vesselRule);
        QCOMPARE(View()->History()->GetSettings().rate, CObjectHistory::RateLongTerm);

        // The tank, measured in inches, has its own: none yet. Typed in
        // inches, kept in millimetres.
        Open(kTank);
        QCOMPARE(Child<QLineEdit>("HistoryRequiredEdit")->text(), QString());
        QCOMPARE(Child<QLabel>("HistoryRequiredEditUnit")->text(), QStringLiteral("дюйм"));
        QCOMPARE(interval->currentData().toDouble(), 10.0);
        QCOMPARE(rate->currentData().toInt(), int(CObjectHistory::RateMax));
        QVERIFY(!Child<QCheckBox>("VesselRuleCheck")->isChecked());
        SetText("HistoryRequiredEdit", QStringLiteral("0.35"));
        QVERIFY(std::abs(Stored(kTank).requiredMm - 8.89) < 1e-9);
        QVERIFY(std::isnan(Stored(kTank).nominalMm));
        QCOMPARE(Stored(kPipe).requiredMm, 8.5);

        // Another session reads them back from the archive.
        NewWindow();
        Open(kPipe);
        QCOMPARE(Child<QLineEdit>("HistoryRequiredEdit")->text(), QStringLiteral("8.5"));
        QCOMPARE(Child<QLineEdit>("HistoryNominalEdit")->text(), QStringLiteral("10"));
        QCOMPARE(Child<QComboBox>("MaxIntervalCombo")->currentData().toDouble(), 15.0);
        QCOMPARE(Child<QComboBox>("RateKindCombo")->currentData().toInt(),
                 int(CObjectHistory::RateLongTerm));
        QVERIFY(Child<QCheckBox>("VesselRuleCheck")->isChecked());
        Open(kTank);
        QCOMPARE(Child<QLineEdit>("HistoryRequiredEdit")->text(), QStringLiteral("0.35"));
        QVERIFY(m_prompts.records.isEmpty());
    }

    void acceptE_data() { ArchiveTest::EngineRows(); }

    void acceptE()
    {
        QFETCH(QString, engine);
        if (engine == QLatin1String("postgresql") && ArchiveTest::ServerUrl().isEmpty())
            QSKIP("PostgreSQL variant skipped: KORVALENT_TEST_PGURL is not set");
        QVERIFY(Prepare(engine));
        Open();
        QVERIFY(View()->SelectLocation(View()->History()->LocationIndex(3)));
        // The E reading is the one offered first.
        QCOMPARE(View()->CurrentReading(), 1);
        auto* accept = Child<QPushButton>("AcceptReadingButton");
        QVERIFY(accept->isEnabled());
        QCOMPARE(accept->text(), QStringLiteral("Принять замер E"));
        QCOMPARE(View()->TrendChart()->LeftOutPoints().size(), 1);
        Shot(View(), QStringLiteral("history-e-reading"));
        const qint64 surveyId =
            View()->History()->Locations().at(View()->CurrentLocation()).readings.at(1).surveyId;

        const QString question = QStringLiteral(
            "Принять замер ячейки 3 от 01.06.2022 (10.50 мм, обследование «Труба-A»)?");
        // "No" leaves everything as it was.
        m_prompts.answers.enqueue(CUserPrompts::No);
        accept->click();
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.first().kind, QStringLiteral("ask"));
        QCOMPARE(m_prompts.records.first().icon, CUserPrompts::IconQuestion);
        QCOMPARE(m_prompts.records.first().text, question);
        QCOMPARE(m_prompts.records.first().informativeText,
                 QStringLiteral("Замер отмечен «E»: он более чем на 10 % толще предыдущего или "
                                "более чем на 15 % толще одного из прежних замеров ячейки. "
                                "Принятый замер снова учитывается в скоростях коррозии; отметка "
                                "хранится в архиве."));
        QCOMPARE(m_prompts.records.first().defaultButton, CUserPrompts::No);
        {
            CSurveyArchive archive;
            QVERIFY(archive.Open(m_location));
            CSurveyArchive::ObjectInfo object;
            QVERIFY(archive.FindObject(kPipe, &object));
            QVERIFY(archive.AcceptedReadings(object.id).isEmpty());
        }

        m_prompts.Clear();
        m_prompts.answers.enqueue(CUserPrompts::Yes);
        accept->click();
        // The question only: no box after it.
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.first().text, question);
        {
            CSurveyArchive archive;
            QVERIFY(archive.Open(m_location));
            CSurveyArchive::ObjectInfo object;
            QVERIFY(archive.FindObject(kPipe, &object));
            QCOMPARE(archive.AcceptedReadings(object.id),
                     (QSet<QPair<qint64, int>>{qMakePair(surveyId, 3)}));
        }
        // Used in the rates again, on the chart and in the list; the same
        // reading still chosen, now to be taken back.
        const CObjectHistory::Location& location =
            View()->History()->Locations().at(View()->CurrentLocation());
        QCOMPARE(location.cell, 3);
        QVERIFY(location.readings.at(1).accepted && location.readings.at(1).used);
        QCOMPARE(View()->CurrentReading(), 1);
        QVERIFY(View()->TrendChart()->LeftOutPoints().isEmpty());
        QCOMPARE(View()->TrendChart()->Points().size(), 3);
        QCOMPARE(View()->ReadingsModel()->item(1, CObjectHistory::ReadingUsedColumn)->text(),
                 QStringLiteral("да (E принято)"));
        QCOMPARE(accept->text(), QStringLiteral("Снять принятие замера"));
        Shot(View(), QStringLiteral("history-accepted-e"));

        // Taken back after its own question.
        m_prompts.Clear();
        m_prompts.answers.enqueue(CUserPrompts::Yes);
        accept->click();
        QCOMPARE(m_prompts.records.first().text,
                 QStringLiteral("Снять принятие: замер ячейки 3 от 01.06.2022 (10.50 мм, "
                                "обследование «Труба-A»)?"));
        QCOMPARE(m_prompts.records.first().informativeText,
                 QStringLiteral("Замер снова не будет учитываться в скоростях коррозии."));
        QCOMPARE(View()->TrendChart()->LeftOutPoints().size(), 1);
        QCOMPARE(accept->text(), QStringLiteral("Принять замер E"));

        // Other readings are not for accepting.
        QVERIFY(View()->SelectReading(0));
        QVERIFY(!accept->isEnabled());
    }

    // The trend chart draws what the core computed for the location.
    void trendChart()
    {
        QVERIFY(Prepare(QStringLiteral("sqlite")));
        Open();
        SetText("HistoryRequiredEdit", QStringLiteral("8"));
        SetText("HistoryNominalEdit", QStringLiteral("10.5"));
        const CObjectHistory* history = View()->History();
        const CHistoryChart* chart = View()->TrendChart();
        const auto x = [](int y, int m, int d) { return CHistoryChart::X(QDate(y, m, d)); };
        QCOMPARE(x(2024, 7, 1), 2024 + 182.0 / 366);
        QCOMPARE(CHistoryChart::DateAt(x(2023, 12, 31)), QDate(2023, 12, 31));

        QVERIFY(View()->SelectLocation(history->LocationIndex(1)));
        QCOMPARE(chart->Title(), QStringLiteral("Труба-A: ячейка 1"));
        QCOMPARE(
            chart->Points(),
            (QList<QPointF>{{x(2020, 6, 1), 10.0}, {x(2022, 6, 1), 9.6}, {x(2024, 6, 1), 9.0}}));
        QCOMPARE(chart->LineValue(CHistoryChart::RequiredLine), 8.0);
        QCOMPARE(chart->LineValue(CHistoryChart::NominalLine), 10.5);
        QCOMPARE(chart->LineName(CHistoryChart::RequiredLine),
                 QStringLiteral("Допустимая 8.00 мм"));
        // The line from the first reading to 8.00 mm: 0.25 mm a year from
        // 10.03 mm at the start, 8.13 years on.
        const QDate projected = history->Locations().at(history->LocationIndex(1)).projectedDate;
        QVERIFY(projected > QDate(2028, 7, 10) && projected < QDate(2028, 7, 31));
        QCOMPARE(chart->ProjectedDate(), projected);
        const QList<QPointF> line = chart->RegressionPoints();
        QCOMPARE(line.size(), 2);
        QCOMPARE(line.first().x(), x(2020, 6, 1));
        QCOMPARE(line.last().x(), CHistoryChart::X(projected));
        QVERIFY(std::abs(line.last().y() - 8.0) < 0.01);
        QVERIFY(chart->MarkPoints(CObjectHistory::CheckE).isEmpty());

        // E left out of the line, W on it, LOS on the date axis.
        QVERIFY(View()->SelectLocation(history->LocationIndex(3)));
        QCOMPARE(chart->Points(), (QList<QPointF>{{x(2020, 6, 1), 9.0}, {x(2024, 6, 1), 8.9}}));
        QCOMPARE(chart->MarkPoints(CObjectHistory::CheckE),
                 (QList<QPointF>{{x(2022, 6, 1), 10.5}}));
        QVERIFY(chart->RegressionPoints().isEmpty()); // two used readings only
        QVERIFY(View()->SelectLocation(history->LocationIndex(6)));
        QCOMPARE(chart->MarkPoints(CObjectHistory::CheckW),
                 (QList<QPointF>{{x(2022, 6, 1), 9.05}}));
        QVERIFY(View()->SelectLocation(history->LocationIndex(4)));
        QCOMPARE(chart->LosDates(), (QList<QDate>{QDate(2020, 6, 1), QDate(2022, 6, 1)}));
        QCOMPARE(chart->Points(), (QList<QPointF>{{x(2024, 6, 1), 9.5}}));
        QVERIFY(chart->PointText(QPointF(x(2024, 6, 1), 9.5))
                    .startsWith(QStringLiteral("Ячейка 4, 01.06.2024\nОбследование: Труба-A\n"
                                               "Толщина: 9.50 мм")));

        // The overview: every location's governing rate, by flag.
        Child<QTabWidget>("HistoryChartTabs")->setCurrentIndex(1);
        const CHistoryRateChart* rates = View()->RateChart();
        QCOMPARE(rates->NoRateCells(), QList<int>{4});
        QCOMPARE(rates->Rates(CObjectHistory::BelowRequired).size(), 1);
        QCOMPARE(rates->Rates(CObjectHistory::BelowRequired).first().x(), 2.0);
        QCOMPARE(rates->Rates(CObjectHistory::Due).size(), 1);
        QCOMPARE(rates->Rates(CObjectHistory::Due).first().x(), 5.0);
        QCOMPARE(rates->Rates(CObjectHistory::NoFlag).size(), 3);
        for (const QPointF& p : rates->Rates(CObjectHistory::NoFlag))
        {
            const auto& l = history->Locations().at(history->LocationIndex(int(p.x())));
            QCOMPARE(p.y(), l.governingMm);
        }
        // A click on a bar chooses its location.
        emit View()->RateChart()->CellClicked(2);
        QCOMPARE(View()->TrendChart()->Cell(), 2);
    }

    void exports_data()
    {
        ViewExport::AddRows(
            {"HistoryExportCsvButton", "HistoryExportPngButton", "HistoryExportPdfButton"},
            {"Таблица истории объекта сохранена в CSV.", "График сохранён в PNG.",
             "Отчёт об истории объекта сохранён в PDF."},
            {"ОШИБКА: не удалось создать CSV-файл таблицы истории.",
             "ОШИБКА: не удалось сохранить график в PNG.",
             "ОШИБКА: не удалось сохранить отчёт в PDF."});
    }

    void exports()
    {
        QFETCH(QString, button);
        QFETCH(QString, suffix);
        QFETCH(bool, ok);
        QFETCH(QString, text);

        QVERIFY(Prepare(QStringLiteral("sqlite")));
        Open();
        SetText("HistoryRequiredEdit", QStringLiteral("8"));
        QVERIFY(View()->SelectLocation(View()->History()->LocationIndex(5)));
        m_prompts.Clear();
        QByteArray bytes;
        ViewExport::Export(m_prompts, Child<QPushButton>(qPrintable(button)),
                           m_env->Root() + QStringLiteral("/history.") + suffix, ok, text,
                           W().DocumentsDir(), &bytes);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(
            m_prompts.records.first().dir.endsWith(QStringLiteral(" Труба-A 2025-01-01.") + suffix),
            qPrintable(m_prompts.records.first().dir));
        if (!ok)
            return;
        if (suffix == QLatin1String("csv"))
        {
            const QStringList lines = ViewExport::CsvLines(bytes);
            // The table, an empty line, the summary: as the command line writes it.
            QVERIFY(lines.at(0).startsWith(QStringLiteral("Ячейка;Обследований;")));
            QVERIFY2(lines.contains(QStringLiteral("=\"Ниже допустимой толщины: 1 из 6\";")),
                     qPrintable(lines.join('\n')));
            QVERIFY2(lines.at(2).startsWith(QStringLiteral("=\"2\";=\"3\";")),
                     qPrintable(lines.at(2)));
        }
        else if (suffix == QLatin1String("png"))
            QCOMPARE(QImage::fromData(bytes, "PNG").size(), CHistoryChart::ExportSize());
        else
            QVERIFY(ViewExport::IsPdf(bytes));
    }

    void exportWithoutObject()
    {
        m_settings->setValue(QStringLiteral("Archive/Location"),
                             m_dir.filePath(QStringLiteral("empty.sqlite")));
        W().ui()->mainTabWidget->setCurrentIndex(2);
        Tab()->SetMode(CAnalysisView::HistoryMode);
        QCOMPARE(View()->StatusText(),
                 QStringLiteral("В архиве нет объектов: заархивируйте загруженные данные (Архив "
                                "→ Архивировать загруженные данные)."));
        QVERIFY(!Child<QComboBox>("ObjectCombo")->isEnabled());
        View()->OnExportPdf();
        QCOMPARE(m_prompts.Messages(), QStringList{QStringLiteral("Выберите объект архива.")});
    }

    void archiveUnavailable()
    {
        // A folder where the archive file should be.
        const QString location = m_dir.filePath(QStringLiteral("folder.sqlite"));
        QVERIFY(QDir().mkpath(location));
        m_settings->setValue(QStringLiteral("Archive/Location"), location);
        W().ui()->mainTabWidget->setCurrentIndex(2);
        Tab()->SetMode(CAnalysisView::HistoryMode);
        CSurveyArchive probe;
        QVERIFY(!probe.Open(location));
        QCOMPARE(View()->StatusText(), probe.ErrorText());
        QVERIFY(!View()->History());
        QCOMPARE(View()->Model()->rowCount(), 0);
        QVERIFY(m_prompts.records.isEmpty());
    }

    // The report: the object, its surveys, the settings and summary, the
    // table with its header on every page, the governing location's chart.
    void pdfReport()
    {
        KV_REQUIRE_PDFTOTEXT();
        // Seventy more locations, enough for the table to run over pages.
        QStringList a, b;
        for (int i = 0; i < 70; ++i)
        {
            a << QStringLiteral("12.00");
            b << QStringLiteral("11.80");
        }
        QVERIFY(Prepare(QStringLiteral("sqlite"),
                        {File(QStringLiteral("Котёл"), a, QDate(2021, 9, 1)),
                         File(QStringLiteral("Котёл"), b, QDate(2024, 9, 1))}));
        {
            CSurveyArchive archive;
            QVERIFY(archive.Open(m_location));
            CObjectHistory::Settings settings;
            settings.requiredMm = 11.0;
            QString error;
            QVERIFY(
                CObjectHistory::StoreSettings(archive, QStringLiteral("Котёл"), settings, &error));
        }
        Open(QStringLiteral("Котёл"));
        const QString path = m_env->Root() + QStringLiteral("/report.pdf");
        m_prompts.fileNames.enqueue(path);
        Child<QPushButton>("HistoryExportPdfButton")->click();
        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral("Отчёт об истории объекта сохранён в PDF.")});
        Keep(path, QStringLiteral("history-report-test.pdf"));

        const QString text = PdfToText(path);
        QVERIFY(!text.isNull());
        const QStringList pages = text.split(QLatin1Char('\f'));
        QVERIFY2(pages.size() >= 4, qPrintable(QString::number(pages.size())));
        const CObjectHistory* history = View()->History();
        const QString first = pages.at(0);
        QVERIFY(first.contains(QStringLiteral("История объекта: Котёл")));
        QVERIFY(first.contains(QStringLiteral("1. Котёл — 01.09.2021, ячеек: 70")));
        QVERIFY(first.contains(QStringLiteral("2. Котёл — 01.09.2024, ячеек: 70")));
        for (const QString& line : history->SummaryLines().mid(1))
            QVERIFY2(first.contains(line), qPrintable(line));
        QVERIFY(first.contains(QStringLiteral("Страница 1 из %1").arg(pages.size() - 1)));
        // Every later page of the table starts with its header.
        int tablePages = 0;
        for (int p = 1; p + 1 < pages.size(); ++p)
            if (pages.at(p).contains(QStringLiteral("Ячейка")))
            {
                ++tablePages;
                QVERIFY2(pages.at(p).trimmed().startsWith(QStringLiteral("Ячейка")),
                         qPrintable(pages.at(p).left(200)));
            }
        QVERIFY(tablePages >= 1);
        // The governing location's chart after the table.
        const int governing = history->GetSummary().governingLocation;
        QVERIFY(governing >= 0);
        const QString chartTitle =
            QStringLiteral("Котёл: ячейка %1").arg(history->Locations().at(governing).cell);
        QVERIFY(pages.at(pages.size() - 2).contains(chartTitle));
        QVERIFY(!first.contains(chartTitle));
    }

    // What the command line calls: the same files without a window.
    void staticWriters()
    {
        QVERIFY(Prepare(QStringLiteral("sqlite")));
        CSurveyArchive archive;
        QVERIFY(archive.Open(m_location));
        CObjectHistory* loaded = nullptr;
        QString error;
        QVERIFY(CObjectHistory::Load(archive, kPipe, &loaded, &error));
        std::unique_ptr<CObjectHistory> history(loaded);
        const QString png = m_env->Root() + QStringLiteral("/static.png");
        QVERIFY(CHistoryChart::SavePng(*history, 0, png, &error));
        QCOMPARE(QImage(png).size(), CHistoryChart::ExportSize());
        QVERIFY(!CHistoryChart::SavePng(*history, 99, png, &error));
        QCOMPARE(error, QStringLiteral("У объекта «Труба-A» нет такого места."));
        const QString pdf = m_env->Root() + QStringLiteral("/static.pdf");
        QVERIFY(CHistoryDocument::WritePdf(*history, pdf, &error));
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly) && f.read(4) == "%PDF");
        QVERIFY(!CHistoryDocument::WritePdf(*history, m_env->Root() + QStringLiteral("/no/x.pdf"),
                                            &error));
        QVERIFY(error.contains(QStringLiteral("/no/x.pdf")));
    }
};

QTEST_MAIN(TestHistoryView)
#include "tst_history_view.moc"
