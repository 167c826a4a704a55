#include "app/CElidedLabel.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <algorithm>

CElidedLabel::CElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QSize CElidedLabel::minimumSizeHint() const
{
    // Room for a few letters and the ellipsis; the rest is the window's.
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QStringLiteral("Данн…")), fm.height()};
}

QSize CElidedLabel::sizeHint() const
{
    return {WidthFor(text()), QFontMetrics(font()).height()};
}

int CElidedLabel::WidthFor(const QString& text) const
{
    return QFontMetrics(font()).horizontalAdvance(text) + 2 * margin() + 2;
}

void CElidedLabel::SetWidthLimit(int limit)
{
    m_widthLimit = limit;
    if (!m_held)
        setMaximumWidth(limit);
    else if (width() > limit || maximumWidth() > limit)
        setFixedWidth(std::min(maximumWidth(), limit));
}

void CElidedLabel::HoldSize(int height)
{
    if (height > 0)
    {
        if (m_held && minimumHeight() == height)
            return;
        m_held = true;
        setFixedSize(std::min(WidthFor(text()), m_widthLimit), height);
        return;
    }
    if (!m_held)
        return;
    m_held = false;
    setMinimumSize(0, 0);
    setMaximumSize(m_widthLimit, QWIDGETSIZE_MAX);
}

void CElidedLabel::SetText(const QString& text)
{
    if (m_held)
    {
        const int width = std::min(WidthFor(text), m_widthLimit);
        if (width > maximumWidth())
            setFixedWidth(width);
    }
    setText(text);
}

void CElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    m_elided = shown != text();
    style()->drawItemText(&painter, area, int(alignment() | Qt::AlignVCenter), palette(),
                          isEnabled(), shown, foregroundRole());
}

bool CElidedLabel::event(QEvent* event)
{
    // The full text as tool tip, only when part of it is hidden.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty())
    {
        auto* help = static_cast<QHelpEvent*>(event);
        if (m_elided)
            QToolTip::showText(help->globalPos(), text(), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}
