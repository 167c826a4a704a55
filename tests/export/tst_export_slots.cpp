#include "app/CKorvalent.h"
#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CUserPrompts.h"
#include "export/CCsvWriter.h"
#include "export/CResultsExporter.h"
#include "tests/common/TestSupport.h"
#include "tests/data/DataTestSupport.h"
#include "tests/export/ExportTestSupport.h"
#include "ui_CKorvalent.h"

#include <QProgressBar>
#include <QSettings>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

namespace
{
const QString kCaption = QStringLiteral("Сохранить файл");
const QString kXlsOk = QStringLiteral("Файл с результатами в формате XLS успешно экспортирован.");
const QString kXlsFailed = QStringLiteral("Не удалось создать файл с результатами в формате XLS.");
const QString kCsvFailed = QStringLiteral("Не удалось создать файл с результатами в формате CSV.");
} // namespace

// The two export slots of the main window, driven through the prompts seam.
class TestExportSlots : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<QSettings> m_settings;
    CScriptedPrompts m_prompts;
    std::unique_ptr<CKorvalent> m_window;

    CKorvalent& W() { return *m_window; }
    QString Dir() const { return m_env->Root() + QStringLiteral("/docs"); }

    // The window showing a data file of n cells (none selected for n < 0).
    void ShowFile(int cells)
    {
        using namespace DataTest;
        QList<CellRecord> list;
        for (int i = 0; i < cells; ++i)
            list << MmCell(i % 3 == 0 ? 0.39 : 5.0 + i);
        W().DataFiles() = {File(QStringLiteral("Котёл-2"), list)};
        W().FilesTableUpdate();
        W().ui()->ResultFilesTable->setCurrentIndex(W().FilesModel()->index(0, 0));
        QCOMPARE(W().ResultsModel()->rowCount(), cells);
    }

    // The only message box: its icon, title, parent and text.
    QString OnlyMessage(CUserPrompts::Icon icon)
    {
        QStringList texts;
        for (const CScriptedPrompts::Record& r : m_prompts.records)
            if (r.kind == QLatin1String("message"))
            {
                if (r.icon != icon || r.title != QLatin1String("Korvalent") || r.parent != &W())
                    return QStringLiteral("<wrong icon, title or parent>");
                texts << r.text;
            }
        return texts.size() == 1 ? texts.first()
                                 : QStringLiteral("<%1 messages>").arg(texts.size());
    }

    const CScriptedPrompts::Record* SaveDialog() const
    {
        for (const CScriptedPrompts::Record& r : m_prompts.records)
            if (r.kind == QLatin1String("save"))
                return &r;
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        BeginWindowTests(&m_env, &m_settings, &m_prompts);
        QDir().mkpath(Dir());
    }

    void init()
    {
        m_window = std::make_unique<CKorvalent>();
        g_App.pMainWindow = m_window.get();
        W().SetDocumentsDir(Dir());
        m_prompts.Clear();
        m_prompts.fileNames.clear();
    }

    void cleanup()
    {
        g_App.pMainWindow = nullptr;
        m_window.reset();
    }

    void progressDialogForm()
    {
        CResultsExporter* exporter = W().ResultsExporter();
        QVERIFY(exporter);
        QVERIFY(!exporter->parent());
        QCOMPARE(exporter->objectName(), QStringLiteral("CExportProgressDialog"));
        QCOMPARE(exporter->minimumSize(), QSize(400, 40));
        QCOMPARE(exporter->maximumSize(), QSize(400, 40));
        QCOMPARE(exporter->windowTitle(), QStringLiteral("Экспорт..."));
        QVERIFY(!exporter->windowIcon().isNull());
        QProgressBar* bar = exporter->findChild<QProgressBar*>(QStringLiteral("exportProgress"));
        QCOMPARE(bar, exporter->ProgressBar());
        QCOMPARE(bar->geometry(), QRect(6, 8, 387, 23));
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 0);
        QVERIFY(!exporter->isVisible());
    }

    void csvSlot_data()
    {
        QTest::addColumn<QString>("name"); // "" = cancel; FIFO and missing folder fail
        QTest::addColumn<QString>("message");
        QTest::newRow("cancel") << ""
                                << "";
        QTest::newRow("written") << "out.csv"
                                 << "";
        QTest::newRow("folder missing") << "no/such/out.csv" << kCsvFailed;
        QTest::newRow("held by another program (FIFO)") << "fifo.csv" << kCsvFailed;
    }
    void csvSlot()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        ShowFile(4);
        const QString path = name.isEmpty() ? QString() : Dir() + QLatin1Char('/') + name;
        if (name.startsWith(QLatin1String("fifo")))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        m_prompts.fileNames.enqueue(path);
        const QStringList before = QDir(Dir()).entryList(QDir::AllEntries | QDir::Hidden);
        W().ExportResultsToCSV();

        const CScriptedPrompts::Record* dialog = SaveDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->parent, &W());
        QCOMPARE(dialog->title, kCaption);
        QCOMPARE(dialog->dir, Dir() + QStringLiteral("/Результаты.csv"));
        QCOMPARE(dialog->filter, QStringLiteral("Значения разделённые запятой (*.csv)"));
        if (message.isEmpty())
            QVERIFY(m_prompts.Messages().isEmpty());
        else
            QCOMPARE(OnlyMessage(CUserPrompts::IconWarning), message);
        if (name == QLatin1String("out.csv"))
            QCOMPARE(ReadFile(path), CCsvWriter::Bytes(*W().ResultsModel()));
        else
        {
            QCOMPARE(QDir(Dir()).entryList(QDir::AllEntries | QDir::Hidden), before);
            QVERIFY(!QFileInfo::exists(Dir() + QStringLiteral("/no")));
        }
        if (name.startsWith(QLatin1String("fifo")))
            QVERIFY(QFileInfo(path).isFile() == false && QFileInfo::exists(path));
    }

    void xlsSlot_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("cells");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("signature");
        const QByteArray ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
        QTest::newRow("cancel") << "" << 5 << "" << QByteArray();
        QTest::newRow("xls") << "Результаты.xls" << 5 << kXlsOk << ole;
        QTest::newRow("xlsx") << "out.xlsx" << 5 << kXlsOk << QByteArray("PK\x03\x04");
        QTest::newRow("other name: Excel 97-2003") << "out.dat" << 3 << kXlsOk << ole;
        QTest::newRow("no data file selected") << "empty.xls" << -1 << kXlsOk << ole;
        QTest::newRow("folder missing") << "no/such/out.xls" << 5 << kXlsFailed << QByteArray();
        QTest::newRow("a folder in the way") << "docs-folder" << 5 << kXlsFailed << QByteArray();
    }
    void xlsSlot()
    {
        QFETCH(QString, name);
        QFETCH(int, cells);
        QFETCH(QString, message);
        QFETCH(QByteArray, signature);
        if (cells >= 0)
            ShowFile(cells);
        const int rows = std::max(cells, 0);
        const QString path = name.isEmpty() ? QString() : Dir() + QLatin1Char('/') + name;
        if (name == QLatin1String("docs-folder"))
            QDir().mkpath(path);
        m_prompts.fileNames.enqueue(path);

        // The bar advances once per cell while the dialog is shown.
        CResultsExporter* exporter = W().ResultsExporter();
        QList<int> values;
        bool shownWhileFilling = true;
        connect(exporter->ProgressBar(), &QProgressBar::valueChanged, exporter,
                [&](int value)
                {
                    values << value;
                    shownWhileFilling = shownWhileFilling && exporter->isVisible();
                });
        W().ExportResultsToXLS();

        const CScriptedPrompts::Record* dialog = SaveDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->parent, &W());
        QCOMPARE(dialog->title, kCaption);
        QCOMPARE(dialog->dir, Dir() + QStringLiteral("/Результаты.xls"));
        QCOMPARE(dialog->filter, QStringLiteral("Excel таблица (*.xls);;Excel таблица (*.xlsx)"));
        QVERIFY(!exporter->isVisible());
        if (name.isEmpty())
        {
            QVERIFY(m_prompts.Messages().isEmpty());
            QVERIFY(values.isEmpty());
            return;
        }
        QCOMPARE(OnlyMessage(message == kXlsOk ? CUserPrompts::IconInformation
                                               : CUserPrompts::IconWarning),
                 message);
        QCOMPARE(exporter->ProgressBar()->maximum(), 9 * rows);
        QCOMPARE(exporter->ProgressBar()->value(), 9 * rows);
        QList<int> expected;
        for (int i = 1; i <= 9 * rows; ++i)
            expected << i;
        // The reset to 0 may or may not be a change.
        values.removeAll(0);
        QCOMPARE(values, expected);
        QVERIFY(shownWhileFilling);
        if (signature.isEmpty())
        {
            QVERIFY(!QFileInfo::exists(Dir() + QStringLiteral("/no")));
            return;
        }
        QVERIFY(ReadFile(path).startsWith(signature));
        QString error;
        const QJsonObject sheet = ExportTest::ReadWorkbook(
            path, name.endsWith(QLatin1String(".xlsx")) ? "xlsx" : "xls", &error);
        if (error.contains(QLatin1String("xlrd")))
            QSKIP("python3-xlrd is not installed");
        QVERIFY2(!sheet.isEmpty(), qPrintable(error));
        QCOMPARE(sheet.value("rows").toInt(), rows + 1);
        QCOMPARE(sheet.value("columns").toInt(), 9);
        for (int r = 0; r < rows; ++r)
            QCOMPARE(ExportTest::Cell(sheet, r + 1, 0).value("text").toString(),
                     W().ResultsModel()->index(r, 0).data().toString());
    }
};

QTEST_MAIN(TestExportSlots)
#include "tst_export_slots.moc"
