#include "data/CDataStorage.h"

#include "core/CInputLimits.h"

#include "data/CAnsiText.h"
#include "data/CCellDecoder.h"
#include "data/CXmlDataFileParser.h"
#include "data/CXmlKeyFileWriter.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace
{
using LoadResult = CDataStorage::LoadResult;

quint32 ReadUnsigned(const QString& text)
{
    bool ok = false;
    const quint32 value = text.toUInt(&ok, 10);
    return ok ? value : 0;
}

quint8 ReadLowByte(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? quint8(value & 0xFF) : 0;
}

// Name keys of the elements of one data file, looked up once per document.
struct FileKeys
{
    int name, audioIndex, records, serialNumber, fwVersion;
    int rows[256]; // rows[j]: DATA_ROWj, j = 1..255

    explicit FileKeys(const CXmlDataFileParser& parser)
    {
        name = parser.NameKey(u"NAME");
        audioIndex = parser.NameKey(u"AUDIO_INDEX");
        records = parser.NameKey(u"RECORDS");
        serialNumber = parser.NameKey(u"SERIAL_NUMBER");
        fwVersion = parser.NameKey(u"FW_VERSION");
        rows[0] = -1;
        for (int j = 1; j < 256; ++j)
            rows[j] = parser.NameKey(QString(QStringLiteral("DATA_ROW") + QString::number(j)));
    }
};

// Builds a data file from the children of one element (a database's FILE%1
// or a data file's root). node < 0 (a missing FILE%1) gives an empty file.
DataFileRecord ReadDataFile(const CXmlDataFileParser& parser, const FileKeys& keys, int node,
                            bool* damaged)
{
    DataFileRecord file;
    auto value = [&](int key) { return parser.NodeText(parser.FindChild(node, key)); };
    CAnsiText::Encode(value(keys.name), file.header.name, int(sizeof(file.header.name)));
    file.header.audioIndex = ReadLowByte(value(keys.audioIndex));
    file.header.records = ReadLowByte(value(keys.records));
    file.header.serialNumber = ReadUnsigned(value(keys.serialNumber));
    file.header.fwVersion = ReadUnsigned(value(keys.fwVersion));

    const int records = file.header.records;
    file.cells.reserve(records);
    for (int row = 1; row <= records; ++row)
    {
        CellRecord cell;
        if (CCellDecoder::FromBase64(value(keys.rows[row]), &cell))
            file.cells.append(cell);
        else
            *damaged = true;
    }
    return file;
}

bool Parse(const QByteArray& content, const QString& rootName, CXmlDataFileParser& parser,
           LoadResult& result)
{
    if (!parser.ParseData(content))
    {
        result.status = LoadResult::ParseFailed;
        result.parserError = parser.errorString();
        return false;
    }
    if (!parser.CheckRootName(rootName))
    {
        result.status = LoadResult::WrongKind;
        return false;
    }
    result.status = LoadResult::Ok;
    return true;
}

// Reads a key file whole: false (OpenFailed) when it cannot be opened; a
// path that is no regular file or a file over the key-file limit is refused
// before reading, as a parse failure whose error names the limit.
bool ReadContent(const QString& path, QByteArray* content, LoadResult* refused)
{
    CInputLimits::ReadResult read = CInputLimits::ReadFile(path, CInputLimits::kKeyFileBytes);
    switch (read.status)
    {
    case CInputLimits::Status::Ok:
        *content = std::move(read.bytes);
        return true;
    case CInputLimits::Status::OpenFailed:
        *refused = LoadResult{};
        return false;
    default:
        *refused = LoadResult{};
        refused->status = LoadResult::ParseFailed;
        refused->parserError = CInputLimits::Reason(read);
        return false;
    }
}

void AppendFileElements(CXmlKeyFileWriter& writer, const DataFileRecord& file, const QString& name)
{
    writer.AddValue(QLatin1StringView("NAME"), name);
    writer.AddValue(QLatin1StringView("SERIAL_NUMBER"),
                    QString::number(quint32(file.header.serialNumber)));
    writer.AddValue(QLatin1StringView("FW_VERSION"),
                    QString::number(quint32(file.header.fwVersion)));
    writer.AddValue(QLatin1StringView("AUDIO_INDEX"), QString::number(file.header.audioIndex));
    writer.AddValue(QLatin1StringView("RECORDS"), QString::number(file.header.records));
    // "DATA_ROW" and the row's number, written without a formatter: there
    // are some 38 000 of them in a full database.
    char row[24] = "DATA_ROW";
    for (int i = 0; i < file.cells.size(); ++i)
    {
        char digits[12];
        int count = 0;
        for (int n = i + 1; n > 0; n /= 10)
            digits[count++] = char('0' + n % 10);
        for (int d = 0; d < count; ++d)
            row[8 + d] = digits[count - 1 - d];
        writer.AddBase64Value(QLatin1StringView(row, 8 + count), &file.cells.at(i),
                              sizeof(CellRecord));
    }
}

// A data file's elements take about this many bytes besides its rows, and a
// row about this many; enough to write the document without regrowing.
constexpr qsizetype kFileBytes = 200;
constexpr qsizetype kRowBytes = 64;
} // namespace

CDataStorage::LoadResult CDataStorage::ParseDatabase(const QByteArray& content)
{
    LoadResult result;
    CXmlDataFileParser parser;
    if (!Parse(content, DatabaseRootName(), parser, result))
        return result;

    // A count that is a number but no unsigned 32-bit one (-1, beyond 32
    // bits) is damaged data, not "no files". Other text reads as 0.
    const QString filesText = parser.GetValue(QStringLiteral("FILES"));
    bool countOk = false;
    quint32 count = filesText.toUInt(&countOk, 10);
    if (!countOk)
    {
        count = 0;
        static const QRegularExpression number(QStringLiteral("^\\s*[+-]?[0-9]+\\s*$"));
        result.damaged = number.match(filesText).hasMatch();
    }
    if (count > quint32(kMaxDataFiles))
    {
        result.truncated = true;
        count = kMaxDataFiles;
    }
    const FileKeys keys(parser);
    result.files.reserve(int(count));
    for (int i = 1; i <= int(count); ++i)
    {
        const int fileNode = parser.FindNode(QString(QStringLiteral("FILE") + QString::number(i)));
        result.files.append(ReadDataFile(parser, keys, fileNode, &result.damaged));
    }
    return result;
}

CDataStorage::LoadResult CDataStorage::ParseDataFile(const QByteArray& content)
{
    LoadResult result;
    CXmlDataFileParser parser;
    if (!Parse(content, DataFileRootName(), parser, result))
        return result;
    result.files.append(ReadDataFile(parser, FileKeys(parser), parser.RootNode(), &result.damaged));
    return result;
}

CDataStorage::LoadResult CDataStorage::LoadDatabaseFile(const QString& path)
{
    QByteArray content;
    LoadResult refused;
    if (!ReadContent(path, &content, &refused))
        return refused;
    return ParseDatabase(content);
}

CDataStorage::LoadResult CDataStorage::LoadDataFile(const QString& path)
{
    QByteArray content;
    LoadResult refused;
    if (!ReadContent(path, &content, &refused))
        return refused;
    return ParseDataFile(content);
}

CDataStorage::LoadResult CDataStorage::LoadEitherKind(const QString& path, bool* dataFile)
{
    bool single = path.endsWith(QStringLiteral(".kdf"), Qt::CaseInsensitive);
    *dataFile = single;
    QByteArray content;
    LoadResult refused;
    if (!ReadContent(path, &content, &refused))
        return refused;
    const LoadResult first = single ? ParseDataFile(content) : ParseDatabase(content);
    if (first.status != LoadResult::WrongKind)
        return first;
    const LoadResult other = single ? ParseDatabase(content) : ParseDataFile(content);
    if (!other.Succeeded())
        return first;
    *dataFile = !single;
    return other;
}

QByteArray CDataStorage::DatabaseDocument(const DataFileList& files)
{
    qsizetype expected = kFileBytes;
    for (const DataFileRecord& file : files)
        expected += kFileBytes + kRowBytes * file.cells.size();
    CXmlKeyFileWriter writer(DatabaseRootName(), expected);
    writer.AddValue(QLatin1StringView("FILES"), QString::number(files.size()));
    for (int i = 0; i < files.size(); ++i)
    {
        writer.BeginGroup(QStringLiteral("FILE") + QString::number(i + 1));
        AppendFileElements(writer, files.at(i), FileName(files.at(i)));
        writer.EndGroup();
    }
    return writer.ToBytes();
}

QByteArray CDataStorage::DataFileDocument(const DataFileRecord& file, const QString& name)
{
    CXmlKeyFileWriter writer(DataFileRootName(), kFileBytes + kRowBytes * file.cells.size());
    AppendFileElements(writer, file, name);
    return writer.ToBytes();
}

bool CDataStorage::SaveDatabaseFile(const QString& path, const DataFileList& files)
{
    return CXmlKeyFileWriter::WriteFile(path, DatabaseDocument(files));
}

bool CDataStorage::SaveDataFile(const QString& path, const DataFileRecord& file)
{
    return CXmlKeyFileWriter::WriteFile(path, DataFileDocument(file, BaseName(path)));
}

QString CDataStorage::BaseName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString CDataStorage::FileName(const DataFileRecord& file)
{
    return CAnsiText::Decode(file.header.name, int(sizeof(file.header.name)));
}

int CDataStorage::FindByName(const DataFileList& files, const QString& name)
{
    for (int i = 0; i < files.size(); ++i)
        if (FileName(files.at(i)).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}
