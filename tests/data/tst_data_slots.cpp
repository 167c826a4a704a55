#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CInputLimits.h"
#include "app/CKorvalent.h"
#include "core/CUserPrompts.h"
#include "data/CDataMessages.h"
#include "data/CDataStorage.h"
#include "data/CStatistics.h"
#include "device/CDeviceManager.h"
#include "report/CReportData.h"
#include "report/CReportFile.h"
#include "tests/common/ModelTexts.h"
#include "tests/common/TestSupport.h"
#include "tests/data/DataTestSupport.h"
#include "ui_CKorvalent.h"

#include <QLabel>
#include <QSettings>
#include <QStandardItemModel>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

using namespace DataTest;

namespace
{
const QString kNotLoaded = QStringLiteral("Данные: не загружены          ");
const QString kNoValid =
    QStringLiteral("ВНИМАНИЕ: не достаточно данных в файле для вычисления статистических данных!");
const QString kLoaded3 = QStringLiteral("Данные: загружены из ПК, 3 файл(a)(ов)          ");
const QString kSomeMissing =
    QStringLiteral("Не достаточно данных для вычисления некоторых статистическийх значений.");

using ModelTexts::Column;
using ModelTexts::Row;

QStringList Headers(const QStandardItemModel* model)
{
    QStringList texts;
    for (int column = 0; column < model->columnCount(); ++column)
        texts << model->headerData(column, Qt::Horizontal).toString();
    return texts;
}

// What the three tables show, as lines of tab-separated texts.
QStringList Shown(const QStandardItemModel* model, bool withHeaders)
{
    QStringList lines;
    if (withHeaders)
        lines << Headers(model).join(QLatin1Char('\t'));
    for (int row = 0; row < model->rowCount(); ++row)
        lines << Row(model, row).join(QLatin1Char('\t'));
    return lines;
}
} // namespace

class TestDataSlots : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<QSettings> m_settings;
    CScriptedPrompts m_prompts;
    std::unique_ptr<CKorvalent> m_window;

    CKorvalent& W() { return *m_window; }
    static CProgramRun Cli(const QStringList& args)
    {
        return RunProgram(QStringLiteral(KORVALENT_CLI_PATH), args, 30000);
    }
    QString Dir() const { return m_env->Root(); }
    QString Label() { return W().DataStatusLabel()->text(); }

    // One message box: its icon and text; fails on file dialogs.
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

    QString SaveDatabase(const QString& name, const DataFileList& files)
    {
        const QString path = Dir() + QLatin1Char('/') + name;
        return CDataStorage::SaveDatabaseFile(path, files) ? path : QString();
    }

    void LoadDatabase(const QString& path)
    {
        m_prompts.fileNames.enqueue(path);
        W().OnResultsLoadDatabaseFromFile();
    }

    void SelectRow(int row)
    {
        W().ui()->ResultFilesTable->setCurrentIndex(W().FilesModel()->index(row, 0));
    }

    DataFileList Sample()
    {
        DataFileList files;
        files << File(QStringLiteral("Труба-1"), {MmCell(5.2), MmCell(0.3), MmCell(12.25)})
              << File(QStringLiteral("Tank"), {MmCell(0.3)})
              << File(QStringLiteral("Single"), {MmCell(0.39), MmCell(5.0), Cell(0, 700, 0)});
        return files;
    }

private Q_SLOTS:
    void initTestCase() { BeginWindowTests(&m_env, &m_settings, &m_prompts); }

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

    void cleanupTestCase() { EndWindowTests(); }

    void loadDatabaseShowsTables()
    {
        const QString path = SaveDatabase(QStringLiteral("sample.kdb"), Sample());
        LoadDatabase(path);

        QCOMPARE(m_prompts.records.size(), 1);
        const CScriptedPrompts::Record& dialog = m_prompts.records.first();
        QCOMPARE(dialog.kind, QStringLiteral("open"));
        QCOMPARE(dialog.title, QStringLiteral("Открыть базу данных Korvalent"));
        QCOMPARE(dialog.dir, Dir() + QLatin1Char('/'));
        QCOMPARE(dialog.filter, QStringLiteral("База данных Korvalent (*.kdb)"));

        QCOMPARE(Label(), QStringLiteral("Данные: загружены из ПК, 3 файл(a)(ов)          "));
        QCOMPARE(W().SelectedFileIndex(), 0);
        QCOMPARE(Shown(W().FilesModel(), true),
                 (QStringList{"Файл данных\tИсп. ячейки", "Труба-1\t1 - 3", "Tank\t1 - 1",
                              "Single\t1 - 3"}));
        QCOMPARE(W().FilesModel()->item(0, 0)->textAlignment(), Qt::AlignRight);
        QCOMPARE(W().FilesModel()->item(0, 1)->textAlignment(),
                 Qt::AlignHCenter | Qt::AlignVCenter);

        QCOMPARE(Headers(W().ResultsModel()),
                 (QStringList{"Результат", "Ед. изм.", "Материал", "Скорость", "ПЭП/Идент",
                              "ПЭП/Сер. №", "Температура", "Время замера", "Дата замера"}));
        QCOMPARE(Row(W().ResultsModel(), 0),
                 (QStringList{"5.20", "мм", "Н/Д", "5920 м/c", "P112", "123456", "21 C°", "14:05",
                              "15.04.2029"}));
        QCOMPARE(Column(W().ResultsModel(), 0), (QStringList{"5.20", "0.30", "12.25"}));
        // Only the LOS result is tinted; every item is centred.
        QCOMPARE(W().ResultsModel()->item(1, 0)->background().color(), QColor(255, 230, 231));
        QCOMPARE(W().ResultsModel()->item(0, 0)->background().style(), Qt::NoBrush);
        QCOMPARE(W().ResultsModel()->item(1, 1)->background().style(), Qt::NoBrush);
        QCOMPARE(W().ResultsModel()->item(2, 8)->textAlignment(),
                 Qt::AlignHCenter | Qt::AlignVCenter);

        QCOMPARE(Column(W().StatisticsModel(), 2),
                 (QStringList{"3", "2", "1", "5.20", "12.25", "8.73", "8.73", "7.05", "4.985",
                              "3.525", "12.426"}));
        QCOMPARE(Column(W().StatisticsModel(), 1).at(9), QString(QChar(0x03ED)));
    }

    void mixedCaseFileShowsTheSame()
    {
        // Written by hand: other letter case, other order, attributes, CRLF.
        const QByteArray handWritten =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<korvalentDatabase version=\"2\">\r\n"
            "\t<files>1</files>\r\n"
            "\t<File1>\r\n"
            "\t\t<Records>3</Records>\r\n"
            "\t\t<name>Труба-1</name>\r\n"
            "\t\t<Data_Row3>BAwAGSAXUDExMgAAAABA4gEABQ6POhU=</Data_Row3>\r\n"
            "\t\t<data_row1>BAUAFCAXUDExMgAAAABA4gEABQ6POhU=</data_row1>\r\n"
            "\t\t<DATA_ROW2 note=\"LOS\">BAAAHiAXUDExMgAAAABA4gEABQ6POhU=</DATA_ROW2>\r\n"
            "\t\t<Serial_Number>4000000000</Serial_Number><Fw_Version>258</Fw_Version>"
            "<Audio_Index>3</Audio_Index>\r\n"
            "\t</File1>\r\n"
            "</korvalentDatabase>\r\n";
        const QString hand = Dir() + QStringLiteral("/hand.kdb");
        QVERIFY(WriteBytes(hand, handWritten));
        const QString saved = SaveDatabase(QStringLiteral("saved.kdb"), {Sample().first()});

        LoadDatabase(saved);
        const QStringList files = Shown(W().FilesModel(), true);
        const QStringList results = Shown(W().ResultsModel(), true);
        const QStringList statistics = Shown(W().StatisticsModel(), true);
        QCOMPARE(results.size(), 4);

        m_prompts.Clear();
        LoadDatabase(hand);
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(Shown(W().FilesModel(), true), files);
        QCOMPARE(Shown(W().ResultsModel(), true), results);
        QCOMPARE(Shown(W().StatisticsModel(), true), statistics);
        QVERIFY(SameFiles(W().DataFiles().first(), Sample().first()));
    }

    void cliShowsWhatTheWindowShows()
    {
        const QString path = SaveDatabase(QStringLiteral("cli.kdb"), Sample());
        LoadDatabase(path);
        auto run = [&](const QStringList& args, QString* err = nullptr)
        {
            const CProgramRun r = Cli(QStringList{"show", path} + args);
            if (err)
                *err = r.err;
            return r.out;
        };
        QCOMPARE(run({}), Shown(W().FilesModel(), false).join(QLatin1Char('\n')) + "\n");
        for (int file = 0; file < 3; ++file)
        {
            m_prompts.Clear();
            W().ResultFilesTableClick(W().FilesModel()->index(file, 0));
            QString err;
            const QString out = run({"--file", QString::number(file + 1)}, &err);
            const QString expected = (Shown(W().ResultsModel(), true) + QStringList{QString()} +
                                      Shown(W().StatisticsModel(), false))
                                         .join(QLatin1Char('\n')) +
                                     "\n";
            QCOMPARE(out, expected);
            // The window's warnings go to stderr.
            QStringList messages = m_prompts.Messages();
            if (W().StatisticsModel()->item(1, 2)->text() == QLatin1String("0"))
                messages << kNoValid; // the data status label
            QCOMPARE(err, messages.isEmpty() ? QString() : messages.join('\n') + "\n");
        }
        QString err;
        run({"--file", "4"}, &err);
        QVERIFY(!err.isEmpty());
    }

    // A huge file and a device are refused before reading, by the window and
    // the command line alike, with the load failure naming file and reason;
    // what was loaded stays.
    void hugeAndSpecialInputsRefused()
    {
        LoadDatabase(SaveDatabase(QStringLiteral("kept.kdb"), Sample()));
        const QString big = Dir() + QStringLiteral("/big.kdb");
        QVERIFY(WriteBytes(big, ""));
        QVERIFY(QFile::resize(big, CInputLimits::kKeyFileBytes + 1));
        const QString bigCsv = Dir() + QStringLiteral("/big.csv");
        QVERIFY(WriteBytes(bigCsv, ""));
        QVERIFY(QFile::resize(bigCsv, CInputLimits::kMaterialsCsvBytes + 1));
        const QString tooLarge = QStringLiteral("файл больше допустимого размера 64 МБ");
        const QString special = QStringLiteral("это не обычный файл");
        for (const auto& [path, reason] :
             {std::pair<QString, QString>{big, tooLarge}, {QStringLiteral("/dev/zero"), special}})
        {
            m_prompts.Clear();
            LoadDatabase(path);
            QCOMPARE(OnlyMessage(CUserPrompts::IconCritical),
                     CDataMessages::DatabaseParseFailed(path, reason));
            m_prompts.Clear();
            m_prompts.fileNames.enqueue(path);
            W().OnResultsLoadFile();
            QCOMPARE(OnlyMessage(CUserPrompts::IconCritical),
                     CDataMessages::DataFileParseFailed(path, reason));
            QCOMPARE(W().DataFiles().size(), 3);

            const CProgramRun r = Cli({"show", path});
            QCOMPARE(r.exitCode, 1); // -1 for a crash or a hang
            QCOMPARE(r.err, CDataMessages::DatabaseParseFailed(path, reason) + "\n");
        }
        const CProgramRun r =
            Cli({"show", Dir() + QStringLiteral("/kept.kdb"), "--materials", bigCsv});
        QCOMPARE(r.exitCode, 1);
        const QString err = r.err;
        QVERIFY2(err.contains(bigCsv) && err.contains(QStringLiteral("1 МБ")), qPrintable(err));
    }

    void cliNamesMaterialsLikeTheWindow()
    {
        // The window after a download: the gauge's materials name the cells.
        DataFileList files{File(QStringLiteral("Mat"), {MmCell(5.2), Cell(0x04, 3, 0, 4700)})};
        const QString path = SaveDatabase(QStringLiteral("mat.kdb"), files);
        const QString csv = Dir() + QStringLiteral("/materials.csv");
        QVERIFY(
            WriteBytes(csv, "\xEF\xBB\xBFМедь,4700,0.5\r\nСталь,5920,-1\r\nСталь 2,5920,0\r\n"));
        MaterialList materials;
        for (const auto& [name, velocity] :
             {std::pair<QString, int>{"Медь", 4700}, {"Сталь", 5920}, {"Сталь 2", 5920}})
        {
            MaterialRecord m{};
            CAnsiText::Encode(name, m.name, 16);
            m.velocity = quint16(velocity);
            materials << m;
        }
        LoadDatabase(path);
        W().Materials() = materials;
        W().OnResultsTablesRefresh();
        QCOMPARE(Column(W().ResultsModel(), 2), (QStringList{"Сталь", "Медь"}));

        const CProgramRun r = Cli({"show", path, "--file", "1", "--materials", csv});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.split('\n').mid(0, 3), Shown(W().ResultsModel(), true));
        QCOMPARE(Cli({"show", path, "--file", "1", "--materials", Dir() + "/none.csv"}).exitCode,
                 1);
    }

    void selection()
    {
        LoadDatabase(SaveDatabase(QStringLiteral("sel.kdb"), Sample()));
        m_prompts.Clear();

        // Tank: one LOS cell only.
        W().ResultFilesTableClick(W().FilesModel()->index(1, 0));
        QCOMPARE(W().SelectedFileIndex(), 1);
        QCOMPARE(Column(W().ResultsModel(), 0), QStringList{"0.30"});
        QCOMPARE(
            Column(W().StatisticsModel(), 2),
            (QStringList{"1", "0", "1", "н/д", "н/д", "н/д", "н/д", "н/д", "н/д", "н/д", "н/д"}));
        QCOMPARE(Label(), kNoValid);
        QCOMPARE(m_prompts.Messages(), QStringList());

        // Single: one valid value -> the warning box; the label stays.
        W().ResultFilesTableItemChanged(
            QItemSelection(W().FilesModel()->index(2, 0), W().FilesModel()->index(2, 1)),
            QItemSelection());
        QCOMPARE(W().SelectedFileIndex(), 2);
        QCOMPARE(OnlyMessage(CUserPrompts::IconWarning), kSomeMissing);
        QCOMPARE(Column(W().StatisticsModel(), 2),
                 (QStringList{"3", "1", "2", "5.00", "5.00", "5.00", "н/д", "0.00", "н/д", "н/д",
                              "н/д"}));
        QCOMPARE(W().StatisticsModel()->item(8, 2)->textAlignment(),
                 Qt::AlignHCenter | Qt::AlignVCenter);
        // A file with figures to show takes the warning back.
        QCOMPARE(Label(), kLoaded3);

        // A click past the list and an empty selection change nothing.
        m_prompts.Clear();
        QStandardItemModel longer(10, 2);
        W().ResultFilesTableClick(longer.index(3, 0));
        W().ResultFilesTableItemChanged(QItemSelection(), QItemSelection());
        QCOMPARE(W().SelectedFileIndex(), 2);
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(W().ResultsModel()->rowCount(), 3);

        // An index without a row (row -1) selects no file: the tables reset.
        W().ResultFilesTableClick(QModelIndex());
        QCOMPARE(W().SelectedFileIndex(), -1);
        QCOMPARE(W().ResultsModel()->rowCount(), 0);
        QCOMPARE(Column(W().StatisticsModel(), 2), QStringList(11, QStringLiteral("н/д")));
        QCOMPARE(m_prompts.Messages(), QStringList());
    }

    void databaseLoadMessages_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("label");
        const QByteArray row = "<DATA_ROW1>AgwABSAXzzExMgAAAABA4gEABQ6POuw=</DATA_ROW1>";
        QByteArray many = "<KorvalentDatabase><FILES>200</FILES>";
        for (int i = 1; i <= 200; ++i)
            many += "<FILE" + QByteArray::number(i) + "><NAME>F" + QByteArray::number(i) +
                    "</NAME><RECORDS>2</RECORDS>" + row + QByteArray(row).replace("ROW1", "ROW2") +
                    "</FILE" + QByteArray::number(i) + ">";
        many += "</KorvalentDatabase>";
        QTest::newRow("FILES 200")
            << many
            << QStringList{"Загружаемая база данных содержит не допустимое количество "
                           "файлов-данных (максимум 150)"}
            << 150 << "Данные: загружены из ПК, 150 файл(a)(ов)          ";
        QTest::newRow("damaged rows")
            << QByteArray("<KorvalentDatabase><FILES>1</FILES><FILE1><RECORDS>5</RECORDS>" + row +
                          "</FILE1></KorvalentDatabase>")
            << QStringList{"База данных Korvalent загружена.\r\nНо данные частично повреждены и "
                           "не будут отображаться!",
                           kSomeMissing}
            << 1
            << "Данные: загружены из ПК, 1 файл(a)(ов); неполный файл «»: 1 из 5 ячеек          ";
        QTest::newRow("FILES 0") << QByteArray(
                                        "<KorvalentDatabase><FILES>0</FILES></KorvalentDatabase>")
                                 << QStringList{} << 0 << kNotLoaded;
    }
    void databaseLoadMessages()
    {
        QFETCH(QByteArray, content);
        const QString path = Dir() + QStringLiteral("/messages.kdb");
        QVERIFY(WriteBytes(path, content));
        LoadDatabase(path);
        QTEST(m_prompts.Messages(), "messages");
        QTEST(int(W().DataFiles().size()), "files");
        QTEST(Label(), "label");
        QCOMPARE(W().FilesModel()->rowCount(), int(W().DataFiles().size()));
        if (QByteArray(QTest::currentDataTag()) == "damaged rows")
            QCOMPARE(Row(W().FilesModel(), 0), (QStringList{"", "1 - 1 из 5"}));
    }

    void failedLoadsChangeNothing_data()
    {
        QTest::addColumn<bool>("database");
        QTest::addColumn<QByteArray>("content"); // empty name: no file at all
        QTest::addColumn<QString>("expected");   // %1 = path
        const QString dbParse = "Не возможно обработать базу данных Korvalent: '%1'\n\nОШИБКА: ";
        const QString fileParse = "Не возможно обработать файл данных Korvalent: '%1'\n\nОШИБКА: ";
        QByteArray bomb = "<!DOCTYPE KorvalentDatabase [<!ENTITY a \"aaaaaaaaaa\">";
        for (char c = 'b'; c <= 'j'; ++c)
            bomb += "<!ENTITY " + QByteArray(1, c) + " \"" +
                    QByteArray("&" + QByteArray(1, char(c - 1)) + ";").repeated(10) + "\">";
        bomb += "]><KorvalentDatabase><FILES>&j;</FILES></KorvalentDatabase>";
        QTest::newRow("db missing")
            << true << QByteArray() << "Не удалось открыть для чтения базу данных Korvalent: %1";
        QTest::newRow("db empty") << true << QByteArray(" ") << dbParse;
        QTest::newRow("db malformed")
            << true << QByteArray("<KorvalentDatabase><FILES>") << dbParse;
        QTest::newRow("db entity bomb") << true << bomb << dbParse;
        QTest::newRow("db doctype only")
            << true << QByteArray("<!DOCTYPE KorvalentDatabase>") << dbParse;
        QTest::newRow("db wrong kind")
            << true << QByteArray("<KorvalentDataFile><NAME>x</NAME></KorvalentDataFile>")
            << "Не возможно обработать базу данных Korvalent: '%1'\n\nЗагружаемый файл не является "
               "корректным файлом.";
        QTest::newRow("file missing")
            << false << QByteArray() << "Не удалось открыть для чтения файл данных Korvalent: %1";
        QTest::newRow("file malformed") << false << QByteArray("<KorvalentDataFile>") << fileParse;
        QTest::newRow("file entity bomb")
            << false << QByteArray(bomb).replace("KorvalentDatabase", "KorvalentDataFile")
            << fileParse;
        QTest::newRow("file wrong kind")
            << false << QByteArray("<KorvalentDatabase><FILES>0</FILES></KorvalentDatabase>")
            << "Не возможно обработать файл данных Korvalent: '%1'\n\nЗагружаемый файл не является "
               "корректным файлом.";
    }
    void failedLoadsChangeNothing()
    {
        QFETCH(bool, database);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        LoadDatabase(SaveDatabase(QStringLiteral("before.kdb"), Sample()));
        W().ResultFilesTableClick(W().FilesModel()->index(0, 0));
        const QString label = Label();
        const QStringList results = Shown(W().ResultsModel(), true);
        m_prompts.Clear();

        const QString path =
            Dir() + (database ? QStringLiteral("/bad.kdb") : QStringLiteral("/bad.kdf"));
        QFile::remove(path);
        if (!content.isEmpty())
            QVERIFY(WriteBytes(path, content));
        m_prompts.fileNames.enqueue(path);
        if (database)
            W().OnResultsLoadDatabaseFromFile();
        else
            W().OnResultsLoadFile();

        const QString message = OnlyMessage(CUserPrompts::IconCritical);
        const QString start = expected.arg(path);
        QVERIFY2(message.startsWith(start), qPrintable(message + QStringLiteral(" | ") + start));
        if (start.endsWith(QStringLiteral("ОШИБКА: ")))
        {
            QVERIFY(message.size() > start.size() + 1); // the parser's own words
            QVERIFY(message.endsWith(QLatin1Char(' ')));
        }
        else
            QCOMPARE(message, start);
        QCOMPARE(W().DataFiles().size(), 3);
        QCOMPARE(Label(), label);
        QCOMPARE(W().FilesModel()->rowCount(), 3);
        QCOMPARE(Shown(W().ResultsModel(), true), results);
    }

    void loadDataFile()
    {
        const QString path = Dir() + QStringLiteral("/Pipe.kdf");
        DataFileRecord file = File(QStringLiteral("Труба 7"), {MmCell(4.5), MmCell(5.5)});
        QVERIFY(CDataStorage::SaveDataFile(path, file));
        m_prompts.fileNames.enqueue(path);
        W().OnResultsLoadFile();
        QCOMPARE(m_prompts.records.first().title, QStringLiteral("Открыть файл данных Korvalent"));
        QCOMPARE(m_prompts.records.first().filter, QStringLiteral("Файл данных Korvalent (*.kdf)"));
        QCOMPARE(OnlyMessage(CUserPrompts::IconInformation),
                 QStringLiteral("Файл данных успешно загружен."));
        QCOMPARE(Label(), QStringLiteral("Данные: загружены из файла на ПК          "));
        // The name comes from the file name it was saved under.
        QCOMPARE(Row(W().FilesModel(), 0), (QStringList{"Pipe", "1 - 2"}));
        QCOMPARE(W().SelectedFileIndex(), 0);
        QCOMPARE(W().ResultsModel()->rowCount(), 2);

        // RECORDS 5 with rows 1-3.
        QByteArray five = "<KorvalentDataFile><NAME>Five</NAME><RECORDS>5</RECORDS>";
        for (int i = 1; i <= 3; ++i)
            five += "<DATA_ROW" + QByteArray::number(i) +
                    ">AgwABSAXzzExMgAAAABA4gEABQ6POuw=</DATA_ROW" + QByteArray::number(i) + ">";
        five += "</KorvalentDataFile>";
        QVERIFY(WriteBytes(Dir() + QStringLiteral("/five.kdf"), five));
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(Dir() + QStringLiteral("/five.kdf"));
        W().OnResultsLoadFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconWarning),
                 QStringLiteral(
                     "Файл загружен.\r\nНо данные частично повреждены и не будут отображены!"));
        QCOMPARE(W().SelectedFileIndex(), 1);
        QCOMPARE(W().ResultsModel()->rowCount(), 3);
        QCOMPARE(Row(W().FilesModel(), 1), (QStringList{"Five", "1 - 3 из 5"}));
        QCOMPARE(Label(), QStringLiteral("Данные: загружены из файла на ПК; неполный файл «Five»: "
                                         "3 из 5 ячеек          "));
    }

    void duplicateNameIgnoresCase()
    {
        LoadDatabase(SaveDatabase(QStringLiteral("dup.kdb"), {File(QStringLiteral("tank"), {})}));
        m_prompts.Clear();
        // Never opened: the file does not even exist.
        m_prompts.fileNames.enqueue(Dir() + QStringLiteral("/Tank.A.kdf"));
        W().OnResultsLoadFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconCritical),
                 QStringLiteral("Файл с именем 'Tank' уже загружен!"));
        QCOMPARE(W().DataFiles().size(), 1);
    }

    void dataFileLimit()
    {
        DataFileList full;
        for (int i = 0; i < 150; ++i)
            full << File(QStringLiteral("F%1").arg(i), {});
        LoadDatabase(SaveDatabase(QStringLiteral("full.kdb"), full));
        QCOMPARE(W().DataFiles().size(), 150);
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(Dir() + QStringLiteral("/missing.kdf"));
        W().OnResultsLoadFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconWarning),
                 QStringLiteral("Не возможно загрузить файл данных. Максимальное количество 150"));
        // A database still loads.
        m_prompts.Clear();
        LoadDatabase(SaveDatabase(QStringLiteral("one.kdb"), {File(QStringLiteral("A"), {})}));
        QCOMPARE(W().DataFiles().size(), 1);
    }

    void saveFileUnderAnotherName()
    {
        LoadDatabase(
            SaveDatabase(QStringLiteral("x.kdb"), {File(QStringLiteral("X"), {MmCell(3)})}));
        // The file shown after the load is the current row: the save acts on it.
        m_prompts.Clear();
        W().OnResultsSaveFile();
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.first().kind, QStringLiteral("save"));
        QVERIFY(m_prompts.records.first().dir.endsWith(QStringLiteral("/X")));

        // With no current row (the user's own doing) the save asks for one.
        W().ui()->ResultFilesTable->selectionModel()->clear();
        m_prompts.Clear();
        W().OnResultsSaveFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconWarning),
                 QStringLiteral("Выберите файл который необходимо сохранить на ПК."));

        SelectRow(0);
        m_prompts.Clear();
        const QString path = Dir() + QStringLiteral("/Y.kdf");
        m_prompts.fileNames.enqueue(path);
        W().OnResultsSaveFile();
        QCOMPARE(m_prompts.records.first().kind, QStringLiteral("save"));
        QCOMPARE(m_prompts.records.first().title,
                 QStringLiteral("Сохранить файл данных Korvalent"));
        QCOMPARE(m_prompts.records.first().dir, Dir() + QStringLiteral("/X"));
        QCOMPARE(OnlyMessage(CUserPrompts::IconInformation),
                 QStringLiteral("Файл данных успешно сохранён."));
        QCOMPARE(CDataStorage::FileName(W().DataFiles().first()), QStringLiteral("X"));

        m_prompts.Clear();
        m_prompts.fileNames.enqueue(path);
        W().OnResultsLoadFile();
        QCOMPARE(Column(W().FilesModel(), 0), (QStringList{"X", "Y"}));
        QVERIFY(SameFiles(W().DataFiles().at(1), File(QStringLiteral("Y"), {MmCell(3)})));
    }

    void saveDatabase()
    {
        W().OnResultsSaveDatabaseToFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconWarning),
                 QStringLiteral("Нет загруженых данных для сохранения в файл на ПК."));
        W().OnResultsSaveFile();
        m_prompts.Clear();
        W().OnResultsSaveFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconWarning),
                 QStringLiteral("Нет загруженых файлов для сохранения на ПК."));

        const QString source = SaveDatabase(QStringLiteral("src.kdb"), Sample());
        LoadDatabase(source);
        m_prompts.Clear();
        const QString target = Dir() + QStringLiteral("/copy.kdb");
        m_prompts.fileNames.enqueue(target);
        W().OnResultsSaveDatabaseToFile();
        QCOMPARE(m_prompts.records.first().title,
                 QStringLiteral("Сохранить базу данных Korvalent"));
        QCOMPARE(m_prompts.records.first().filter, QStringLiteral("База данных Korvalent (*.kdb)"));
        QCOMPARE(OnlyMessage(CUserPrompts::IconInformation),
                 QStringLiteral("База данных Korvalent успешно сохранёна."));
        QCOMPARE(ReadBytes(target), ReadBytes(source));

        // A folder that cannot hold the file: the critical box, nothing written.
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(Dir() + QStringLiteral("/no/such/dir/copy.kdb"));
        W().OnResultsSaveDatabaseToFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconCritical),
                 QStringLiteral("ОШИБКА: не удалось создать \"файл-базу данных\"."));
        SelectRow(0);
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(Dir() + QStringLiteral("/no/such/dir/copy.kdf"));
        W().OnResultsSaveFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconCritical),
                 QStringLiteral("ОШИБКА: не удалось создать файл на ПК."));

        // Cancelled dialogs do nothing.
        m_prompts.Clear();
        W().OnResultsSaveDatabaseToFile();
        W().OnResultsLoadDatabaseFromFile();
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(W().DataFiles().size(), 3);
    }

    // Both save slots on a disk that fills up at the final flush of a small
    // file: the critical box with the slot's failure text, the previous file
    // kept, no temporary file left.
    void savesOverLimitKeepOldFile()
    {
        QTemporaryDir dir;
        DataFileList files{File(QStringLiteral("Tank"), QList<CellRecord>(150, MmCell(7)))};
        LoadDatabase(SaveDatabase(QStringLiteral("limit.kdb"), files));
        SelectRow(0);
        const QString database = dir.filePath(QStringLiteral("prev.kdb"));
        const QString dataFile = dir.filePath(QStringLiteral("prev.kdf"));
        QVERIFY(WriteBytes(database, "old database"));
        QVERIFY(WriteBytes(dataFile, "old data file"));
        QVERIFY(CDataStorage::DatabaseDocument(files).size() < 16384);

        m_prompts.Clear();
        m_prompts.fileNames.enqueue(database);
        {
            CFileSizeLimit guard(4096);
            W().OnResultsSaveDatabaseToFile();
        }
        QCOMPARE(OnlyMessage(CUserPrompts::IconCritical),
                 QStringLiteral("ОШИБКА: не удалось создать \"файл-базу данных\"."));
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(dataFile);
        {
            CFileSizeLimit guard(4096);
            W().OnResultsSaveFile();
        }
        QCOMPARE(OnlyMessage(CUserPrompts::IconCritical),
                 QStringLiteral("ОШИБКА: не удалось создать файл на ПК."));
        QCOMPARE(ReadBytes(database), QByteArray("old database"));
        QCOMPARE(ReadBytes(dataFile), QByteArray("old data file"));
        QCOMPARE(FolderEntries(dir.path()), (QStringList{"prev.kdb", "prev.kdf"}));
    }

    // A FIFO or device node as the target: refused with the failure text and
    // a line naming the file; the node stays what it was.
    void savesOntoSpecialFilesRefused()
    {
        LoadDatabase(SaveDatabase(QStringLiteral("special.kdb"), Sample()));
        SelectRow(0);
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe.kdb"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString& target : {fifo, QStringLiteral("/dev/full")})
        {
            m_prompts.Clear();
            m_prompts.fileNames.enqueue(target);
            W().OnResultsSaveDatabaseToFile();
            const QString text = OnlyMessage(CUserPrompts::IconCritical);
            QVERIFY2(text.startsWith(
                         QStringLiteral("ОШИБКА: не удалось создать \"файл-базу данных\".\n\n")),
                     qPrintable(text));
            QVERIFY2(text.contains(target), qPrintable(text));

            m_prompts.Clear();
            m_prompts.fileNames.enqueue(target);
            W().OnResultsSaveFile();
            const QString fileText = OnlyMessage(CUserPrompts::IconCritical);
            QVERIFY(
                fileText.startsWith(QStringLiteral("ОШИБКА: не удалось создать файл на ПК.\n\n")));
            QVERIFY(fileText.contains(target));
        }
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(fifo).constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
        QCOMPARE(::stat("/dev/full", &st), 0);
        QVERIFY(S_ISCHR(st.st_mode));
        QCOMPARE(FolderEntries(dir.path()), QStringList{"pipe.kdb"});
    }

    // Walls under 10 mm measured in inches are readings like any other: only
    // what lies outside 0.4 ... 600 mm is LOS.
    void inchReadings()
    {
        LoadDatabase(SaveDatabase(
            QStringLiteral("inch.kdb"),
            {File(QStringLiteral("ELBOW-IN"), {InchCell(0.23), InchCell(0.25), InchCell(0.01),
                                               InchCell(0.24), InchCell(23.63)})}));
        QCOMPARE(Column(W().ResultsModel(), 0),
                 (QStringList{"0.23", "0.25", "0.01", "0.24", "23.63"}));
        QList<bool> tinted;
        for (int row = 0; row < W().ResultsModel()->rowCount(); ++row)
            tinted << (W().ResultsModel()->item(row, 0)->background().style() != Qt::NoBrush);
        QCOMPARE(tinted, (QList<bool>{false, false, true, false, true}));
        QCOMPARE(Column(W().StatisticsModel(), 2).mid(0, 8),
                 (QStringList{"5", "3", "2", "0.23", "0.25", "0.24", "0.24", "0.02"}));
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(Label(), QStringLiteral("Данные: загружены из ПК, 1 файл(a)(ов)          "));
    }

    // A file holding fewer cells than its header announces is marked in the
    // files table and named by the label and by the save's success text; both
    // stay true as files go.
    void incompleteFiles()
    {
        DataFileList files = Sample();
        files << File(QStringLiteral("Котёл-2"),
                      {MmCell(4.1), MmCell(4.2), MmCell(4.0), MmCell(4.3)}, 24)
              << File(QStringLiteral("Пусто"), {}, 12);
        LoadDatabase(SaveDatabase(QStringLiteral("short.kdb"), files));
        // The rows the header announces are missing: the load says so too.
        QCOMPARE(m_prompts.Messages(),
                 QStringList{"База данных Korvalent загружена.\r\nНо данные частично повреждены и "
                             "не будут отображаться!"});
        QCOMPARE(Column(W().FilesModel(), 1),
                 (QStringList{"1 - 3", "1 - 1", "1 - 3", "1 - 4 из 24", "0 из 12"}));
        const QString tip = QStringLiteral(
            "Файл неполный: в нём 4 из 24 ячеек, указанных в заголовке (получение было "
            "прервано или часть записей повреждена).");
        QCOMPARE(W().FilesModel()->item(3, 0)->toolTip(), tip);
        QCOMPARE(W().FilesModel()->item(3, 1)->toolTip(), tip);
        QCOMPARE(W().FilesModel()->item(0, 1)->toolTip(), QString());
        const QString noted = QStringLiteral("Данные: загружены из ПК, 5 файл(a)(ов); неполный "
                                             "файл «Котёл-2»: 4 из 24 ячеек (неполных файлов: 2)"
                                             "          ");
        QCOMPARE(Label(), noted);

        m_prompts.Clear();
        const QString target = Dir() + QStringLiteral("/short-copy.kdb");
        m_prompts.fileNames.enqueue(target);
        W().OnResultsSaveDatabaseToFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconInformation),
                 QStringLiteral("База данных Korvalent успешно сохранёна.\n\nВ базе данных "
                                "сохранены неполные файлы (2), в них меньше ячеек, чем указано в "
                                "заголовке: «Котёл-2» (4 из 24 ячеек), «Пусто» (0 из 12 ячеек)."));
        // What was saved keeps both facts.
        const CDataStorage::LoadResult saved = CDataStorage::LoadDatabaseFile(target);
        QCOMPARE(int(saved.files.at(3).header.records), 24);
        QCOMPARE(saved.files.at(3).cells.size(), 4);

        // Котёл-2 goes; Пусто is shown and has no figures: the warning, and
        // behind it the label naming the one incomplete file left.
        SelectRow(3);
        W().OnResultsDeleteFile();
        QCOMPARE(Label(), kNoValid);
        SelectRow(0);
        QCOMPARE(Label(), QStringLiteral("Данные: загружены из ПК, 4 файл(a)(ов); неполный "
                                         "файл «Пусто»: 0 из 12 ячеек          "));
        SelectRow(3);
        QCOMPARE(Label(), kNoValid);
        W().OnResultsDeleteFile(); // Пусто; Single is shown, one valid value
        QCOMPARE(Label(), kLoaded3);

        // Nothing incomplete: the plain success text.
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(target);
        W().OnResultsSaveDatabaseToFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconInformation),
                 QStringLiteral("База данных Korvalent успешно сохранёна."));
    }

    void deleteFiles()
    {
        W().OnResultsDeleteFile();
        QCOMPARE(OnlyMessage(CUserPrompts::IconWarning),
                 QStringLiteral("Не выбран файл который необходимо удалить."));

        LoadDatabase(SaveDatabase(QStringLiteral("del.kdb"), Sample()));
        SelectRow(0);
        m_prompts.Clear();
        W().OnResultsDeleteFile();
        QCOMPARE(Column(W().FilesModel(), 0), (QStringList{"Tank", "Single"}));
        QCOMPARE(W().SelectedFileIndex(), 1);
        QCOMPARE(W().ResultsModel()->rowCount(), 3); // Single is shown
        QCOMPARE(W().ui()->ResultFilesTable->currentIndex().row(), 1);
        QCOMPARE(Label(), QStringLiteral("Данные: загружены из ПК, 2 файл(a)(ов)          "));
        m_prompts.Clear();
        W().OnResultsDeleteFile(); // acts on the file shown, Single
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(Column(W().FilesModel(), 0), QStringList{"Tank"});
        // Tank holds no valid value: the statistics' own label has the last word.
        QCOMPARE(Label(), CStatistics::NotEnoughDataLabelText());
        W().OnResultsDeleteFile();

        QVERIFY(W().DataFiles().isEmpty());
        QCOMPARE(W().SelectedFileIndex(), -1);
        QCOMPARE(Label(), kNotLoaded);
        QCOMPARE(W().FilesModel()->rowCount(), 0);
        QCOMPARE(W().ResultsModel()->rowCount(), 0);
        QCOMPARE(Headers(W().ResultsModel()).size(), 9);
        QCOMPARE(Column(W().StatisticsModel(), 2), QStringList(11, QStringLiteral("н/д")));
    }

    // Whenever the program moves the selected file, the files table's current
    // row follows, so that save and delete act on the file the results show.
    void fileShownIsFileActedOn()
    {
        LoadDatabase(SaveDatabase(QStringLiteral("sel.kdb"), Sample()));
        const QString kdf = Dir() + QStringLiteral("/Extra.kdf");
        QVERIFY(CDataStorage::SaveDataFile(kdf, File(QStringLiteral("Extra"), {MmCell(7.5)})));
        SelectRow(1);
        m_prompts.Clear();
        W().OnResultsDeleteFile(); // Tank, chosen by the user
        QCOMPARE(Column(W().FilesModel(), 0), (QStringList{"Труба-1", "Single"}));

        m_prompts.fileNames.enqueue(kdf);
        W().OnResultsLoadFile();
        QCOMPARE(W().SelectedFileIndex(), 2);
        QCOMPARE(W().ui()->ResultFilesTable->currentIndex().row(), 2);
        const QModelIndexList selected =
            W().ui()->ResultFilesTable->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().row(), 2);
        QCOMPARE(Label(), QStringLiteral("Данные: загружены из файла на ПК          "));

        m_prompts.Clear();
        m_prompts.fileNames.enqueue(QString()); // the dialog is cancelled
        W().OnResultsSaveFile();
        QVERIFY(m_prompts.records.first().dir.endsWith(QStringLiteral("/Extra")));

        m_prompts.Clear();
        W().OnResultsDeleteFile();
        QCOMPARE(Column(W().FilesModel(), 0), (QStringList{"Труба-1", "Single"}));
        // The label that does not count files stays as it was.
        QCOMPARE(Label(), QStringLiteral("Данные: загружены из файла на ПК          "));
        QCOMPARE(W().SelectedFileIndex(), 1);
        QCOMPARE(W().ui()->ResultFilesTable->currentIndex().row(), 1);
    }

    // Files named on the command line, recognised by content: the first
    // database or data file and the first report, through the menu's loaders.
    void openFilesByContent_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("conclusion");
        QTest::addColumn<bool>("reportTab");
        const QString fromPc = QStringLiteral("Данные: загружены из ПК, 3 файл(a)(ов)          ");
        const QString fromFile = QStringLiteral("Данные: загружены из файла на ПК          ");
        const QStringList sample{"Труба-1", "Tank", "Single"};
        const QString loaded = QStringLiteral("Файл данных успешно загружен.");
        const QString reportLoaded = QStringLiteral("Файл-отчёт успешно загружен.");
        const QString notLoaded = QStringLiteral("Данные: не загружены                    ");
        QTest::newRow("database") << QStringList{"sample.kdb"} << QStringList{} << fromPc << sample
                                  << QString() << false;
        QTest::newRow("data file") << QStringList{"pipe.kdf"} << QStringList{loaded} << fromFile
                                   << QStringList{"pipe"} << QString() << false;
        QTest::newRow("database without a suffix")
            << QStringList{"survey"} << QStringList{} << fromPc << sample << QString() << false;
        QTest::newRow("data file named .kdb")
            << QStringList{"pipe-as.kdb"} << QStringList{loaded} << fromFile
            << QStringList{"pipe-as"} << QString() << false;
        QTest::newRow("report named .kdb")
            << QStringList{"first-as.kdb"} << QStringList{reportLoaded} << notLoaded
            << QStringList{} << QStringLiteral("К-1") << true;
        QTest::newRow("several: the first of each kind")
            << QStringList{"first.krf", "pipe.kdf", "sample.kdb", "second.krf"}
            << QStringList{loaded, reportLoaded} << fromFile << QStringList{"pipe"}
            << QStringLiteral("К-1") << false;
        QTest::newRow("no such file")
            << QStringList{"absent.kdb"}
            << QStringList{"Не удалось открыть для чтения базу данных Korvalent: " + Dir() +
                           "/absent.kdb"}
            << notLoaded << QStringList{} << QString() << false;
        QTest::newRow("not XML, then a report")
            << QStringList{"notes.txt", "second.krf"}
            << QStringList{"Не возможно обработать базу данных Korvalent: '" + Dir() +
                               "/notes.txt'\n\nОШИБКА: строка 1, столбец 1: Start tag expected, "
                               "'<' not found ",
                           reportLoaded}
            << notLoaded << QStringList{} << QStringLiteral("К-2") << true;
        QTest::newRow("not XML after a database")
            << QStringList{"notes.txt", "sample.kdb"} << QStringList{} << fromPc << sample
            << QString() << false;
    }
    void openFilesByContent()
    {
        QFETCH(QStringList, names);
        QVERIFY(!SaveDatabase(QStringLiteral("sample.kdb"), Sample()).isEmpty());
        QFile::remove(Dir() + "/survey");
        QVERIFY(QFile::copy(Dir() + "/sample.kdb", Dir() + "/survey"));
        const DataFileRecord pipe =
            File(QStringLiteral("Pipe"), {MmCell(5.2), MmCell(0.3), MmCell(12.25)});
        QVERIFY(CDataStorage::SaveDataFile(Dir() + "/pipe.kdf", pipe));
        QVERIFY(CDataStorage::SaveDataFile(Dir() + "/pipe-as.kdb", pipe));
        CReportData report;
        report.SetText(CReportData::ConclutionNumber, QStringLiteral("К-1"));
        QVERIFY(WriteBytes(Dir() + "/first.krf", CReportFile::Document(report)));
        QVERIFY(WriteBytes(Dir() + "/first-as.kdb", CReportFile::Document(report)));
        report.SetText(CReportData::ConclutionNumber, QStringLiteral("К-2"));
        QVERIFY(WriteBytes(Dir() + "/second.krf", CReportFile::Document(report)));
        QVERIFY(WriteBytes(Dir() + "/notes.txt", "Замер 1: 5.2 мм\n"));

        QStringList paths;
        for (const QString& name : names)
            paths << Dir() + QLatin1Char('/') + name;
        W().OpenFiles(paths);

        QTEST(m_prompts.Messages(), "messages");
        QTEST(Label(), "label");
        QStringList files;
        for (const DataFileRecord& file : W().DataFiles())
            files << CDataStorage::FileName(file);
        QTEST(files, "files");
        QTEST(W().ui()->ConclutionNumberEdit->text(), "conclusion");
        QTEST(W().ui()->mainTabWidget->currentWidget() == W().ui()->tab_2, "reportTab");
    }

    void refusedWhileDeviceBusy()
    {
        LoadDatabase(SaveDatabase(QStringLiteral("busy.kdb"), Sample()));
        SelectRow(0);
        CDeviceManager manager;
        manager.SetReadTimeout(100);
        manager.SetPortOverride(Dir() + QStringLiteral("/no-such-port"));
        g_App.pDeviceManager = &manager;
        manager.StartTask(9, nullptr, 0, nullptr);
        QVERIFY(manager.IsBusy());

        using Slot = void (CKorvalent::*)();
        const Slot storageSlots[] = {&CKorvalent::OnResultsLoadDatabaseFromFile,
                                     &CKorvalent::OnResultsSaveDatabaseToFile,
                                     &CKorvalent::OnResultsLoadFile, &CKorvalent::OnResultsSaveFile,
                                     &CKorvalent::OnResultsDeleteFile};
        for (Slot slot : storageSlots)
        {
            m_prompts.Clear();
            m_prompts.fileNames.enqueue(Dir() + QStringLiteral("/busy.kdb"));
            (W().*slot)();
            QCOMPARE(m_prompts.records.size(), 1); // no dialog opened
            QCOMPARE(OnlyMessage(CUserPrompts::IconWarning),
                     QStringLiteral("Идёт обмен данными с прибором. Дождитесь его завершения и "
                                    "повторите операцию."));
            m_prompts.fileNames.clear();
        }
        QCOMPARE(W().DataFiles().size(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(!manager.IsBusy(), 10000);
        g_App.pDeviceManager = nullptr;
    }
};

QTEST_MAIN(TestDataSlots)
#include "tst_data_slots.moc"
