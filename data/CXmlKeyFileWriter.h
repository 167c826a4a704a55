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
    // An element holding the Base64 text (with padding) of size bytes.
    void AddBase64Value(QLatin1StringView name, const void* data, qsizetype size);
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
    void OpenTag(const char* name, qsizetype size);
    void CloseTag(const char* name, qsizetype size);
    void AppendText(const QString& text);

    // Room for n more bytes at the end of the output; the caller moves m_used.
    char* Room(qsizetype n)
    {
        if (m_out.size() - m_used < n)
            Grow(n);
        return m_out.data() + m_used;
    }
    void Grow(qsizetype n);
    void Put(const char* bytes, qsizetype n);
    void Put(char c) { *Room(1) = c, ++m_used; }

    // The buffer is kept at its full size; m_used bytes of it are written.
    QByteArray m_out;
    qsizetype m_used = 0;
    QList<Open> m_open;
};
