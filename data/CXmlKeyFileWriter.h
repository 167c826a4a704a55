#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Writes one of the program's XML key files straight into its bytes: a
// document type naming the root, the root element, and below it named
// elements that each hold one text, or groups of such elements. One blank of
// indentation per level, UTF-8, no XML declaration.
//
// Elements are written in the order they are added; a group stays open until
// EndGroup(), and ToBytes() closes whatever is still open.
class CXmlKeyFileWriter
{
public:
    // expectedBytes (optional) reserves the buffer up front.
    explicit CXmlKeyFileWriter(const QString& rootName, qsizetype expectedBytes = 0);

    // An element holding a value, in the innermost open group (or the root).
    void AddValue(QLatin1StringView name, const QString& text);
    void AddValue(const QString& name, const QString& text);
    // Opens an element that only groups other elements (FILE1 of a database).
    void BeginGroup(const QString& name);
    void EndGroup();

    // The finished document; the writer is spent afterwards.
    QByteArray ToBytes();

    // Writes the bytes atomically through CSafeSave: the previous file is
    // replaced only once the new content is complete on disk, and a target
    // that is no regular file is refused. False when the file cannot be
    // created or written; error (optional) gets CSafeSave::Describe's text,
    // which names the file and the reason.
    static bool WriteFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

private:
    struct Open
    {
        QByteArray name;
        bool hasChildren = false;
    };

    void StartChild();
    void Indent(qsizetype depth);
    void OpenTag(const char* name, qsizetype size);
    void AppendText(const QString& text);

    QByteArray m_out;
    QList<Open> m_open;
};
