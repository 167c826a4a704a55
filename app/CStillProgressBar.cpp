#include "app/CStillProgressBar.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

bool CStillProgressBar::event(QEvent* event)
{
    if (event->type() != QEvent::StyleAnimationUpdate || Busy())
        return QProgressBar::event(event);
    // Left unaccepted, the style stops the animation (and its timer).
    event->ignore();
    return true;
}

int CStillProgressBar::ChunkWidth(int frameWidth, int minimum, int maximum, int value)
{
    const int inside = frameWidth - 2;
    const qint64 span = qint64(maximum) - minimum;
    if (inside <= 0 || span <= 0)
        return 0;
    const qint64 done = std::clamp<qint64>(qint64(value) - minimum, 0, span);
    return int(done * inside / span);
}

void CStillProgressBar::paintEvent(QPaintEvent* event)
{
    // The busy bar, a vertical one and one with its text are the style's.
    if (Busy() || orientation() != Qt::Horizontal || isTextVisible())
    {
        QProgressBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QPalette& colours = palette();
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.setPen(colours.color(QPalette::Window).darker(140));
    painter.setBrush(colours.base());
    painter.drawRect(frame);
    const int chunk = ChunkWidth(width(), minimum(), maximum(), value());
    if (chunk <= 0)
        return;
    // Filled from the start of the reading direction.
    const bool fromRight = invertedAppearance() != (layoutDirection() == Qt::RightToLeft);
    const int left = fromRight ? width() - 1 - chunk : 1;
    const QRect filled(left, 1, chunk, height() - 2);
    // The style's shading and outline, drawn without anti-aliasing: a row a
    // span, too few for Qt to share among its threads.
    const QColor highlight = colours.color(QPalette::Highlight);
    QLinearGradient shade(filled.topLeft(), filled.bottomLeft());
    shade.setColorAt(0, highlight.lighter(120));
    shade.setColorAt(1, highlight);
    painter.fillRect(filled, shade);
    painter.setPen(highlight.darker(140));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(filled.adjusted(0, 0, -1, -1));
}
