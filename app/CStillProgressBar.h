#pragma once

#include <QProgressBar>

// A progress bar that moves only when its value does. The style's animation
// of the bar ran on during a download: it repainted the bar, and the status
// bar under it, several times a second and kept a 60 Hz timer running in the
// window thread for as long as the download lasted, a good part of what the
// window spent on it. A busy bar (no total yet) keeps its animation: it is
// the only sign then that the work goes on.
class CStillProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit CStillProgressBar(QWidget* parent = nullptr) : QProgressBar(parent) {}

protected:
    bool event(QEvent* event) override;
};
