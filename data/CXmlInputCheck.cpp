#include "data/CXmlInputCheck.h"

#include "core/CInputLimits.h"

#include <algorithm>
#include <cctype>

#include <cstring>

namespace
{
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool StartsWith(const QByteArray& data, qsizetype at, const char* bytes, qsizetype count)
{
    return data.size() - at >= count &&
           std::memcmp(data.constData() + at, bytes, size_t(count)) == 0;
}

// Encodings in which every byte below 0x80 is the ASCII character and no
// byte above stands for one: UTF-8 and the single-byte code pages a user's
// editor might have declared. In them the scan's bytes are the reader's
// characters as far as markup goes.
bool AsciiCompatible(const QByteArray& name)
{
    const QByteArray n = name.toUpper();
    static const char* const exact[] = {"UTF-8",  "UTF8",   "US-ASCII", "ASCII",
                                        "KOI8-R", "KOI8-U", "CP866",    "IBM866"};
    for (const char* e : exact)
        if (n == e)
            return true;
    const auto numbered = [&n](const char* prefix, int low, int high)
    {
        if (!n.startsWith(prefix))
            return false;
        bool ok = false;
        const int number = n.mid(qsizetype(std::strlen(prefix))).toInt(&ok);
        return ok && number >= low && number <= high;
    };
    return numbered("ISO-8859-", 1, 16) || numbered("ISO8859-", 1, 16) ||
           numbered("ISO_8859-", 1, 16) || numbered("LATIN", 1, 10) ||
           numbered("WINDOWS-", 1250, 1258) || numbered("CP", 1250, 1258);
}

// The reader chooses its encoding from the first bytes (a byte-order mark,
// or "<?xm" in UTF-16, UTF-32 or EBCDIC) and then from the XML declaration,
// which must open the document. Anything but an ASCII-compatible encoding
// is refused: the program writes UTF-8 without a declaration, and in any
// other encoding (UTF-16, UTF-7, EBCDIC, ISO-2022...) the limits below
// would count bytes the reader never sees as markup, or miss markup it
// does see.
QString CheckEncoding(const QByteArray& data)
{
    const auto unsupported = [](const QByteArray& name)
    {
        return QStringLiteral("кодировка %1 не поддерживается (файлы программы в UTF-8)")
            .arg(QString::fromLatin1(name));
    };
    if (StartsWith(data, 0, "\xFE\xFF", 2) || StartsWith(data, 0, "\xFF\xFE", 2))
        return unsupported("UTF-16");
    if (StartsWith(data, 0, "\x4C\x6F\xA7\x94", 4))
        return unsupported("EBCDIC");
    // A NUL byte never belongs to a document in such an encoding; it comes
    // with UTF-16 and UTF-32 (every ASCII character has one).
    if (std::memchr(data.constData(), 0, size_t(data.size())))
        return QStringLiteral("файл содержит нулевые байты (кодировка не UTF-8)");

    const qsizetype start = StartsWith(data, 0, "\xEF\xBB\xBF", 3) ? 3 : 0;
    if (!StartsWith(data, start, "<?xml", 5) || data.size() <= start + 5 ||
        !IsSpace(data.at(start + 5)))
        return {};
    // Every "encoding" up to the declaration's end (or anywhere, when it has
    // none) must name an encoding of that kind: a reader that gets lost in a
    // broken declaration cannot then switch to one the scan misreads.
    qsizetype end = data.indexOf("?>", start + 5);
    if (end < 0)
        end = data.size();
    for (qsizetype at = data.indexOf("encoding", start + 5); at >= 0 && at < end;
         at = data.indexOf("encoding", at + 8))
    {
        qsizetype i = at + 8;
        while (i < end && IsSpace(data.at(i)))
            ++i;
        if (i >= end || data.at(i) != '=')
            return QStringLiteral("непонятное объявление кодировки");
        ++i;
        while (i < end && IsSpace(data.at(i)))
            ++i;
        if (i >= end || (data.at(i) != '"' && data.at(i) != '\''))
            return QStringLiteral("непонятное объявление кодировки");
        const char quote = data.at(i);
        const qsizetype close = data.indexOf(quote, i + 1);
        if (close < 0 || close > end)
            return QStringLiteral("непонятное объявление кодировки");
        const QByteArray name = data.mid(i + 1, close - i - 1);
        for (const char c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
                return QStringLiteral("непонятное объявление кодировки");
        if (name.isEmpty() || name.size() > 40)
            return QStringLiteral("непонятное объявление кодировки");
        if (!AsciiCompatible(name))
            return unsupported(name);
    }
    return {};
}
} // namespace

QString CXmlInputCheck::Check(const QByteArray& data)
{
    const QString encoding = CheckEncoding(data);
    if (!encoding.isEmpty())
        return encoding;
    const char* d = data.constData();
    const qsizetype n = data.size();

    qint64 elements = 0;
    qint64 attributes = 0;
    qint64 references = 0;
    qint64 textBytes = 0;
    qint64 tagBytes = 0;
    int depth = 0;
    const auto tooLong = []
    {
        return QStringLiteral("текст одного элемента длиннее %1")
            .arg(CInputLimits::SizeText(kMaxTextRun));
    };
    // Character data of [from, to): one run.
    const auto text = [&](qsizetype from, qsizetype to) -> QString
    {
        if (to - from > kMaxTextRun)
            return tooLong();
        textBytes += to - from;
        if (textBytes > kMaxTextBytes)
            return QStringLiteral("в файле больше %1 текста")
                .arg(CInputLimits::SizeText(kMaxTextBytes));
        // Most runs hold none: memchr skips them faster than a count.
        for (const char* p = d + from;
             (p = static_cast<const char*>(std::memchr(p, '&', size_t(d + to - p)))); ++p)
            ++references;
        if (references > kMaxReferences)
            return QStringLiteral("в файле больше %1 ссылок на символы").arg(kMaxReferences);
        return {};
    };
    const auto tag = [&](qsizetype from, qsizetype to) -> QString
    {
        tagBytes += to - from;
        if (tagBytes > kMaxTagBytes)
            return QStringLiteral("в файле больше %1 разметки")
                .arg(CInputLimits::SizeText(kMaxTagBytes));
        return {};
    };

    QString refused;
    qsizetype i = 0;
    while (i < n && refused.isEmpty())
    {
        const char* lt = static_cast<const char*>(std::memchr(d + i, '<', size_t(n - i)));
        const qsizetype next = lt ? lt - d : n;
        refused = text(i, next);
        if (!lt || !refused.isEmpty())
            break;
        i = next;
        // Comments, CDATA sections and processing instructions: their body
        // counts as character data.
        const auto section = [&](int open, const char* close)
        {
            const qsizetype end = data.indexOf(close, i + open);
            if (end < 0)
                return n; // unterminated: the reader says so
            refused = text(i + open, end);
            return end + qsizetype(std::strlen(close));
        };
        if (n - i >= 4 && std::memcmp(d + i, "<!--", 4) == 0)
            i = section(4, "-->");
        else if (n - i >= 9 && std::memcmp(d + i, "<![CDATA[", 9) == 0)
            i = section(9, "]]>");
        else if (n - i >= 2 && d[i + 1] == '?')
            i = section(2, "?>");
        else if (n - i >= 2 && d[i + 1] == '!')
        {
            // The document type: our files only name their root in it.
            qsizetype j = i + 2;
            char quote = 0;
            for (; j < n; ++j)
            {
                const char c = d[j];
                if (quote)
                {
                    if (c == quote)
                        quote = 0;
                }
                else if (c == '"' || c == '\'')
                    quote = c;
                else if (c == '[')
                    return QStringLiteral("объявления в типе документа не поддерживаются");
                else if (c == '>')
                    break;
            }
            refused = tag(i, j);
            i = j + 1;
        }
        else if (n - i >= 2 && d[i + 1] == '/')
        {
            const char* gt = static_cast<const char*>(std::memchr(d + i, '>', size_t(n - i)));
            const qsizetype end = gt ? gt - d : n;
            refused = tag(i, end);
            --depth;
            i = end + 1;
        }
        else
        {
            // A start tag: count it, its attributes (an '=' outside quoted
            // values) and whether it opens a level.
            if (++elements > kMaxElements)
                return QStringLiteral("в файле больше %1 элементов").arg(kMaxElements);
            char quote = 0;
            char last = 0;
            qsizetype j = i + 1;
            for (; j < n; ++j)
            {
                const char c = d[j];
                if (quote)
                {
                    if (c == quote)
                        quote = 0;
                    continue;
                }
                if (c == '"' || c == '\'')
                    quote = c;
                else if (c == '=')
                {
                    if (++attributes > kMaxAttributes)
                        return QStringLiteral("в файле больше %1 атрибутов").arg(kMaxAttributes);
                }
                else if (c == '>')
                    break;
                if (!IsSpace(c))
                    last = c;
            }
            refused = tag(i, j);
            if (last != '/' && ++depth > kMaxDepth)
                return QStringLiteral("вложенность элементов больше %1 уровней").arg(kMaxDepth);
            i = j + 1;
        }
    }
    return refused;
}
