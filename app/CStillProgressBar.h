#pragma once

#include <QProgressBar>

// A progress bar that moves only when its value does. The style's own
// animation of a bar in progress (moving stripes) repaints the bar, and the
// status bar under it, many times a second and keeps a 60 Hz timer running
// in the window thread for as long as a download lasts: the cost of the
// window's download is then mostly that animation.
class CStillProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit CStillProgressBar(QWidget* parent = nullptr) : QProgressBar(parent) {}

    // Animation steps the style asked for and was refused (a test's hook).
    int AnimationUpdates() const { return m_animationUpdates; }

protected:
    bool event(QEvent* event) override;

private:
    int m_animationUpdates = 0;
};
