#include "data/CXmlKeyFileWriter.h"

#include "core/CSafeSave.h"

#include <algorithm>

CXmlKeyFileWriter::CXmlKeyFileWriter(const QString& rootName, qsizetype expectedBytes)
{
    const QByteArray root = rootName.toUtf8();
    m_out.reserve(std::max<qsizetype>(expectedBytes, 256));
    m_out.append("<!DOCTYPE ").append(root).append(">\n<").append(root);
    m_open.append({root, false});
}

void CXmlKeyFileWriter::Indent(qsizetype depth)
{
    m_out.append(depth, ' ');
}

// The parent's start tag is left open ("<NAME") until its first child is
// known, so that a group without children can still end as "<NAME/>".
void CXmlKeyFileWriter::StartChild()
{
    Open& parent = m_open.last();
    if (!parent.hasChildren)
    {
        m_out.append(">\n");
        parent.hasChildren = true;
    }
    Indent(m_open.size());
}

void CXmlKeyFileWriter::OpenTag(const char* name, qsizetype size)
{
    StartChild();
    m_out.append('<').append(name, size).append('>');
}

void CXmlKeyFileWriter::AddValue(QLatin1StringView name, const QString& text)
{
    OpenTag(name.data(), name.size());
    AppendText(text);
    m_out.append("</").append(name.data(), name.size()).append(">\n");
}

void CXmlKeyFileWriter::AddValue(const QString& name, const QString& text)
{
    const QByteArray tag = name.toUtf8();
    OpenTag(tag.constData(), tag.size());
    AppendText(text);
    m_out.append("</").append(tag).append(">\n");
}

void CXmlKeyFileWriter::BeginGroup(const QString& name)
{
    StartChild();
    const QByteArray tag = name.toUtf8();
    m_out.append('<').append(tag);
    m_open.append({tag, false});
}

void CXmlKeyFileWriter::EndGroup()
{
    const Open group = m_open.takeLast();
    if (group.hasChildren)
    {
        Indent(m_open.size());
        m_out.append("</").append(group.name).append(">\n");
    }
    else
        m_out.append("/>\n");
}

QByteArray CXmlKeyFileWriter::ToBytes()
{
    while (!m_open.isEmpty())
        EndGroup();
    return std::move(m_out);
}

// Escapes and encodes in one pass. Characters XML does not allow (control
// characters other than TAB, LF and CR, unpaired surrogates, U+FFFE/U+FFFF)
// would make the whole file unreadable: they are stored as '?', as the
// names' code page does with characters it lacks. '>' is escaped only where
// it would close "]]>", CR as a reference so that it survives reading.
void CXmlKeyFileWriter::AppendText(const QString& text)
{
    const char16_t* s = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype n = text.size();
    qsizetype plain = 0; // start of the run of ASCII not yet copied
    const auto flush = [&](qsizetype i)
    {
        if (i > plain)
        {
            const qsizetype at = m_out.size();
            m_out.resize(at + (i - plain));
            char* out = m_out.data() + at;
            for (qsizetype k = plain; k < i; ++k)
                *out++ = char(s[k]);
        }
    };
    for (qsizetype i = 0; i < n; ++i)
    {
        const char16_t c = s[i];
        if (c >= 0x20 && c < 0x80 && c != u'<' && c != u'&' && c != u'>')
            continue;
        if (c == u'>' && !(i >= 2 && s[i - 1] == u']' && s[i - 2] == u']'))
            continue;
        if (c == u'\n' || c == u'\t')
            continue;
        flush(i);
        plain = i + 1;
        if (c == u'<')
            m_out.append("&lt;");
        else if (c == u'&')
            m_out.append("&amp;");
        else if (c == u'>')
            m_out.append("&gt;");
        else if (c == u'\r')
            m_out.append("&#xd;");
        else if (c < 0x20)
            m_out.append('?');
        else if (c < 0x800)
        {
            m_out.append(char(0xC0 | (c >> 6)));
            m_out.append(char(0x80 | (c & 0x3F)));
        }
        else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1]))
        {
            const char32_t u = QChar::surrogateToUcs4(c, s[i + 1]);
            m_out.append(char(0xF0 | (u >> 18)));
            m_out.append(char(0x80 | ((u >> 12) & 0x3F)));
            m_out.append(char(0x80 | ((u >> 6) & 0x3F)));
            m_out.append(char(0x80 | (u & 0x3F)));
            ++i;
            plain = i + 1;
        }
        else if (QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF)
            m_out.append('?');
        else
        {
            m_out.append(char(0xE0 | (c >> 12)));
            m_out.append(char(0x80 | ((c >> 6) & 0x3F)));
            m_out.append(char(0x80 | (c & 0x3F)));
        }
    }
    flush(n);
}

bool CXmlKeyFileWriter::WriteFile(const QString& path, const QByteArray& bytes, QString* error)
{
    const CSafeSave::Result result = CSafeSave::WriteBytes(path, bytes);
    if (!result.Ok() && error)
        *error = CSafeSave::Describe(path, result);
    return result.Ok();
}
