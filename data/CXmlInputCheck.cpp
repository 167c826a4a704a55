#include "data/CXmlInputCheck.h"

#include "core/CInputLimits.h"

#include <algorithm>

#include <cstring>

namespace
{
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
} // namespace

QString CXmlInputCheck::Check(const QByteArray& data)
{
    const char* d = data.constData();
    const qsizetype n = data.size();
    // A NUL byte never belongs to a UTF-8 document; its presence means
    // UTF-16 or UTF-32, which our files never are and this look could not
    // follow.
    if (std::memchr(d, 0, size_t(n)))
        return QStringLiteral("файл содержит нулевые байты (кодировка не UTF-8)");

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
        references += std::count(d + from, d + to, '&');
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
