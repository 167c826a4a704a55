#include "app/CTableFitter.h"

#include <QEvent>
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QTableView>

namespace
{
constexpr int kSampleRows = 64;
}

CTableFitter::CTableFitter(QTableView* view)
    : QObject(view), m_view(view), m_viewport(view->viewport())
{
    m_view->horizontalHeader()->setStretchLastSection(false);
    // Contents widths from the visible rows and a spread sample of the rest:
    // a file's cells share one format, and measuring every row of a large
    // file was most of the time between a click on it and its table painted.
    m_view->horizontalHeader()->setResizeContentsPrecision(kSampleRows);
    m_viewport->installEventFilter(this);
}

void CTableFitter::Refit()
{
    m_view->resizeColumnsToContents();
    QHeaderView* header = m_view->horizontalHeader();
    m_contentWidths.clear();
    for (int c = 0; c < header->count(); ++c)
        m_contentWidths.append(header->sectionSize(c));
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
