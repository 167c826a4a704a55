#include "app/CStillProgressBar.h"

#include <QEvent>

bool CStillProgressBar::event(QEvent* event)
{
    const bool busy = minimum() == 0 && maximum() == 0;
    if (event->type() != QEvent::StyleAnimationUpdate || busy)
        return QProgressBar::event(event);
    // Left unaccepted, the style stops the animation (and its timer); the
    // next paint starts another, stopped again at its first step.
    event->ignore();
    return true;
}
