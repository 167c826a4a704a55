#pragma once

#include <QFont>
#include <QHash>
#include <QMargins>
#include <QSize>
#include <QStaticText>
#include <QStyledItemDelegate>

// Paints plain text cells from texts laid out once and kept: a table whose
// rows repeat a handful of texts (units, materials, dates) repaints without
// laying every text out again, which was most of painting a results table.
// The panel (background, selection, focus) is still the style's; a text that
// does not fit its cell, the focused cell, or a cell with an icon or a check
// box, is left to the standard delegate (which elides).
class CTextCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    const QStaticText& Prepared(const QString& text, const QFont& font) const;

    mutable QHash<QString, QStaticText> m_texts;
    mutable QFont m_font;
    mutable QSize m_cellSize;
    mutable const QStyle* m_style = nullptr;
    mutable QMargins m_textMargins;
};
