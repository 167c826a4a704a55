#include "data/CXmlKeyFileWriter.h"

#include "core/CSafeSave.h"

#include <algorithm>
#include <cstring>

CXmlKeyFileWriter::CXmlKeyFileWriter(const QString& rootName, qsizetype expectedBytes)
{
    const QByteArray root = rootName.toUtf8();
    m_out.resize(std::max<qsizetype>(expectedBytes, 256));
    Put("<!DOCTYPE ", 10);
    Put(root.constData(), root.size());
    Put(">\n<", 3);
    Put(root.constData(), root.size());
    m_open.append({root, false});
}

void CXmlKeyFileWriter::Grow(qsizetype n)
{
    m_out.resize(std::max(m_out.size() * 2, m_used + n));
}

void CXmlKeyFileWriter::Put(const char* bytes, qsizetype n)
{
    std::memcpy(Room(n), bytes, size_t(n));
    m_used += n;
}

// The parent's start tag is left open ("<NAME") until its first child is
// known, so that a group without children can still end as "<NAME/>".
void CXmlKeyFileWriter::StartChild()
{
    Open& parent = m_open.last();
    if (!parent.hasChildren)
    {
        Put(">\n", 2);
        parent.hasChildren = true;
    }
    const qsizetype depth = m_open.size();
    std::memset(Room(depth), ' ', size_t(depth));
    m_used += depth;
}

void CXmlKeyFileWriter::OpenTag(const char* name, qsizetype size)
{
    StartChild();
    char* out = Room(size + 2);
    *out++ = '<';
    std::memcpy(out, name, size_t(size));
    out[size] = '>';
    m_used += size + 2;
}

void CXmlKeyFileWriter::CloseTag(const char* name, qsizetype size)
{
    char* out = Room(size + 4);
    *out++ = '<';
    *out++ = '/';
    std::memcpy(out, name, size_t(size));
    out[size] = '>';
    out[size + 1] = '\n';
    m_used += size + 4;
}

void CXmlKeyFileWriter::AddValue(QLatin1StringView name, const QString& text)
{
    OpenTag(name.data(), name.size());
    AppendText(text);
    CloseTag(name.data(), name.size());
}

void CXmlKeyFileWriter::AddValue(const QString& name, const QString& text)
{
    const QByteArray tag = name.toUtf8();
    OpenTag(tag.constData(), tag.size());
    AppendText(text);
    CloseTag(tag.constData(), tag.size());
}

void CXmlKeyFileWriter::AddBase64Value(QLatin1StringView name, const void* data, qsizetype size)
{
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    OpenTag(name.data(), name.size());
    const auto* in = static_cast<const unsigned char*>(data);
    char* out = Room((size + 2) / 3 * 4);
    char* const begin = out;
    qsizetype i = 0;
    for (; i + 3 <= size; i += 3)
    {
        const unsigned v = (unsigned(in[i]) << 16) | (unsigned(in[i + 1]) << 8) | in[i + 2];
        *out++ = kDigits[v >> 18];
        *out++ = kDigits[(v >> 12) & 63];
        *out++ = kDigits[(v >> 6) & 63];
        *out++ = kDigits[v & 63];
    }
    if (i < size)
    {
        const bool two = i + 1 < size;
        const unsigned v = (unsigned(in[i]) << 16) | (two ? unsigned(in[i + 1]) << 8 : 0u);
        *out++ = kDigits[v >> 18];
        *out++ = kDigits[(v >> 12) & 63];
        *out++ = two ? kDigits[(v >> 6) & 63] : '=';
        *out++ = '=';
    }
    m_used += out - begin;
    CloseTag(name.data(), name.size());
}

void CXmlKeyFileWriter::BeginGroup(const QString& name)
{
    StartChild();
    const QByteArray tag = name.toUtf8();
    Put('<');
    Put(tag.constData(), tag.size());
    m_open.append({tag, false});
}

void CXmlKeyFileWriter::EndGroup()
{
    const Open group = m_open.takeLast();
    if (group.hasChildren)
    {
        const qsizetype depth = m_open.size();
        std::memset(Room(depth), ' ', size_t(depth));
        m_used += depth;
        CloseTag(group.name.constData(), group.name.size());
    }
    else
        Put("/>\n", 3);
}

QByteArray CXmlKeyFileWriter::ToBytes()
{
    while (!m_open.isEmpty())
        EndGroup();
    m_out.truncate(m_used);
    m_used = 0;
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
    // A UTF-16 unit takes at most five bytes ("&amp;", "&#xd;"; three for a
    // character of the BMP, four for a pair of units). Room is made a piece
    // at a time, so that a long text does not reserve five times its size.
    constexpr qsizetype kPiece = 4096;
    qsizetype i = 0;
    while (i < n)
    {
        const qsizetype end = std::min(n, i + kPiece);
        char* out = Room((end - i + 1) * 5); // a pair may end one unit past the piece
        char* const begin = out;
        for (; i < end; ++i)
        {
            const char16_t c = s[i];
            if (c < 0x80)
            {
                if (c >= 0x20 || c == u'\n' || c == u'\t')
                {
                    if (c == u'<')
                        out = std::copy_n("&lt;", 4, out);
                    else if (c == u'&')
                        out = std::copy_n("&amp;", 5, out);
                    else if (c == u'>' && i >= 2 && s[i - 1] == u']' && s[i - 2] == u']')
                        out = std::copy_n("&gt;", 4, out);
                    else
                        *out++ = char(c);
                }
                else if (c == u'\r')
                    out = std::copy_n("&#xd;", 5, out);
                else
                    *out++ = '?';
            }
            else if (c < 0x800)
            {
                *out++ = char(0xC0 | (c >> 6));
                *out++ = char(0x80 | (c & 0x3F));
            }
            else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1]))
            {
                const char32_t u = QChar::surrogateToUcs4(c, s[i + 1]);
                *out++ = char(0xF0 | (u >> 18));
                *out++ = char(0x80 | ((u >> 12) & 0x3F));
                *out++ = char(0x80 | ((u >> 6) & 0x3F));
                *out++ = char(0x80 | (u & 0x3F));
                ++i;
            }
            else if (QChar::isSurrogate(c) || c == 0xFFFE || c == 0xFFFF)
                *out++ = '?';
            else
            {
                *out++ = char(0xE0 | (c >> 12));
                *out++ = char(0x80 | ((c >> 6) & 0x3F));
                *out++ = char(0x80 | (c & 0x3F));
            }
        }
        m_used += out - begin;
    }
}

bool CXmlKeyFileWriter::WriteFile(const QString& path, const QByteArray& bytes, QString* error)
{
    const CSafeSave::Result result = CSafeSave::WriteBytes(path, bytes);
    if (!result.Ok() && error)
        *error = CSafeSave::Describe(path, result);
    return result.Ok();
}
