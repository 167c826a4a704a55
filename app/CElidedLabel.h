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

    // The widest the label may be (the window's share for it).
    void SetWidthLimit(int limit);
    // Held (height > 0): the label keeps a fixed size, the given height and a
    // width that grows with a longer text up to the limit but does not shrink
    // with a shorter one. A text changed many times a second then does not lay
    // out and repaint the whole status bar each time. 0 lets go.
    void HoldSize(int height);
    // setText, within the held size.
    void SetText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool m_elided = false;
    int m_widthLimit = QWIDGETSIZE_MAX;
    bool m_held = false;
    int WidthFor(const QString& text) const;
};
