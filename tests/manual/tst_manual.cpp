#include "sim/CVirtualGauge.h"
#include "tests/common/TestSupport.h"

#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QtTest>

// The manual tells what the program does: its cross-references lead to the
// sections they name, its command-line section covers every command, its
// pictures are there, and its worked analysis example is what the program
// computes on the demo data.
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
};

QTEST_MAIN(TestManual)
#include "tst_manual.moc"
