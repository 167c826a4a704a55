#include "app/CTextCellDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace
{
// Laid-out texts kept at most; a full file has a few hundred distinct ones.
constexpr int kMaxKept = 8192;
} // namespace

const QStaticText& CTextCellDelegate::Prepared(const QString& text, const QFont& font) const
{
    if (font != m_font || m_texts.size() >= kMaxKept)
    {
        m_texts.clear();
        m_font = font;
    }
    auto known = m_texts.find(text);
    if (known == m_texts.end())
    {
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.prepare(QTransform(), font);
        known = m_texts.insert(text, laidOut);
    }
    return *known;
}

void CTextCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The focused cell (one per view) is left to the style, which draws its
    // text differently.
    const bool plain = !opt.text.isEmpty() && !opt.text.contains(QLatin1Char('\n')) &&
                       !(opt.state & QStyle::State_HasFocus) &&
                       !(opt.features & (QStyleOptionViewItem::HasDecoration |
                                         QStyleOptionViewItem::HasCheckIndicator));
    if (!plain)
    {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The text rectangle and margins the style itself lays the text into;
    // they depend on the cell's size only, and asking a style sheet's style
    // for them costs as much as drawing the text.
    const QSize cell = opt.rect.size();
    if (cell != m_cellSize || style != m_style)
    {
        QRect inner = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        inner.adjust(margin, 0, -margin, 0);
        m_textMargins = QMargins(inner.left() - opt.rect.left(), inner.top() - opt.rect.top(),
                                 opt.rect.right() - inner.right(),
                                 opt.rect.bottom() - inner.bottom());
        m_cellSize = cell;
        m_style = style;
    }
    const QRect textRect = opt.rect.marginsRemoved(m_textMargins);
    const QStaticText& text = Prepared(opt.text, opt.font);
    const QSize size = text.size().toSize();
    if (size.width() > textRect.width())
    {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }

    opt.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    QPalette::ColorGroup group =
        (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(opt.state & QStyle::State_Active))
        group = QPalette::Inactive;
    painter->save();
    painter->setPen(opt.palette.color(group, (opt.state & QStyle::State_Selected)
                                                 ? QPalette::HighlightedText
                                                 : QPalette::Text));
    painter->setFont(opt.font);
    painter->setClipRect(opt.rect, Qt::IntersectClip);
    // Rows placed as the style's layout places them: the line's height
    // aligned in whole pixels, the text's own width aligned exactly.
    const QRect rows = QStyle::alignedRect(opt.direction, opt.displayAlignment,
                                           QSize(textRect.width(), size.height()), textRect);
    const qreal width = text.size().width();
    const Qt::Alignment horizontal =
        QStyle::visualAlignment(opt.direction, opt.displayAlignment) & Qt::AlignHorizontal_Mask;
    qreal x = textRect.left();
    if (horizontal & Qt::AlignHCenter)
        x += (textRect.width() - width) / 2;
    else if (horizontal & Qt::AlignRight)
        x += textRect.width() - width;
    painter->drawStaticText(QPointF(x, rows.top()), text);
    painter->restore();
}
