#pragma once

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QString>

// Builds one of the program's XML key files: a document type naming the
// root, the root element, and below it named elements that each hold one
// text. Serialised with one blank of indentation per level, UTF-8, without an
// XML declaration.
class CXmlKeyFileWriter
{
public:
    explicit CXmlKeyFileWriter(const QString& rootName);

    QDomElement Root() const { return m_root; }

    // An element holding a value: always exactly one text node, even when
    // the text is empty.
    QDomElement AddValue(QDomElement parent, const QString& name, const QString& text);
    QDomElement AddValue(const QString& name, const QString& text)
    {
        return AddValue(m_root, name, text);
    }
    // An element that only groups other elements (FILE1 of a database).
    QDomElement AddGroup(QDomElement parent, const QString& name);
    QDomElement AddGroup(const QString& name) { return AddGroup(m_root, name); }

    QByteArray ToBytes() const;

    // Writes the bytes atomically through CSafeSave: the previous file is
    // replaced only once the new content is complete on disk, and a target
    // that is no regular file is refused. False when the file cannot be
    // created or written; error (optional) gets CSafeSave::Describe's text,
    // which names the file and the reason.
    static bool WriteFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

private:
    QDomDocument m_document;
    QDomElement m_root;
};
