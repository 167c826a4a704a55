#include "export/CCsvWriter.h"

#include "data/CAnsiText.h"
#include "export/CTableSource.h"

#include <QStringEncoder>

namespace
{
const QLatin1String kQuote("\"");
const QLatin1String kTwoQuotes("\"\"");

bool BreaksField(const QString& text)
{
    return text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('\r')) ||
           text.contains(QLatin1Char('\n'));
}

QString Quoted(QString text)
{
    return kQuote + text.replace(kQuote, kTwoQuotes) + kQuote;
}

// The whole text at once; only a text the code page cannot hold goes the
// character-by-character way that replaces the missing characters with '?'.
QByteArray ToCodePage(QStringEncoder& encoder, const QString& text)
{
    QByteArray bytes = encoder.encode(text);
    if (bytes.contains('\x1A') && !text.contains(QChar(0x1A)))
        bytes = CAnsiText::ToAnsi(text);
    return bytes;
}

} // namespace

QString CCsvWriter::ValueField(const QString& text)
{
    QString formula = QStringLiteral("=") + Quoted(text);
    if (BreaksField(text))
        formula = Quoted(formula);
    return formula + QLatin1Char(';');
}

QString CCsvWriter::HeaderField(const QString& text)
{
    if (BreaksField(text) || text.contains(kQuote))
        return Quoted(text) + QLatin1Char(';');
    return text + QLatin1Char(';');
}

QByteArray CCsvWriter::Bytes(const CTableSource& table)
{
    QStringEncoder encoder("windows-1251", QStringConverter::Flag::Stateless);
    QByteArray bytes;
    bytes.reserve(64 * (table.RowCount() + 1) * table.ColumnCount());
    QString text;
    // The counts are read again at every step: the lines follow the table's
    // size as it is while they are written.
    for (int column = 0; column < table.ColumnCount(); ++column)
        if (table.HeaderText(column, &text))
            bytes += ToCodePage(encoder, HeaderField(text));
    bytes += "\r\n";
    for (int row = 0; row < table.RowCount(); ++row)
    {
        for (int column = 0; column < table.ColumnCount(); ++column)
        {
            if (table.ItemText(row, column, &text))
                bytes += ToCodePage(encoder, ValueField(text));
        }
        bytes += "\r\n";
    }
    return bytes;
}

CSafeSave::Result CCsvWriter::Save(const QString& path, const CTableSource& table)
{
    return CSafeSave::WriteBytes(path, Bytes(table));
}
