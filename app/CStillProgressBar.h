#pragma once

#include <QProgressBar>

// A progress bar that moves only when its value does, and is drawn plainly
// while it has a total: a frame and a chunk, in the palette's colours.
//
// The style's bar cost the window most of what it spent on a download at the
// line's pace. Its animation ran on all along: it repainted the bar, and the
// status bar under it, several times a second from a 60 Hz timer in the
// window thread. And every step drawn anew (its anti-aliased gradient chunk)
// handed the filling to Qt's helper threads and waited for them, and started
// the animation again: three wake-ups of the window thread and two of the
// helpers for each pixel the bar moved. A busy bar (no total yet) is the
// style's, animation and all: it is the only sign then that work goes on.
class CStillProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit CStillProgressBar(QWidget* parent = nullptr) : QProgressBar(parent) {}

    // The chunk's width within a frame of the given width: the inside of the
    // frame in proportion to the value, whole pixels, never outside it.
    static int ChunkWidth(int frameWidth, int minimum, int maximum, int value);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool Busy() const { return minimum() == 0 && maximum() == 0; }
};
