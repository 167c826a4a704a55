// The key file writer against the DOM writer the program used before it: on
// generated documents, databases and reports with every awkward kind of text,
// both must give the same bytes.

#include "data/CDataStorage.h"
#include "data/CXmlKeyFileWriter.h"
#include "report/CReportFile.h"
#include "tests/common/DomKeyFileWriter.h"

#include <QRandomGenerator>
#include <QtTest>

namespace
{
using DomKeyFile::DomFileElements;
using DomKeyFile::DomWriter;

// Texts drawn from every class of character the writer treats apart.
class Texts
{
public:
    explicit Texts(quint32 seed) : m_random(seed) {}

    int Below(int n) { return int(m_random.bounded(quint32(n))); }

    QString Text()
    {
        switch (Below(8))
        {
        case 0:
            return QString();
        case 1:
            return Run(2000 + Below(20000)); // long
        default:
            return Run(Below(40));
        }
    }

    // A piece of 8-bit bytes, as a gauge's file name holds them.
    void Bytes(char* out, int size)
    {
        for (int i = 0; i < size; ++i)
            out[i] = char(Below(8) == 0 ? 0 : Below(256));
    }

private:
    QString Run(int length)
    {
        static const char16_t kAwkward[] = {
            u'<',   u'>',   u'&',   u'"',   u'\'',  u']',   u';',   u' ',   u'\t',  u'\n',
            u'\r',  0x0000, 0x0001, 0x0008, 0x000B, 0x000C, 0x001F, 0x007F, 0x0080, 0x00A0,
            0x00E9, 0x0416, 0x07FF, 0x0800, 0x4E2D, 0xD7FF, 0xE000, 0xFFFD, 0xFFFE, 0xFFFF,
            0xD800, 0xDBFF, 0xDC00, 0xDFFF, u'=',   u'/',   u'?',   u'#',   u'%',   u'!'};
        static const char* const kPieces[] = {"]]>",   "]]]>",  "]>",   "<![CDATA[",   "-->",
                                              "&amp;", "&#x0;", "\r\n", "<!DOCTYPE x>"};
        QString text;
        while (text.size() < length)
        {
            switch (Below(6))
            {
            case 0:
                text += QChar(kAwkward[Below(int(std::size(kAwkward)))]);
                break;
            case 1:
                text += QLatin1String(kPieces[Below(int(std::size(kPieces)))]);
                break;
            case 2:
            {
                // A character beyond the BMP, as a proper pair.
                const char32_t u = 0x10000 + m_random.bounded(0x100000u);
                text += QString::fromUcs4(&u, 1);
                break;
            }
            case 3:
                text += QChar(char16_t(m_random.bounded(0x10000u)));
                break;
            default:
                text += QChar(char16_t(u'a' + Below(26)));
            }
        }
        return text;
    }

    QRandomGenerator m_random;
};

QString Name(Texts& texts, const QString& stem)
{
    return stem + QString::number(texts.Below(1000));
}

DataFileRecord RandomFile(Texts& texts)
{
    DataFileRecord file;
    texts.Bytes(file.header.name, sizeof(file.header.name));
    texts.Bytes(reinterpret_cast<char*>(&file.header.serialNumber), 4);
    texts.Bytes(reinterpret_cast<char*>(&file.header.fwVersion), 4);
    file.header.records = quint8(texts.Below(256));
    file.header.audioIndex = quint8(texts.Below(256));
    const int cells = texts.Below(4) == 0 ? 254 : texts.Below(5);
    for (int c = 0; c < cells; ++c)
    {
        CellRecord cell;
        texts.Bytes(reinterpret_cast<char*>(&cell), sizeof(cell));
        file.cells.append(cell);
    }
    return file;
}

// Where the two differ, the first differing line of each: enough to see why.
QByteArray FirstDifference(const QByteArray& actual, const QByteArray& expected)
{
    qsizetype i = 0;
    while (i < actual.size() && i < expected.size() && actual.at(i) == expected.at(i))
        ++i;
    const qsizetype line = std::max<qsizetype>(0, expected.lastIndexOf('\n', i - 1) + 1);
    return "at byte " + QByteArray::number(i) + ": new \"" +
           actual.mid(line, 80).toPercentEncoding(" <>/") + "\" old \"" +
           expected.mid(line, 80).toPercentEncoding(" <>/") + '"';
}

#define COMPARE_BYTES(actual, expected)                                                            \
    do                                                                                             \
    {                                                                                              \
        const QByteArray a_ = (actual), e_ = (expected);                                           \
        if (a_ != e_)                                                                              \
            QFAIL(FirstDifference(a_, e_).constData());                                            \
    } while (false)
} // namespace

class KeyFileWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void documentMatchesDomWriter_data();
    void documentMatchesDomWriter();
    void databaseMatchesDomWriter_data();
    void databaseMatchesDomWriter();
    void reportMatchesDomWriter_data();
    void reportMatchesDomWriter();
};

void KeyFileWriterTest::documentMatchesDomWriter_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("elements");
    QTest::newRow("root alone") << 1u << 0;
    QTest::newRow("one element") << 2u << 1;
    for (quint32 seed = 10; seed < 70; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed << int(seed % 40);
}

// Values and groups in any order, groups empty or nested two deep.
void KeyFileWriterTest::documentMatchesDomWriter()
{
    QFETCH(quint32, seed);
    QFETCH(int, elements);
    Texts texts(seed);
    const QString root = Name(texts, QStringLiteral("Root"));
    DomWriter old(root);
    CXmlKeyFileWriter writer(root);
    QList<QDomElement> open{old.Root()};
    for (int e = 0; e < elements; ++e)
    {
        const int action = texts.Below(6);
        if (action == 0 && open.size() < 3)
        {
            const QString name = Name(texts, QStringLiteral("GROUP"));
            open.append(old.AddGroup(open.last(), name));
            writer.BeginGroup(name);
        }
        else if (action == 1 && open.size() > 1)
        {
            open.removeLast();
            writer.EndGroup();
        }
        else
        {
            const QString name = Name(texts, QStringLiteral("VALUE_"));
            const QString text = texts.Text();
            old.AddValue(open.last(), name, text);
            if (action == 2)
                writer.AddValue(QLatin1StringView(name.toLatin1()), text);
            else
                writer.AddValue(name, text);
        }
    }
    COMPARE_BYTES(writer.ToBytes(), old.ToBytes());
}

void KeyFileWriterTest::databaseMatchesDomWriter_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("files");
    const int counts[] = {0, 1, 2, 3, 17, 150};
    quint32 seed = 100;
    for (int files : counts)
        for (int k = 0; k < (files > 17 ? 1 : 4); ++k, ++seed)
            QTest::newRow(qPrintable(QStringLiteral("%1 files, seed %2").arg(files).arg(seed)))
                << seed << files;
}

// Whole databases and data files as the program saves them, names of raw
// 8-bit bytes and cells of random bytes.
void KeyFileWriterTest::databaseMatchesDomWriter()
{
    QFETCH(quint32, seed);
    QFETCH(int, files);
    Texts texts(seed);
    DataFileList list;
    for (int f = 0; f < files; ++f)
        list.append(RandomFile(texts));

    COMPARE_BYTES(CDataStorage::DatabaseDocument(list), DomKeyFile::DatabaseDocument(list));

    // A data file is named after its path, which may hold anything.
    const DataFileRecord one = files ? list.last() : RandomFile(texts);
    const QString name = texts.Text();
    DomWriter single(CDataStorage::DataFileRootName());
    DomFileElements(single, single.Root(), one, name);
    COMPARE_BYTES(CDataStorage::DataFileDocument(one, name), single.ToBytes());
}

void KeyFileWriterTest::reportMatchesDomWriter_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("rows");
    QTest::newRow("fresh form") << 0u << -1;
    const int counts[] = {0, 1, 5, 254};
    quint32 seed = 300;
    for (int rows : counts)
        for (int k = 0; k < 3; ++k, ++seed)
            QTest::newRow(qPrintable(QStringLiteral("%1 rows, seed %2").arg(rows).arg(seed)))
                << seed << rows;
}

// Every field, the statistics and the results table of a report.
void KeyFileWriterTest::reportMatchesDomWriter()
{
    QFETCH(quint32, seed);
    QFETCH(int, rows);
    using Field = CReportData::Field;
    Texts texts(seed);
    CReportData report;
    if (rows >= 0)
    {
        for (int f = 0; f < CReportData::FieldCount; ++f)
            report.SetText(Field(f), texts.Text());
        for (QString& value : report.statistics)
            value = texts.Text();
        for (int r = 0; r < rows; ++r)
        {
            QStringList row;
            // Loaded rows may be short or long.
            const int cells = texts.Below(4) ? CReportData::kResultColumns : texts.Below(14);
            for (int c = 0; c < cells; ++c)
                row << texts.Text();
            report.rows.append(row);
        }
    }

    DomWriter old(CReportFile::RootName());
    auto add = [&](Field field)
    { old.AddValue(old.Root(), CReportData::Key(field), report.Text(field)); };
    for (int f = CReportData::ConclutionNumber; f <= CReportData::MeasurementMethod; ++f)
        add(Field(f));
    add(CReportData::PepSerialNumber);
    for (int f = CReportData::ReferenceDescription; f <= CReportData::AccessCardNumber; ++f)
        add(Field(f));
    for (int row = 0; row < CReportData::kStatisticsRows; ++row)
        old.AddValue(old.Root(), CReportData::StatisticsKey(row), report.statistics.value(row));
    for (int f = CReportData::Conclusion; f < CReportData::FieldCount; ++f)
        add(Field(f));
    const QDomElement table = old.AddGroup(old.Root(), QStringLiteral("RESULTS_TABLE"));
    for (int r = 0; r < report.rows.size(); ++r)
    {
        QStringList cells;
        for (int column = 0; column < CReportData::kResultColumns; ++column)
            cells << report.Cell(r, column);
        old.AddValue(table, QStringLiteral("ROW") + QString::number(r + 1),
                     cells.join(QLatin1Char(';')));
    }
    COMPARE_BYTES(CReportFile::Document(report), old.ToBytes());
}

QTEST_GUILESS_MAIN(KeyFileWriterTest)
#include "tst_key_file_writer.moc"
