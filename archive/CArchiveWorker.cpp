#include "archive/CArchiveWorker.h"

#include <QThread>

CArchiveWorker::CArchiveWorker(QObject* parent) : QObject(parent)
{
    m_thread.reset(QThread::create([this] { Run(); }));
    m_thread->setObjectName(QStringLiteral("archive"));
    m_thread->start();
}

CArchiveWorker::~CArchiveWorker()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_wake.wakeAll();
    }
    m_thread->wait();
}

void CArchiveWorker::Add(const Request& request)
{
    ++m_pending;
    QMutexLocker lock(&m_mutex);
    m_queue.append(request);
    m_wake.wakeAll();
}

void CArchiveWorker::Run()
{
    for (;;)
    {
        Request request;
        {
            QMutexLocker lock(&m_mutex);
            while (m_queue.isEmpty() && !m_stop)
                m_wake.wait(&m_mutex);
            // Stopping: what was given is still archived first.
            if (m_queue.isEmpty())
                return;
            request = m_queue.takeFirst();
        }
        CSurveyArchive::AddResult result;
        {
            CSurveyArchive archive;
            if (archive.Open(request.location))
                result = archive.AddSurveys(request.files, request.materials, request.source);
            else
                result.error = archive.ErrorText();
        }
        // Told in the owner's thread; dropped when the owner is gone.
        QMetaObject::invokeMethod(
            this,
            [this, kind = request.kind, result]
            {
                --m_pending;
                emit Finished(kind, result);
            },
            Qt::QueuedConnection);
    }
}
