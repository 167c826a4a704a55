#include "core/CClock.h"

#include <QMutex>

namespace
{
QMutex s_lock;
QDateTime s_pinned;
} // namespace

QDateTime CClock::Now()
{
    QMutexLocker locker(&s_lock);
    return s_pinned.isValid() ? s_pinned : QDateTime::currentDateTime();
}

QDate CClock::Today() { return Now().date(); }

void CClock::Pin(const QDateTime& moment)
{
    QMutexLocker locker(&s_lock);
    s_pinned = moment;
}

void CClock::Unpin()
{
    QMutexLocker locker(&s_lock);
    s_pinned = QDateTime();
}

bool CClock::IsPinned()
{
    QMutexLocker locker(&s_lock);
    return s_pinned.isValid();
}
