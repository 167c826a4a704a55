#include "app/CKorvalent.h"
#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CClock.h"
#include "core/CUserPrompts.h"
#include "data/CDataStorage.h"
#include "report/CReportPreviewWindow.h"
#include "report/CReportPrinter.h"
#include "report/CReportTextDocument.h"
#include "tests/common/ModelTexts.h"
#include "tests/common/TestSupport.h"
#include "tests/data/DataTestSupport.h"
#include "tests/report/ReportTestSupport.h"
#include "ui_CKorvalent.h"
#include "ui_CReportPreviewWindow.h"

#include <QLabel>
#include <QPrinter>
#include <QSettings>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

using namespace DataTest;
using namespace ReportTest;

namespace
{
const QString kNoFile =
    QStringLiteral("ОШИБКА: Не удаётся обновить данные.\n\nНеобходимо загрузить файл данных.");
const QString kNoValid =
    QStringLiteral("Не достаточно данных для вычисления статистическийх значений.");
const QString kSomeMissing =
    QStringLiteral("Не достаточно данных для вычисления некоторых статистическийх значений.");

using ModelTexts::Column;
using ModelTexts::Row;
} // namespace

// The report pages of the main window driven through their slots.
class TestReportWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<QSettings> m_settings;
    CScriptedPrompts m_prompts;
    std::unique_ptr<CKorvalent> m_window;

    CKorvalent& W() { return *m_window; }
    CKorvalentUi* Ui() { return m_window->ui(); }
    QString Dir() const { return m_env->Root(); }
    QString Path(const QString& name) const { return Dir() + QLatin1Char('/') + name; }

    // The texts of the message boxes, each checked for title and parent.
    QStringList Messages(CUserPrompts::Icon icon)
    {
        QStringList texts;
        for (const CScriptedPrompts::Record& r : m_prompts.records)
            if (r.kind == QLatin1String("message"))
                texts << ((r.icon == icon && r.title == QLatin1String("Korvalent") &&
                           r.parent == &W())
                              ? r.text
                              : QStringLiteral("<wrong icon, title or parent: %1>").arg(r.text));
        return texts;
    }

    void LoadDatabase(const DataFileList& files)
    {
        const QString path = Path(QStringLiteral("db.kdb"));
        QVERIFY(CDataStorage::SaveDatabaseFile(path, files));
        m_prompts.fileNames.enqueue(path);
        W().OnResultsLoadDatabaseFromFile();
        m_prompts.Clear();
    }

    void SelectFile(int row)
    {
        Ui()->ResultFilesTable->setCurrentIndex(W().FilesModel()->index(row, 0));
        m_prompts.Clear();
    }

    static DataFileList Sample()
    {
        return {File(QStringLiteral("Труба-1"), {MmCell(5.2), MmCell(0.3), MmCell(12.25)}),
                File(QStringLiteral("LOS"), {MmCell(0.3), Cell(0, 700, 0)}),
                File(QStringLiteral("Single"), {MmCell(0.39), MmCell(5.0), Cell(0, 700, 0)}),
                File(QStringLiteral("Empty"), {})};
    }

private Q_SLOTS:
    void initTestCase() { BeginWindowTests(&m_env, &m_settings, &m_prompts); }

    void init()
    {
        m_settings->clear();
        m_settings->beginGroup(QStringLiteral("Device"));
        m_settings->setValue(QStringLiteral("Name"), QStringLiteral("QM-3RX"));
        m_settings->setValue(QStringLiteral("SerialNumber"), QStringLiteral("20190042"));
        m_settings->endGroup();
        CClock::Pin(QDateTime(QDate(2026, 3, 5), QTime(10, 0)));
        m_window = std::make_unique<CKorvalent>();
        g_App.pMainWindow = m_window.get();
        W().SetDocumentsDir(Dir());
        m_prompts.Clear();
        m_prompts.fileNames.clear();
    }

    void cleanup()
    {
        CReportPrinter::SetDialog({});
        CClock::Unpin();
        g_App.pMainWindow = nullptr;
        m_window.reset();
    }

    void cleanupTestCase() { EndWindowTests(); }

    void resultsFill_data()
    {
        QTest::addColumn<int>("file");
        QTest::addColumn<QStringList>("statistics");
        QTest::addColumn<QStringList>("warnings");
        const QString nd = QStringLiteral("н/д");
        QTest::newRow("three values")
            << 0 << QStringList{"3",    "2",    "1",     "5.20",  "12.25", "8.73",
                                "8.73", "7.05", "4.985", "3.525", "12.426"}
            << QStringList{};
        QTest::newRow("all LOS") << 1 << QStringList{"2", "0", "2", nd, nd, nd, nd, nd, nd, nd, nd}
                                 << QStringList{kNoValid};
        QTest::newRow("one valid")
            << 2 << QStringList{"3", "1", "2", "5.00", "5.00", "5.00", nd, "0.00", nd, nd, nd}
            << QStringList{kSomeMissing};
        QTest::newRow("no cells") << 3 << QStringList{"0", "0", "0", nd, nd, nd, nd, nd, nd, nd, nd}
                                  << QStringList{kNoValid};
    }
    void resultsFill()
    {
        QFETCH(int, file);
        QFETCH(QStringList, statistics);
        QFETCH(QStringList, warnings);
        LoadDatabase(Sample());
        // A full computation first: rows a later one does not reach must not
        // keep its figures.
        W().OnReportResultsRefresh();
        SelectFile(file);
        W().OnReportResultsRefresh();
        QCOMPARE(Messages(CUserPrompts::IconWarning), warnings);
        QCOMPARE(Column(W().ReportStatsModel(), 2), statistics);
        QCOMPARE(W().ReportResultsModel()->rowCount(), W().ResultsModel()->rowCount());
        if (file == 0)
        {
            QCOMPARE(Row(W().ReportResultsModel(), 1),
                     (QStringList{"Труба-1", "2", "0.30", "мм", "Н/Д", "5920 м/c", "Н/Д", "21 C°",
                                  "14:05", "15.04.2029"}));
            QCOMPARE(W().ReportResultsModel()->item(2, 9)->textAlignment(),
                     Qt::AlignHCenter | Qt::AlignVCenter);
        }
    }

    void resultsFillNeedsAFile()
    {
        W().OnReportResultsRefresh();
        QCOMPARE(Messages(CUserPrompts::IconCritical), QStringList{kNoFile});
        QCOMPARE(W().ReportResultsModel()->rowCount(), 0);
        // The page change alone, without a message.
        m_prompts.Clear();
        W().OnReportShowResultsTab();
        QVERIFY(m_prompts.records.isEmpty());
        QCOMPARE(Ui()->reportTabWidget->currentIndex(), 1);
    }

    void saveThenLoad()
    {
        LoadDatabase(Sample());
        W().OnReportResultsRefresh();
        Ui()->ConclutionNumberEdit->setText(QStringLiteral("17/2026"));
        Ui()->ConclutionDate->setDate(QDate(2026, 3, 4));
        Ui()->OrganizationEdit->setPlainText(QStringLiteral("ООО «Вектор»"));
        Ui()->AreaManagerNameEdit->setText(QStringLiteral("Иванов И.И."));
        Ui()->ExecutionPersonAccessCardDateEdit->setDate(QDate(2025, 2, 1));
        Ui()->ConclutionProviderLevelEdit->setText(QStringLiteral("3"));
        Ui()->PEPSerialNumberEdit->setText(QStringLiteral("777"));

        const QString path = Path(QStringLiteral("r.krf"));
        m_prompts.fileNames.enqueue(path);
        W().OnReportSaveToFile();
        const CScriptedPrompts::Record dialog = m_prompts.records.first();
        QCOMPARE(dialog.kind, QStringLiteral("save"));
        QCOMPARE(dialog.title, QStringLiteral("Сохранить файл-отчёт"));
        QCOMPARE(dialog.dir, Dir() + QStringLiteral("/Заключение от 05.03.2026.krf"));
        QCOMPARE(dialog.filter, QStringLiteral("Файл-отчёт Korvalent (*.krf)"));
        QCOMPARE(Messages(CUserPrompts::IconInformation),
                 QStringList{QStringLiteral("Файл-отчёт успешно сохранён.")});
        QCOMPARE(ReadFile(path).count("<PEP_SERIAL_NUMBER>777</PEP_SERIAL_NUMBER>"), 2);

        // Everything changed, then loaded back.
        W().OnReportClearInfoFields();
        W().OnReportClearConclutionFields();
        Ui()->ConclutionDate->setDate(QDate(2030, 1, 1));
        Ui()->ExecutionPersonAccessCardDateEdit->setDate(QDate(2030, 1, 1));
        SelectFile(1);
        W().OnReportResultsRefresh();
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(path);
        W().OnReportLoadFromFile();
        QCOMPARE(m_prompts.records.first().title, QStringLiteral("Открыть файл-отчёт"));
        QCOMPARE(m_prompts.records.first().dir, Dir() + QLatin1Char('/'));
        QCOMPARE(Messages(CUserPrompts::IconInformation),
                 QStringList{QStringLiteral("Файл-отчёт успешно загружен.")});
        QCOMPARE(Ui()->ConclutionNumberEdit->text(), QStringLiteral("17/2026"));
        QCOMPARE(Ui()->ConclutionDate->date(), QDate(2026, 3, 4));
        QCOMPARE(Ui()->OrganizationEdit->toPlainText(), QStringLiteral("ООО «Вектор»"));
        QCOMPARE(Ui()->AreaManagerNameEdit->text(), QStringLiteral("Иванов И.И."));
        QCOMPARE(Ui()->ExecutionPersonAccessCardDateEdit->date(), QDate(2025, 2, 1));
        QCOMPARE(Ui()->ConclutionProviderLevelEdit->text(), QStringLiteral("3"));
        QCOMPARE(Ui()->PEPSerialNumberEdit->text(), QStringLiteral("777"));
        QCOMPARE(Ui()->ObjectOwnerEdit->text(), QStringLiteral("название организации"));
        QCOMPARE(Column(W().ReportResultsModel(), 2), (QStringList{"5.20", "0.30", "12.25"}));
        QCOMPARE(Column(W().ReportStatsModel(), 2).at(10), QStringLiteral("12.426"));
        // Loading changes neither the page nor the document.
        QCOMPARE(Ui()->reportTabWidget->currentIndex(), 0);
        QVERIFY(W().ReportDocument().isEmpty());
    }

    void loadedRowSplitAtSemicolonWidensTheTableUntilTheNextFill()
    {
        const QString path = Path(QStringLiteral("wide.krf"));
        QVERIFY(WriteFile(path, "<!DOCTYPE KorvalentReport>\n<KorvalentReport>\n <RESULTS_TABLE>\n"
                                "  <ROW1>a;1;2;3;Сталь;20;5;6;7;8;9</ROW1>\n </RESULTS_TABLE>\n"
                                "</KorvalentReport>\n"));
        m_prompts.fileNames.enqueue(path);
        W().OnReportLoadFromFile();
        QCOMPARE(W().ReportResultsModel()->columnCount(), 11);
        QCOMPARE(Row(W().ReportResultsModel(), 0).at(5), QStringLiteral("20"));
        QCOMPARE(Column(W().ReportStatsModel(), 2), QStringList(11, QString()));
        LoadDatabase(Sample());
        W().OnReportResultsRefresh();
        QCOMPARE(W().ReportResultsModel()->columnCount(), 10);
        QCOMPARE(W().ReportResultsModel()->headerData(9, Qt::Horizontal).toString(),
                 QStringLiteral("Дата"));
    }

    void loadFailures_data()
    {
        QTest::addColumn<QByteArray>("content"); // "-" for no file
        QTest::addColumn<QString>("message");
        const QString path = QStringLiteral("%1");
        QTest::newRow("missing") << QByteArray("-")
                                 << QStringLiteral("Не удалось открыть для чтения файл-отчёт: %1");
        // A pipe would block the read for ever, a huge file would take the
        // memory: both refused unread, the reason named.
        QTest::newRow("pipe") << QByteArray("fifo")
                              << QStringLiteral(
                                     "Не возможно обработать файл-отчёт: '%1'\n\nОШИБКА: "
                                     "это не обычный файл ");
        QTest::newRow("over 64 MB") << QByteArray("big")
                                    << QStringLiteral("Не возможно обработать файл-отчёт: "
                                                      "'%1'\n\nОШИБКА: файл больше допустимого "
                                                      "размера 64 МБ ");
        QTest::newRow("wrong root")
            << QByteArray("<!DOCTYPE KorvalentDataFile>\n<KorvalentDataFile/>\n")
            << QStringLiteral("Не возможно обработать файл-отчёт: '%1'\n\nЗагружаемый файл не "
                              "является корректным файлом.");
        QTest::newRow("not XML") << QByteArray("<KorvalentReport><A></KorvalentReport>")
                                 << QStringLiteral("Не возможно обработать файл-отчёт: "
                                                   "'%1'\n\nОШИБКА: ");
    }
    void loadFailures()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString path = Path(QStringLiteral("bad.krf"));
        QFile::remove(path);
        if (content == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (content == "big")
        {
            QFile big(path); // sparse: nothing is written
            QVERIFY(big.open(QIODevice::WriteOnly));
            QVERIFY(big.resize(64LL * 1024 * 1024 + 1));
        }
        else if (content != "-")
            QVERIFY(WriteFile(path, content));
        Ui()->ConclutionNumberEdit->setText(QStringLiteral("kept"));
        m_prompts.fileNames.enqueue(path);
        W().OnReportLoadFromFile();
        const QStringList shown = Messages(CUserPrompts::IconCritical);
        QCOMPARE(shown.size(), 1);
        if (QByteArray(QTest::currentDataTag()) == "not XML")
        {
            QVERIFY(shown.first().startsWith(message.arg(path)));
            QVERIFY(shown.first().endsWith(QLatin1Char(' ')));
            QVERIFY(shown.first().size() > message.arg(path).size() + 1);
        }
        else
            QCOMPARE(shown.first(), message.arg(path));
        QCOMPARE(Ui()->ConclutionNumberEdit->text(), QStringLiteral("kept"));
    }

    void saveFailures()
    {
        const QString folder = Path(QStringLiteral("folder.krf"));
        QVERIFY(QDir().mkpath(folder));
        m_prompts.fileNames.enqueue(folder);
        W().OnReportSaveToFile();
        QCOMPARE(Messages(CUserPrompts::IconCritical),
                 QStringList{QStringLiteral("ОШИБКА: не удалось создать файл-отчёт.")});
        QVERIFY(QFileInfo(folder).isDir());
        // Cancelling is silent.
        m_prompts.Clear();
        W().OnReportSaveToFile();
        QCOMPARE(m_prompts.Messages(), QStringList{});
    }

    void pageSwitches_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("refreshVisible");
        QTest::newRow("results") << 1 << true;
        QTest::newRow("conclusion") << 2 << false;
        QTest::newRow("preview") << 3 << true;
    }
    void pageSwitches()
    {
        QFETCH(int, page);
        QFETCH(bool, refreshVisible);
        W().show();
        Ui()->mainTabWidget->setCurrentIndex(1);
        Ui()->DeviceDescriptionEdit->setText(QStringLiteral("loaded"));
        Ui()->PEPDescriptionEdit->setText(QStringLiteral("loaded"));
        Ui()->reportTabWidget->setCurrentIndex(page);
        QCOMPARE(Ui()->toolbutton_report_refresh->isVisible(), refreshVisible);
        QCOMPARE(Ui()->DeviceDescriptionEdit->text(), QStringLiteral("QM-3RX"));
        QCOMPARE(Ui()->DeviceSerialNumberEdit->text(), QStringLiteral("20190042"));
        QCOMPARE(Ui()->PEPDescriptionEdit->text(), QStringLiteral("Н/Д"));
        QVERIFY(m_prompts.records.isEmpty());

        // With a data file the transducer of its first cell.
        LoadDatabase(Sample());
        Ui()->reportTabWidget->setCurrentIndex(0);
        QCOMPARE(Ui()->PEPDescriptionEdit->text(), QStringLiteral("P112"));
        QCOMPARE(Ui()->PEPSerialNumberEdit->text(), QStringLiteral("123456"));
        QVERIFY(Ui()->toolbutton_report_refresh->isVisible());
    }

    void refreshOfHeaderPageReportsMissingFile()
    {
        Ui()->PEPSerialNumberEdit->setText(QStringLiteral("1"));
        W().OnReportRefresh();
        QCOMPARE(Messages(CUserPrompts::IconCritical), QStringList{kNoFile});
        QCOMPARE(Ui()->PEPSerialNumberEdit->text(), QStringLiteral("Н/Д"));
    }

    void previewPageShowsTheFieldsBeforeTheRefresh()
    {
        QVERIFY(Ui()->ReportBrowser->toPlainText().contains(
            QStringLiteral("Нажмите \"Обновить\" для получения содержимого документа.")));
        Ui()->DeviceDescriptionEdit->setText(QStringLiteral("Старый"));
        W().OnReportShowPreviewTab();
        QCOMPARE(Ui()->reportTabWidget->currentIndex(), 3);
        QVERIFY(Ui()->ReportBrowser->toPlainText().contains(QStringLiteral("Старый")));
        QCOMPARE(Ui()->DeviceDescriptionEdit->text(), QStringLiteral("QM-3RX"));
        // The refresh tool button brings the current fields in.
        W().OnReportRefresh();
        QVERIFY(Ui()->ReportBrowser->toPlainText().contains(QStringLiteral("QM-3RX")));
        QCOMPARE(W().ReportDocument().count(QStringLiteral(">05.03.2026</span>")), 3);
    }

    void clearActions()
    {
        Ui()->ConclutionDate->setDate(QDate(2026, 1, 2));
        W().OnReportClearInfoFields();
        for (QLineEdit* edit :
             {Ui()->ConclutionNumberEdit, Ui()->ObjectOfControlEdit, Ui()->DeviceDescriptionEdit,
              Ui()->PEPSerialNumberEdit, Ui()->AccessCardEdit})
            QCOMPARE(edit->text(), QString());
        QCOMPARE(Ui()->OrganizationEdit->toPlainText(), QString());
        QCOMPARE(Ui()->ConclutionDate->date(), QDate(2026, 1, 2));
        QCOMPARE(Ui()->ConclutionEdit->toPlainText(), QString());

        Ui()->ConclutionEdit->setPlainText(QStringLiteral("годен"));
        Ui()->ManagerAccessCardNumberEdit->setText(QStringLiteral("12"));
        Ui()->ManagerAccessCardDateEdit->setDate(QDate(2024, 5, 6));
        W().OnReportClearConclutionFields();
        QCOMPARE(Ui()->ConclutionEdit->toPlainText(), QString());
        QCOMPARE(Ui()->ManagerAccessCardNumberEdit->text(), QString());
        QCOMPARE(Ui()->ManagerAccessCardDateEdit->date(), QDate(2024, 5, 6));
        QCOMPARE(Ui()->ConclutionDate->date(), QDate(2026, 1, 2));
    }

    void previewWindow()
    {
        CReportPreviewWindow* preview = W().ReportPreview();
        QVERIFY(preview && preview->isHidden());
        QCOMPARE(preview->windowTitle(),
                 QStringLiteral("Предварительный просмотр составленного отчёта"));
        QCOMPARE(preview->minimumSize(), QSize(860, 768));
        QCOMPARE(preview->maximumSize(), QSize(860, 1024));
        QCOMPARE(preview->windowModality(), Qt::ApplicationModal);
        QCOMPARE(preview->ui()->RefreshButton->text(), QStringLiteral("Обновить"));
        QCOMPARE(preview->ui()->PrintButton->geometry(), QRect(150, 5, 131, 36));

        Ui()->OrganizationEdit->setPlainText(QStringLiteral("ООО <b>Вектор</b>"));
        W().OnReportDocumentPreview();
        QVERIFY(preview->isVisible());
        QVERIFY(preview->HtmlFrame()->toPlainText().contains(QStringLiteral("ООО <b>Вектор</b>")));
        preview->resize(900, 900);
        QTRY_COMPARE(preview->size(), QSize(860, 900));
        QCOMPARE(preview->HtmlFrame()->geometry(),
                 QRect(5, 45, 850, 900 - preview->statusBar()->height() - 50));

        // Its "Обновить" regenerates with the fields as they are now.
        Ui()->OrganizationEdit->setPlainText(QStringLiteral("АО Новое"));
        preview->ui()->RefreshButton->click();
        QVERIFY(preview->HtmlFrame()->toPlainText().contains(QStringLiteral("АО Новое")));
        preview->close();
        QVERIFY(preview->isHidden());
    }

    void printingPrintsWhatThePreviewPageHolds()
    {
        const QString path = Path(QStringLiteral("printed.pdf"));
        QFile::remove(path);
        bool asked = false;
        CReportPrinter::SetDialog(
            [&](QPrinter& printer, QWidget* parent)
            {
                asked = parent == &W();
                printer.setOutputFileName(path);
                return true;
            });
        W().OnReportDocumentPrint();
        QVERIFY(asked);
        KV_REQUIRE_PDFTOTEXT();
        QVERIFY(PdfToText(path).contains(QStringLiteral("Обновить")));

        // An edit after the preview page was shown is not printed.
        Ui()->ConclutionNumberEdit->setText(QStringLiteral("N-1"));
        W().OnReportShowPreviewTab();
        Ui()->ConclutionNumberEdit->setText(QStringLiteral("N-2"));
        W().OnReportDocumentPrint();
        const QString text = PdfToText(path);
        QVERIFY(text.contains(QStringLiteral("N-1")));
        QVERIFY(!text.contains(QStringLiteral("N-2")));

        // A cancelled dialog prints nothing.
        QFile::remove(path);
        CReportPrinter::SetDialog(
            [&](QPrinter& printer, QWidget*)
            {
                printer.setOutputFileName(path);
                return false;
            });
        W().OnReportDocumentPrint();
        QVERIFY(!QFile::exists(path));
    }

    void pdfAction()
    {
        Ui()->ConclutionNumberEdit->setText(QStringLiteral("PDF-5"));
        const QString path = Path(QStringLiteral("report.pdf"));
        m_prompts.fileNames.enqueue(path);
        Ui()->action_report_save_pdf->trigger();
        QCOMPARE(m_prompts.records.first().dir,
                 Dir() + QStringLiteral("/Заключение от 05.03.2026.pdf"));
        QCOMPARE(Messages(CUserPrompts::IconInformation),
                 QStringList{QStringLiteral("Отчёт успешно сохранён в PDF.")});
        QVERIFY(ReadFile(path).startsWith("%PDF-"));
        if (!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QVERIFY(PdfToText(path).contains(QStringLiteral("Заключение № PDF-5 от 05.03.2026")));

        m_prompts.Clear();
        m_prompts.fileNames.enqueue(Dir());
        Ui()->toolbutton_report_save_pdf->click();
        QCOMPARE(Messages(CUserPrompts::IconCritical),
                 QStringList{QStringLiteral("ОШИБКА: не удалось создать PDF-файл отчёта.")});
    }

    // An untouched form dates its conclusion today; the card dates keep
    // their start.
    void conclusionDateStartsToday()
    {
        QCOMPARE(Ui()->ConclutionDate->date(), QDate(2026, 3, 5));
        QCOMPARE(Ui()->ManagerAccessCardDateEdit->date(), QDate(2016, 1, 1));
    }

    // Texts reach the preview as typed, line breaks as line breaks.
    void previewShowsTextsAsTyped()
    {
        // Both views hold documents that load nothing from outside.
        QVERIFY(qobject_cast<CReportTextDocument*>(Ui()->ReportBrowser->document()));
        QVERIFY(qobject_cast<CReportTextDocument*>(W().ReportPreview()->HtmlFrame()->document()));
        Ui()->OrganizationEdit->setPlainText(QStringLiteral("ООО «Т<8>» & \"К\"\n#NAME1"));
        Ui()->ConclutionEdit->setPlainText(QStringLiteral("Годен.\nРемонт не нужен."));
        Ui()->ObjectOfControlEdit->setText(QStringLiteral("<img src=\"/dev/zero\">"));
        Ui()->AreaManagerNameEdit->setText(QStringLiteral("Иванов И.И."));
        W().OnReportDocumentPreview();
        const QString text = W().ReportPreview()->HtmlFrame()->toPlainText().replace(
            QChar::LineSeparator, QLatin1Char('\n'));
        for (const char* typed :
             {"ООО «Т<8>» & \"К\"\n#NAME1", "Годен.\nРемонт не нужен.", "<img src=\"/dev/zero\">"})
            QVERIFY2(text.contains(QString::fromUtf8(typed)), typed);
        QCOMPARE(text.count(QStringLiteral("Иванов И.И.")), 1);
        W().ReportPreview()->close();
    }

    // The results page names its data file; a document made while another
    // file is selected is asked about first.
    void resultsOfAnotherFile_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("firstCell"); // of the results after the action
        const int fill = CUserPrompts::Yes;
        const int keep = CUserPrompts::No;
        const int closed = CUserPrompts::Cancel;
        QTest::newRow("preview, fill") << "preview" << fill << "Single";
        QTest::newRow("preview, keep") << "preview" << keep << "Труба-1";
        QTest::newRow("preview, box closed") << "preview" << closed << "Труба-1";
        QTest::newRow("preview page, fill") << "page" << fill << "Single";
        QTest::newRow("pdf, fill") << "pdf" << fill << "Single";
        QTest::newRow("pdf, keep") << "pdf" << keep << "Труба-1";
        QTest::newRow("print, fill") << "print" << fill << "Single";
        QTest::newRow("print, keep") << "print" << keep << "Труба-1";
    }
    void resultsOfAnotherFile()
    {
        QFETCH(QString, action);
        QFETCH(int, answer);
        QFETCH(QString, firstCell);
        auto* label = Ui()->tab_3->findChild<QLabel*>(QStringLiteral("ReportResultsSourceLabel"));
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("Результаты не заполнены."));
        LoadDatabase(Sample());
        W().OnReportResultsRefresh();
        QCOMPARE(label->text(), QStringLiteral("Файл данных результатов: Труба-1"));
        W().OnReportShowPreviewTab(); // the same file: no question
        const QString pdf = Path(QStringLiteral("other.pdf"));
        CReportPrinter::SetDialog(
            [&](QPrinter& printer, QWidget*)
            {
                printer.setOutputFileName(pdf);
                return true;
            });
        SelectFile(2);

        auto act = [&]
        {
            if (action == QLatin1String("preview"))
                W().OnReportDocumentPreview();
            else if (action == QLatin1String("page"))
                W().OnReportShowPreviewTab();
            else if (action == QLatin1String("pdf"))
            {
                m_prompts.fileNames.enqueue(pdf);
                Ui()->action_report_save_pdf->trigger();
            }
            else
                W().OnReportDocumentPrint();
        };
        m_prompts.answers.enqueue(CUserPrompts::Button(answer));
        act();
        // (the PDF's file name is asked for first)
        const CScriptedPrompts::Record question = m_prompts.records.value(action == "pdf");
        QCOMPARE(question.kind, QStringLiteral("ask"));
        QCOMPARE(question.icon, CUserPrompts::IconQuestion);
        QCOMPARE(question.title, QStringLiteral("Korvalent"));
        QCOMPARE(question.parent, &W());
        QCOMPARE(question.text,
                 QStringLiteral("Результаты отчёта получены из файла данных 'Труба-1', а данные "
                                "ПЭП в заголовке - из выбранного файла данных 'Single'.\n\n"
                                "Заполнить результаты из файла данных 'Single'?"));
        QCOMPARE(question.buttons, int(CUserPrompts::Yes | CUserPrompts::No));
        QCOMPARE(question.labels.value(CUserPrompts::Yes), QStringLiteral("Заполнить"));
        QCOMPARE(question.labels.value(CUserPrompts::No), QStringLiteral("Оставить"));
        QCOMPARE(question.defaultButton, CUserPrompts::Yes);

        QCOMPARE(W().ReportResultsModel()->item(0, 0)->text(), firstCell);
        QCOMPARE(label->text(), QStringLiteral("Файл данных результатов: ") + firstCell);
        // What was made holds the results chosen.
        const QString made = action == QLatin1String("preview")
                                 ? W().ReportPreview()->HtmlFrame()->toPlainText()
                             : action == QLatin1String("page") ? Ui()->ReportBrowser->toPlainText()
                                                               : PdfToText(pdf);
        // (a PDF is read only where pdftotext is installed)
        if (action != QLatin1String("pdf") ||
            !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QVERIFY(made.contains(firstCell));
        // Asked once: kept results are not asked about again for this file.
        m_prompts.Clear();
        act();
        QCOMPARE(m_prompts.Messages().filter(QStringLiteral("Заполнить")), QStringList{});
        for (const CScriptedPrompts::Record& r : std::as_const(m_prompts.records))
            QVERIFY(r.kind != QLatin1String("ask"));
        W().ReportPreview()->close();
    }

    // A report file's results name their data file in their first column; a
    // file of the same name with other readings is another file.
    void resultsOfALoadedReportOrAnotherDatabase()
    {
        LoadDatabase(Sample());
        W().OnReportResultsRefresh();
        const QString krf = Path(QStringLiteral("bound.krf"));
        m_prompts.fileNames.enqueue(krf);
        W().OnReportSaveToFile();
        SelectFile(1);
        m_prompts.fileNames.enqueue(krf);
        W().OnReportLoadFromFile();
        m_prompts.Clear();
        m_prompts.answers.enqueue(CUserPrompts::No);
        W().OnReportDocumentRefresh();
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.first().text,
                 QStringLiteral("Результаты отчёта получены из файла данных 'Труба-1', а данные "
                                "ПЭП в заголовке - из выбранного файла данных 'LOS'.\n\n"
                                "Заполнить результаты из файла данных 'LOS'?"));

        // Another database with a "Труба-1" of other readings.
        SelectFile(0);
        W().OnReportResultsRefresh();
        LoadDatabase({File(QStringLiteral("Труба-1"), {MmCell(7.5)})});
        m_prompts.answers.enqueue(CUserPrompts::Yes);
        W().OnReportDocumentRefresh();
        QCOMPARE(m_prompts.records.first().text,
                 QStringLiteral("Результаты отчёта получены из другого файла данных с тем же "
                                "именем 'Труба-1', а данные ПЭП в заголовке - из выбранного файла."
                                "\n\nЗаполнить результаты из выбранного файла данных 'Труба-1'?"));
        QCOMPARE(Column(W().ReportResultsModel(), 2), QStringList{"7.50"});
    }

    // A printed table longer than a page repeats its two header rows.
    void printedTableRepeatsItsHeader()
    {
        QList<CellRecord> cells;
        for (int i = 0; i < 150; ++i)
            cells.append(MmCell(i % 5 ? 5.2 : 0.0));
        LoadDatabase({File(QStringLiteral("Длинный"), cells)});
        W().OnReportResultsRefresh();
        W().OnReportShowPreviewTab();
        const QString path = Path(QStringLiteral("long.pdf"));
        CReportPrinter::SetDialog(
            [&](QPrinter& printer, QWidget*)
            {
                printer.setOutputFileName(path);
                return true;
            });
        W().OnReportDocumentPrint();
        KV_REQUIRE_PDFTOTEXT();
        const QStringList pages = PdfPages(path);
        QVERIFY(pages.size() >= 3);
        QVERIFY2(pages.at(1).simplified().startsWith(HeaderRowsText()),
                 qPrintable(pages.at(1).left(300)));
        // LOS readings say so on paper; the report's table keeps their texts.
        QVERIFY(pages.join(QString()).contains(QStringLiteral("LOS")));
        QCOMPARE(W().ReportResultsModel()->item(0, 2)->text(), QStringLiteral("0.00"));
    }

    // The command line makes the same document out of the same files.
    void commandLineMakesTheSameDocument()
    {
        CClock::Unpin();
        LoadDatabase(Sample());
        Ui()->ConclutionNumberEdit->setText(QStringLiteral("<b>42</b>"));
        Ui()->DeviceDescriptionEdit->setText(QStringLiteral("Сохранённый"));
        const QString krf = Path(QStringLiteral("same.krf"));
        m_prompts.fileNames.enqueue(krf);
        W().OnReportSaveToFile();
        SelectFile(2);
        W().OnReportResultsRefresh();
        W().OnReportDocumentRefresh();

        const QString html = Path(QStringLiteral("same.html"));
        const CProgramRun cli =
            RunProgram(QStringLiteral(KORVALENT_CLI_PATH),
                       {QStringLiteral("report"), krf, QStringLiteral("--data"),
                        Path(QStringLiteral("db.kdb")), QStringLiteral("--file"),
                        QStringLiteral("3"), QStringLiteral("--html"), html},
                       30000);
        QCOMPARE(cli.exitCode, 0);
        QCOMPARE(cli.err, kSomeMissing + QLatin1Char('\n'));
        QCOMPARE(cli.out, QString());
        QCOMPARE(QString::fromUtf8(ReadFile(html)), W().ReportDocument());
    }
};

QTEST_MAIN(TestReportWindow)
#include "tst_report_window.moc"
