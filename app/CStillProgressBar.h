#pragma once

#include <QProgressBar>

// A progress bar that moves only when its value does. The style animates
// the stripes of any bar in progress: that repainted the bar, and the status
// bar under it, several times a second and kept a 60 Hz timer running in the
// window thread for as long as a download lasted, a good part of what the
// window spent on it. A busy bar (no total yet) keeps its animation: it is
// the only sign that the work goes on.
class CStillProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit CStillProgressBar(QWidget* parent = nullptr) : QProgressBar(parent) {}

protected:
    bool event(QEvent* event) override;
};
