#pragma once

#include "archive/CSurveyArchive.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QWaitCondition>
#include <memory>

class QThread;

// Archives on a thread of its own, so that a slow or silent server never
// stops the window: the requests are taken one after the other, each with a
// connection of its own (a database connection belongs to the thread that
// made it). The outcome of each comes back as a signal in the owner's thread.
// Destroyed, it first finishes every request it was given.
class CArchiveWorker : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QString location;
        DataFileList files;
        MaterialList materials;
        CSurveyArchive::Source source;
        int kind = 0; // the owner's own tag, given back with the outcome
    };

    explicit CArchiveWorker(QObject* parent = nullptr);
    ~CArchiveWorker() override;

    void Add(const Request& request);
    // Requests given and not yet answered (the one running included).
    int Pending() const { return m_pending; }

signals:
    // ok false: result.error says why (the archive could not be opened, or
    // the archiving failed and was undone).
    void Finished(int kind, const CSurveyArchive::AddResult& result);

private:
    void Run();

    std::unique_ptr<QThread> m_thread;
    QMutex m_mutex;
    QWaitCondition m_wake;
    QList<Request> m_queue;
    bool m_stop = false;
    int m_pending = 0; // the owner's thread only
};
