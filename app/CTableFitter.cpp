#include "app/CTableFitter.h"

#include <QEvent>
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QTableView>

CTableFitter::CTableFitter(QTableView* view) : QObject(view), m_view(view)
{
    m_view->horizontalHeader()->setStretchLastSection(false);
    m_view->viewport()->installEventFilter(this);
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
    if (watched == m_view->viewport() && event->type() == QEvent::Resize)
        Spread();
    return QObject::eventFilter(watched, event);
}
