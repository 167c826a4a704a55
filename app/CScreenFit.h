#pragma once

#include <QList>
#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

// Keeps windows on the screens there are: a geometry saved on a larger or
// now missing screen, and minimum sizes made for a larger screen.
class CScreenFit
{
public:
    struct Placement
    {
        QRect geometry;        // client area
        bool maximize = false; // larger than the screen: open maximised
    };

    // Where a window saved at `saved` (client area) opens, given the
    // available geometry of each screen, the primary one first, and the
    // window frame around the client area.
    static Placement Place(const QRect& saved, const QList<QRect>& screens,
                           const QMargins& frame = QMargins());

    // A minimum size no larger than the available size.
    static QSize FitMinimum(const QSize& minimum, const QSize& available);

    // The frame the window system draws around the window; a title bar and
    // thin borders while the window system has not told it yet.
    static QMargins FrameOf(QWidget* window);

    // Lowers the widget's minimum size to the available geometry of its screen.
    static void FitMinimumToScreen(QWidget* window);
    // Watches a top-level window: every showing fits its minimum size and
    // moves it onto its screen.
    static void Watch(QWidget* window);
};
