#include "app/CScreenFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <algorithm>

CScreenFit::Placement CScreenFit::Place(const QRect& saved, const QList<QRect>& screens,
                                        const QMargins& frame)
{
    Placement out;
    out.geometry = saved;
    if (screens.isEmpty())
        return out;

    // The screen holding most of the window; none: the primary one, centred.
    const QRect outer = saved.marginsAdded(frame);
    int best = -1;
    qint64 bestArea = 0;
    for (int i = 0; i < screens.size(); ++i)
    {
        const QRect common = screens.at(i).intersected(outer);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea)
        {
            best = i;
            bestArea = area;
        }
    }
    const bool offScreen = best < 0;
    const QRect screen = screens.at(offScreen ? 0 : best);
    const QRect room = screen.marginsRemoved(frame);

    QSize size = saved.size();
    if (size.width() > room.width() || size.height() > room.height())
    {
        out.maximize = true;
        size = size.boundedTo(room.size());
    }
    QRect placed(saved.topLeft(), size);
    if (offScreen)
        placed.moveCenter(room.center());
    placed.moveLeft(std::clamp(placed.left(), room.left(), room.right() - size.width() + 1));
    placed.moveTop(std::clamp(placed.top(), room.top(), room.bottom() - size.height() + 1));
    out.geometry = placed;
    return out;
}

QSize CScreenFit::FitMinimum(const QSize& minimum, const QSize& available)
{
    return minimum.boundedTo(available);
}

QMargins CScreenFit::FrameOf(QWidget* window)
{
    if (QWindow* handle = window->windowHandle())
    {
        const QMargins frame = handle->frameMargins();
        if (!frame.isNull())
            return frame;
    }
    const int border = 4;
    return QMargins(border, window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + border,
                    border, border);
}

void CScreenFit::FitMinimumToScreen(QWidget* window)
{
    QScreen* screen = window->screen();
    if (!screen)
        return;
    const QSize available = screen->availableGeometry().marginsRemoved(FrameOf(window)).size();
    window->setMinimumSize(FitMinimum(window->minimumSize(), available));
}

namespace
{
class CScreenFitWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show)
            return false;
        auto* window = qobject_cast<QWidget*>(watched);
        if (!window || !window->isWindow() || window->isMaximized() || window->isFullScreen())
            return false;
        CScreenFit::FitMinimumToScreen(window);
        QList<QRect> screens;
        if (QScreen* own = window->screen())
            screens << own->availableGeometry();
        const CScreenFit::Placement placed =
            CScreenFit::Place(window->geometry(), screens, CScreenFit::FrameOf(window));
        if (placed.geometry != window->geometry())
            window->setGeometry(placed.geometry);
        return false;
    }
};
} // namespace

void CScreenFit::Watch(QWidget* window)
{
    window->installEventFilter(new CScreenFitWatcher(window));
}
