#include "app/CTableFitter.h"

#include <QEvent>
#include <QAbstractItemModel>
#include <QHash>
#include <QSet>
#include <QHeaderView>
#include <QStyleOptionViewItem>
#include <QTableView>

CTableFitter::CTableFitter(QTableView* view)
    : QObject(view), m_view(view), m_viewport(view->viewport())
{
    m_view->horizontalHeader()->setStretchLastSection(false);
    m_viewport->installEventFilter(this);
}

namespace
{
// Rows whose estimate is within this many pixels of the widest go through
// the delegate: kerning may make any of them the widest.
constexpr int kEstimateSlack = 4;
// At most this many of those per column.
constexpr int kMaxMeasured = 12;

// Text widths estimated from per-character advances, each character measured
// once: no shaping for every text of every row.
class WidthEstimator
{
public:
    explicit WidthEstimator(const QFont& font) : m_metrics(font) {}
    int Width(const QString& text)
    {
        int width = 0;
        for (const QChar ch : text)
        {
            auto known = m_advances.constFind(ch.unicode());
            if (known == m_advances.constEnd())
                known = m_advances.insert(ch.unicode(), m_metrics.horizontalAdvance(ch));
            width += *known;
        }
        return width;
    }

private:
    QFontMetrics m_metrics;
    QHash<char16_t, int> m_advances;
};
} // namespace

void CTableFitter::Refit()
{
    QHeaderView* header = m_view->horizontalHeader();
    const QAbstractItemModel* model = m_view->model();
    m_contentWidths.clear();
    if (!model)
        return;
    // Every row counts, but the delegate (which lays out each text it
    // measures, most of a click on a full file when it measured every row)
    // only sees the few rows that may be a column's widest.
    WidthEstimator estimate(m_view->font());
    const int rows = model->rowCount();
    const int grid = m_view->showGrid() ? 1 : 0;
    QStyleOptionViewItem option;
    option.initFrom(m_view);
    option.font = m_view->font();
    QList<int> estimates(rows);
    for (int c = 0; c < header->count(); ++c)
    {
        int widest = -1;
        for (int r = 0; r < rows; ++r)
        {
            estimates[r] = estimate.Width(model->index(r, c).data().toString());
            widest = std::max(widest, estimates.at(r));
        }
        int width = header->isHidden() ? 0 : header->sectionSizeHint(c);
        // The candidates' distinct texts, widest estimate first, a bounded
        // number of them: equal estimates differ by kerning at most.
        QList<QPair<int, int>> candidates; // (estimate, row)
        QSet<QString> seen;
        for (int r = 0; r < rows; ++r)
            if (estimates.at(r) >= widest - kEstimateSlack)
            {
                const QString text = model->index(r, c).data().toString();
                if (!seen.contains(text))
                {
                    seen.insert(text);
                    candidates.append({estimates.at(r), r});
                }
            }
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (int k = 0; k < candidates.size() && k < kMaxMeasured; ++k)
        {
            const QModelIndex index = model->index(candidates.at(k).second, c);
            QAbstractItemDelegate* delegate = m_view->itemDelegateForIndex(index);
            width = std::max(width, delegate->sizeHint(option, index).width() + grid);
        }
        m_contentWidths.append(width);
    }
    Spread();
}

void CTableFitter::Spread()
{
    QHeaderView* header = m_view->horizontalHeader();
    if (m_contentWidths.size() != header->count() || m_contentWidths.isEmpty())
        return;
    int total = 0;
    for (int w : m_contentWidths)
        total += w;
    const int spare = std::max(0, m_view->viewport()->width() - total);
    const int columns = int(m_contentWidths.size());
    for (int c = 0; c < columns; ++c)
        header->resizeSection(c, m_contentWidths.at(c) + spare / columns +
                                     (c < spare % columns ? 1 : 0));
}

void CTableFitter::FixStatisticsColumns(QTableView* view)
{
    // Measured from the texts: the view may not be laid out yet.
    const QAbstractItemModel* model = view->model();
    QHeaderView* header = view->horizontalHeader();
    const QFontMetrics cellMetrics(view->font());
    const QFontMetrics headerMetrics(header->font());
    const int padding = 16;
    const int last = model->columnCount() - 1;
    for (int c = 0; c <= last; ++c)
    {
        int width =
            headerMetrics.horizontalAdvance(model->headerData(c, Qt::Horizontal).toString());
        if (c == last)
            width = std::max(width, cellMetrics.horizontalAdvance(QStringLiteral("-00000.0000")));
        else
            for (int r = 0; r < model->rowCount(); ++r)
                width = std::max(
                    width, cellMetrics.horizontalAdvance(model->index(r, c).data().toString()));
        header->resizeSection(c, width + padding);
    }
    header->setStretchLastSection(true);
}

bool CTableFitter::eventFilter(QObject* watched, QEvent* event)
{
    // The view's own parts are torn down before its children: touch it
    // only for a resize, which a widget being destroyed does not get.
    if (event->type() == QEvent::Resize && watched == m_viewport)
        Spread();
    return QObject::eventFilter(watched, event);
}
