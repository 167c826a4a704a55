#pragma once

#include <QLabel>

// A status-bar label that never widens its window: a text longer than the
// room it gets is drawn with an ellipsis, and the whole text is its tool tip.
// text() keeps the full text.
class CElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit CElidedLabel(const QString& text = QString(), QWidget* parent = nullptr);
    // As a form makes it.
    explicit CElidedLabel(QWidget* parent) : CElidedLabel(QString(), parent) {}

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    // True when the last paint had to cut the text.
    bool IsElided() const { return m_elided; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool m_elided = false;
};
