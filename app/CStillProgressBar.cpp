#include "app/CStillProgressBar.h"

#include <QEvent>

bool CStillProgressBar::event(QEvent* event)
{
    if (event->type() != QEvent::StyleAnimationUpdate)
        return QProgressBar::event(event);
    // Left unaccepted, the style stops the animation (and its timer); the
    // next paint starts another, stopped again at its first step.
    ++m_animationUpdates;
    event->ignore();
    return true;
}
