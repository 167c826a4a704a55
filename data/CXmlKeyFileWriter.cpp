#include "data/CXmlKeyFileWriter.h"

#include <QSaveFile>

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
    element.appendChild(m_document.createTextNode(text));
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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit())
    {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}
