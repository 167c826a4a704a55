#include "analysis/CObjectHistory.h"
#include "sim/CVirtualGauge.h"
#include "tests/analysis/AnalysisTestSupport.h"
#include "tests/common/TestSupport.h"

#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QtTest>

// The manual tells what the program does: its cross-references lead to the
// sections they name, its command-line section covers every command, its
// pictures are there, its worked analysis example is what the program
// computes on the demo data, and its worked history example is what the
// history core computes on the readings the example lists.
class TestManual : public QObject
{
    Q_OBJECT

    CTestEnvironment* m_env = nullptr;
    QString m_html;
    QMap<QString, int> m_sectionOfId; // h2 id -> its number
    QSet<QString> m_ids;              // every id in the document

    static QString Resource(const QString& name)
    {
        return QStringLiteral(KORVALENT_RESOURCES "/") + name;
    }

    // The text of one h2 section, from its heading to the next one.
    QString Section(const QString& id) const
    {
        const int start = m_html.indexOf(QStringLiteral("<h2 id=\"%1\">").arg(id));
        if (start < 0)
            return {};
        const int end = m_html.indexOf(QStringLiteral("<h2"), start + 1);
        return m_html.mid(start, end < 0 ? -1 : end - start);
    }

    // The commands `korvalent-cli --help` lists.
    static QStringList CliCommands()
    {
        const CProgramRun run = RunProgram(QStringLiteral(KORVALENT_CLI), {"--help"});
        static const QRegularExpression line(
            QStringLiteral("^  korvalent-cli (?:\\[[^]]*\\] )*([a-z-]+)"),
            QRegularExpression::MultilineOption);
        QStringList commands;
        for (auto it = line.globalMatch(run.out); it.hasNext();)
            commands << it.next().captured(1);
        return commands;
    }

    // `analyse` of the example's surveys on the demo gauge's database,
    // downloaded from the virtual gauge; empty when that failed.
    QString AnalyseDemo()
    {
        static QString output;
        if (!output.isEmpty())
            return output;
        std::unique_ptr<CVirtualGauge> gauge(new CVirtualGauge);
        gauge->LoadDemoContent();
        QString error;
        if (!gauge->Start(&error))
            return {};
        const QString kdb = m_env->Root() + QStringLiteral("/demo.kdb");
        const CProgramRun download = RunProgram(
            QStringLiteral(KORVALENT_CLI), {"--port", gauge->PortPath(), "download", "-o", kdb});
        if (download.exitCode != 0)
            return {};
        const CProgramRun analyse = RunProgram(QStringLiteral(KORVALENT_CLI),
                                               {"analyse", kdb, "--file", "8", "--previous", kdb,
                                                "--previous-file", "7", "--required", "8"});
        if (analyse.exitCode == 0)
            output = analyse.out;
        return output;
    }

    // The worked example of the analysis section (from its heading on).
    QString Example() const
    {
        const QString section = Section(QStringLiteral("analysis"));
        const int at = section.indexOf(QStringLiteral("<p><b>Пример</b>"));
        return at < 0 ? QString() : section.mid(at);
    }

    // The worked example of the history section (from its heading on).
    QString HistoryExample() const
    {
        const QString section = Section(QStringLiteral("history"));
        const int at = section.indexOf(QStringLiteral("<p><b>Пример</b>"));
        return at < 0 ? QString() : section.mid(at);
    }

    // The object of the history example, built from the readings table the
    // example shows (dates in its header row, one row per cell), so that the
    // two cannot part.
    std::unique_ptr<CObjectHistory> ExampleHistory(bool accepted, bool vesselRule) const
    {
        const QString example = HistoryExample();
        static const QRegularExpression header(
            QStringLiteral("<tr><th>Ячейка</th>((?:<th>[0-9.]+</th>)+)</tr>"));
        static const QRegularExpression cell(QStringLiteral("<t[dh]>([^<]+)</t[dh]>"));
        const QRegularExpressionMatch dates = header.match(example);
        if (!dates.hasMatch())
            return {};
        QList<QDate> surveyDates;
        for (auto it = cell.globalMatch(dates.captured(1)); it.hasNext();)
            surveyDates << QDate::fromString(it.next().captured(1), QStringLiteral("dd.MM.yyyy"));
        QList<QStringList> readings(surveyDates.size());
        static const QRegularExpression row(
            QStringLiteral("<tr><td>(\\d+)</td>((?:<td>[^<]+</td>)+)</tr>"));
        const int tableEnd = int(example.indexOf(QStringLiteral("</table>")));
        for (auto it = row.globalMatch(example.left(tableEnd)); it.hasNext();)
        {
            const QRegularExpressionMatch m = it.next();
            int survey = 0;
            for (auto c = cell.globalMatch(m.captured(2)); c.hasNext(); ++survey)
                if (survey < readings.size())
                    readings[survey] << c.next().captured(1);
        }
        QList<CObjectHistory::Survey> surveys;
        for (int i = 0; i < surveyDates.size(); ++i)
            surveys.append(
                {i + 1, QStringLiteral("Линия-9"),
                 AnalysisTest::File(QStringLiteral("Линия-9"), readings.at(i), surveyDates.at(i))});
        CObjectHistory::Settings settings;
        settings.requiredMm = 8.0;
        settings.vesselRule = vesselRule;
        QSet<QPair<qint64, int>> marks;
        if (accepted)
            marks.insert({2, 3}); // the 2023 survey is the archive's second
        return std::make_unique<CObjectHistory>(QStringLiteral("Линия-9"), surveys, marks,
                                                settings);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = new CTestEnvironment;
        QFile file(Resource(QStringLiteral("Korvalent.html")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        m_html = QString::fromUtf8(file.readAll());
        static const QRegularExpression heading(QStringLiteral("<h2 id=\"([^\"]+)\">(\\d+)\\. "));
        for (auto it = heading.globalMatch(m_html); it.hasNext();)
        {
            const QRegularExpressionMatch m = it.next();
            m_sectionOfId.insert(m.captured(1), m.captured(2).toInt());
        }
        QVERIFY(m_sectionOfId.size() >= 10);
        static const QRegularExpression id(QStringLiteral(" id=\"([^\"]+)\""));
        for (auto it = id.globalMatch(m_html); it.hasNext();)
            m_ids.insert(it.next().captured(1));
    }
    void cleanupTestCase() { delete m_env; }

    // Sections are numbered 1, 2, ... in order, so a number names one.
    void sectionsNumberedInOrder()
    {
        QList<int> numbers = m_sectionOfId.values();
        std::sort(numbers.begin(), numbers.end());
        for (int i = 0; i < numbers.size(); ++i)
            QCOMPARE(numbers.at(i), i + 1);
    }

    // "раздел N" names an existing section, and the link on the number leads
    // to that same section; every in-page link has its target.
    void crossReferences()
    {
        static const QRegularExpression ref(
            QStringLiteral("раздел[аеу]?\\s+(?:<a href=\"#([^\"]+)\">)?(\\d+)"));
        int count = 0;
        for (auto it = ref.globalMatch(m_html); it.hasNext(); ++count)
        {
            const QRegularExpressionMatch m = it.next();
            const int number = m.captured(2).toInt();
            QVERIFY2(m_sectionOfId.values().contains(number), qPrintable(m.captured(0)));
            if (!m.captured(1).isEmpty())
                QVERIFY2(m_sectionOfId.value(m.captured(1)) == number, qPrintable(m.captured(0)));
        }
        QVERIFY(count >= 5);
        static const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
        for (auto it = link.globalMatch(m_html); it.hasNext();)
        {
            const QString target = it.next().captured(1);
            QVERIFY2(m_ids.contains(target), qPrintable(target));
        }
    }

    // Every command of the command line has its row, with an example of it.
    void commandLineSection()
    {
        const QString section = Section(QStringLiteral("cli"));
        QVERIFY(!section.isEmpty());
        const QStringList commands = CliCommands();
        QVERIFY(commands.size() >= 17);
        for (const QString& command : commands)
        {
            const QRegularExpression row(
                QStringLiteral(
                    "<tr><td><code>%1</code></td><td><code>korvalent-cli (?:[^<]* )?%1[ <]")
                    .arg(QRegularExpression::escape(command)));
            QVERIFY2(row.match(section).hasMatch(), qPrintable(command));
        }
    }

    // The pictures: each one referenced is there, each one there is
    // referenced, and none is larger than a 1024x768 screen.
    void pictures()
    {
        static const QRegularExpression img(QStringLiteral("<img src=\"([^\"]+)\""));
        QSet<QString> referenced;
        for (auto it = img.globalMatch(m_html); it.hasNext();)
        {
            const QString src = it.next().captured(1);
            referenced.insert(src);
            QImageReader reader(Resource(src));
            QVERIFY2(reader.canRead(), qPrintable(src));
            QVERIFY2(reader.size().width() <= 1024 && reader.size().height() <= 768,
                     qPrintable(src));
            QVERIFY2(QFileInfo(Resource(src)).size() < 150 * 1024, qPrintable(src));
        }
        const QStringList present =
            QDir(Resource(QStringLiteral("screens"))).entryList({QStringLiteral("*.png")});
        QVERIFY(present.size() >= 8);
        for (const QString& name : present)
            QVERIFY2(referenced.contains(QStringLiteral("screens/") + name), qPrintable(name));
    }

    // The worked example of the analysis section, computed again on the
    // demo gauge's data: the same rows and summary lines.
    void workedAnalysisExample_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QStringList>("figures");
        QTest::newRow("cell 6")
            << "6"
            << QStringList{
                   "9.10", "8.30", "0.80", "1.00", "0.801", "0.4", "Ресурс меньше интервала"};
        QTest::newRow("cell 17") << "17" << QStringList{"9.40", "8.90", "0.500", "1.8"};
        QTest::newRow("cell 12") << "12"
                                 << QStringList{"8.70", "7.85", "0.851", "исчерпан",
                                                "Ниже допустимой"};
        QTest::newRow("cell 9") << "9" << QStringList{"LOS", "—"};
        QTest::newRow("cell 15") << "15" << QStringList{"LOS", "—"};
        QTest::newRow("cell 21") << "21" << QStringList{"—"};
    }
    void workedAnalysisExample()
    {
        QFETCH(QString, cell);
        QFETCH(QStringList, figures);
        const QString example = Example();
        QVERIFY(!example.isEmpty());
        const QString output = AnalyseDemo();
        QVERIFY(!output.isEmpty());
        const QStringList lines = output.split(QLatin1Char('\n'));

        // The example names this cell with these figures ...
        QVERIFY2(example.contains(QStringLiteral("ячейк")) &&
                     example.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(cell))),
                 qPrintable(cell));
        // ... and the program's row for the cell shows them.
        const QStringList row =
            lines.filter(QRegularExpression(QStringLiteral("^%1\\t").arg(cell)));
        QCOMPARE(row.size(), 1);
        const QStringList fields = row.first().split(QLatin1Char('\t'));
        for (const QString& figure : figures)
        {
            QVERIFY2(fields.contains(figure), qPrintable(figure + " / " + row.first()));
            if (figure != QLatin1String("—") && figure != QLatin1String("LOS"))
                QVERIFY2(example.contains(figure), qPrintable(figure));
        }
    }

    // Every summary line the example quotes is one the program prints.
    void workedAnalysisSummary()
    {
        const QString example = Example();
        const QStringList lines = AnalyseDemo().split(QLatin1Char('\n'));
        QVERIFY(lines.size() > 20);
        static const QRegularExpression quoted(QStringLiteral("<li>«([^»]+)»</li>"));
        int summaries = 0;
        for (auto it = quoted.globalMatch(example); it.hasNext(); ++summaries)
        {
            const QString line = it.next().captured(1);
            QVERIFY2(lines.contains(line), qPrintable(line));
        }
        QCOMPARE(summaries, 5);
    }

    // The history example: the figures it names for a cell are the ones the
    // core shows in that cell's row.
    void workedHistoryExample_data()
    {
        QTest::addColumn<int>("cell");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("vesselRule");
        QTest::addColumn<QStringList>("figures");
        QTest::newRow("cell 1") << 1 << false << false
                                << QStringList{"0.180", "0.200", "0.179", "5.5", "14.02.2028"};
        QTest::newRow("cell 2") << 2 << false << false
                                << QStringList{"0.160", "0.300", "0.153", "4.0", "16.05.2027"};
        QTest::newRow("cell 3, E left out")
            << 3 << false << false << QStringList{"0.040", "—", "20.0", "15.05.2035", "E"};
        QTest::newRow("cell 3, E accepted")
            << 3 << true << false << QStringList{"10.20", "0.700", "0.005", "1.1", "10.12.2025"};
        QTest::newRow("cell 4") << 4 << false << false
                                << QStringList{"0.060", "0.175", "0.054", "1.7", "24.03.2026", "W"};
        QTest::newRow("cell 5") << 5 << false << false
                                << QStringList{"0.060", "—", "20.0", "15.05.2035"};
        QTest::newRow("cell 4, vessel rule") << 4 << false << true << QStringList{"01.02.2027"};
        QTest::newRow("cell 3, accepted, vessel rule")
            << 3 << true << true << QStringList{"07.07.2026"};
    }
    void workedHistoryExample()
    {
        QFETCH(int, cell);
        QFETCH(bool, accepted);
        QFETCH(bool, vesselRule);
        QFETCH(QStringList, figures);
        const QString example = HistoryExample();
        QVERIFY(!example.isEmpty());
        const std::unique_ptr<CObjectHistory> history = ExampleHistory(accepted, vesselRule);
        QVERIFY(history);
        QCOMPARE(history->Surveys().size(), 3);
        QCOMPARE(history->Locations().size(), 5);
        const QStringList row = history->RowTexts(history->LocationIndex(cell));
        QVERIFY(!row.isEmpty());
        QVERIFY(example.contains(QStringLiteral("Ячейка %1").arg(cell)));
        for (const QString& figure : figures)
        {
            QVERIFY2(row.contains(figure), qPrintable(figure + " / " + row.join(' ')));
            if (figure != QLatin1String("—"))
                QVERIFY2(example.contains(figure), qPrintable(figure));
        }
    }

    // Every summary line the example quotes is one the core gives, before
    // and after the E reading is accepted.
    void workedHistorySummary_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("count");
        QTest::newRow("before") << "summary" << false << 5;
        QTest::newRow("accepted") << "summary-accepted" << true << 3;
    }
    void workedHistorySummary()
    {
        QFETCH(QString, list);
        QFETCH(bool, accepted);
        QFETCH(int, count);
        const QString example = HistoryExample();
        const int start = int(example.indexOf(QStringLiteral("<ul class=\"%1\">").arg(list)));
        QVERIFY(start >= 0);
        const QString quotedList =
            example.mid(start, example.indexOf(QStringLiteral("</ul>"), start) - start);
        const QStringList lines = ExampleHistory(accepted, false)->SummaryLines();
        static const QRegularExpression quoted(QStringLiteral("<li>«([^»]+)»</li>"));
        int summaries = 0;
        for (auto it = quoted.globalMatch(quotedList); it.hasNext(); ++summaries)
        {
            const QString line = it.next().captured(1);
            QVERIFY2(lines.contains(line), qPrintable(line));
        }
        QCOMPARE(summaries, count);
    }
};

QTEST_MAIN(TestManual)
#include "tst_manual.moc"
