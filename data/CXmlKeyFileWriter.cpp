#include "data/CXmlKeyFileWriter.h"

#include "core/CSafeSave.h"

namespace
{
// The DOM writer passes characters through that XML does not allow (control
// characters other than TAB, LF and CR, unpaired surrogates, U+FFFE/U+FFFF);
// one such character in a name would make the whole file unreadable. They
// are stored as '?', as the names' code page does with characters it lacks.
QString XmlSafe(const QString& text)
{
    QString safe = text;
    for (qsizetype i = 0; i < safe.size(); ++i)
    {
        const char16_t c = safe.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < safe.size() && safe.at(i + 1).isLowSurrogate())
        {
            ++i;
            continue;
        }
        const bool allowed = c == 0x09 || c == 0x0A || c == 0x0D ||
                             (c >= 0x20 && !QChar::isSurrogate(c) && c != 0xFFFE && c != 0xFFFF);
        if (!allowed)
            safe[i] = QLatin1Char('?');
    }
    return safe;
}
} // namespace

CXmlKeyFileWriter::CXmlKeyFileWriter(const QString& rootName) : m_document(rootName)
{
    m_root = m_document.createElement(rootName);
    m_document.appendChild(m_root);
}

QDomElement CXmlKeyFileWriter::AddValue(QDomElement parent, const QString& name,
                                        const QString& text)
{
    QDomElement element = m_document.createElement(name);
    parent.appendChild(element);
    element.appendChild(m_document.createTextNode(XmlSafe(text)));
    return element;
}

QDomElement CXmlKeyFileWriter::AddGroup(QDomElement parent, const QString& name)
{
    QDomElement element = m_document.createElement(name);
    parent.appendChild(element);
    return element;
}

QByteArray CXmlKeyFileWriter::ToBytes() const
{
    return m_document.toByteArray(1);
}

bool CXmlKeyFileWriter::WriteFile(const QString& path, const QByteArray& bytes, QString* error)
{
    const CSafeSave::Result result = CSafeSave::WriteBytes(path, bytes);
    if (!result.Ok() && error)
        *error = CSafeSave::Describe(path, result);
    return result.Ok();
}
