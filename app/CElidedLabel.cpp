#include "app/CElidedLabel.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

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
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + 2 * margin() + 2, fm.height()};
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
