#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <unistd.h>

// Ends the process as soon as the watched window has painted for the first
// time: teardown is not part of what the user waits for at start-up.
class FirstPaint : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
        {
            // After the paint itself has run.
            QObject::eventFilter(watched, event);
            QMetaObject::invokeMethod(
                qApp, [] { _exit(0); }, Qt::QueuedConnection);
        }
        return false;
    }
};
