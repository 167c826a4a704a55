#pragma once

// The DOM writer the key files were written with before, kept as the
// reference that the program's writer must match byte for byte (tests) and
// as the "before" of the save benchmark.

#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"

#include <QDomDocument>

namespace DomKeyFile
{
// The previous writer, kept as it was: a DOM tree serialised with one blank
// of indentation, characters XML does not allow replaced by '?'.
class DomWriter
{
public:
    explicit DomWriter(const QString& rootName) : m_document(rootName)
    {
        m_root = m_document.createElement(rootName);
        m_document.appendChild(m_root);
    }
    QDomElement Root() const { return m_root; }
    QDomElement AddValue(QDomElement parent, const QString& name, const QString& text)
    {
        QDomElement element = m_document.createElement(name);
        parent.appendChild(element);
        element.appendChild(m_document.createTextNode(XmlSafe(text)));
        return element;
    }
    QDomElement AddGroup(QDomElement parent, const QString& name)
    {
        QDomElement element = m_document.createElement(name);
        parent.appendChild(element);
        return element;
    }
    QByteArray ToBytes() const { return m_document.toByteArray(1); }

private:
    static QString XmlSafe(const QString& text)
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
            const bool allowed =
                c == 0x09 || c == 0x0A || c == 0x0D ||
                (c >= 0x20 && !QChar::isSurrogate(c) && c != 0xFFFE && c != 0xFFFF);
            if (!allowed)
                safe[i] = QLatin1Char('?');
        }
        return safe;
    }

    QDomDocument m_document;
    QDomElement m_root;
};

// The old layout of a data file, through the DOM writer.
inline void DomFileElements(DomWriter& writer, QDomElement parent, const DataFileRecord& file,
                            const QString& name)
{
    writer.AddValue(parent, QStringLiteral("NAME"), name);
    writer.AddValue(parent, QStringLiteral("SERIAL_NUMBER"),
                    QString::number(quint32(file.header.serialNumber)));
    writer.AddValue(parent, QStringLiteral("FW_VERSION"),
                    QString::number(quint32(file.header.fwVersion)));
    writer.AddValue(parent, QStringLiteral("AUDIO_INDEX"), QString::number(file.header.audioIndex));
    writer.AddValue(parent, QStringLiteral("RECORDS"), QString::number(file.header.records));
    for (int i = 0; i < file.cells.size(); ++i)
        writer.AddValue(parent, QStringLiteral("DATA_ROW") + QString::number(i + 1),
                        CCellDecoder::ToBase64(file.cells.at(i)));
}

inline QByteArray DatabaseDocument(const DataFileList& list)
{
    DomWriter old(CDataStorage::DatabaseRootName());
    old.AddValue(old.Root(), QStringLiteral("FILES"), QString::number(list.size()));
    for (int i = 0; i < list.size(); ++i)
    {
        const QDomElement group =
            old.AddGroup(old.Root(), QStringLiteral("FILE") + QString::number(i + 1));
        DomFileElements(old, group, list.at(i), CDataStorage::FileName(list.at(i)));
    }
    return old.ToBytes();
}
} // namespace DomKeyFile
