#pragma once

#include <QTextDocument>
#include <QUrl>
#include <QVariant>

// A text document that takes nothing from outside the program: an image,
// style sheet or any other resource its HTML names is loaded only from the
// program's compiled-in resources (":/..." or "qrc:/..."); a local file, a
// device, a pipe, a data: or network URL is refused unread, whatever the text.
// Every report document on screen, on paper and in a PDF is one of these.
class CReportTextDocument : public QTextDocument
{
    Q_OBJECT

public:
    explicit CReportTextDocument(QObject* parent = nullptr);

    // A copy of a document's content and set-up (for printing without
    // disturbing the layout of the one on show); the copy loads as this
    // class does, whatever the class of the source.
    static CReportTextDocument* CopyOf(const QTextDocument* source, QObject* parent = nullptr);

    // True for the names of the program's own resources.
    static bool IsOwnResource(const QUrl& name);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};
