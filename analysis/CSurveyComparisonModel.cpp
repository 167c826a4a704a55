// The comparison's table model, apart from the comparison itself: the
// command line prints and writes its texts without Qt Gui, where the models
// live.
#include "analysis/CSurveyComparison.h"

#include <QStandardItemModel>

void CSurveyComparison::FillModel(QStandardItemModel* model) const
{
    if (!model)
        return;
    model->clear();
    const QStringList headers = Headers();
    model->setColumnCount(int(headers.size()));
    model->setRowCount(int(m_rows.size()));
    model->setHorizontalHeaderLabels(headers);
    const int lifeColumn = m_hasPrevious ? LifeColumn : -1;
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;
    for (int r = 0; r < m_rows.size(); ++r)
    {
        const Row& row = m_rows.at(r);
        const QStringList texts = RowTexts(r);
        for (int c = 0; c < texts.size(); ++c)
        {
            auto* item = new QStandardItem(texts.at(c));
            item->setData(int(row.flag), FlagRole);
            if (c + 1 < texts.size())
                item->setTextAlignment(centred);
            if (c == lifeColumn && !row.lifeReason.isEmpty())
                item->setToolTip(row.lifeReason);
            model->setItem(r, c, item);
        }
    }
}
