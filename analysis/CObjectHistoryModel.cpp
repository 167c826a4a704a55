// The history's table model, apart from the figures: the command line
// prints and writes the history's texts without Qt Gui, where the models live.
#include "analysis/CObjectHistory.h"

#include <QCoreApplication>
#include <QStandardItemModel>
#include <cmath>
#include <limits>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CObjectHistory", text);
}
} // namespace

void CObjectHistory::FillModel(QStandardItemModel* model) const
{
    if (!model)
        return;
    model->clear();
    const QStringList headers = Headers();
    model->setColumnCount(int(headers.size()));
    model->setRowCount(int(m_locations.size()));
    model->setHorizontalHeaderLabels(headers);
    // Absent figures sort after every present one.
    const double absent = std::numeric_limits<double>::max();
    auto number = [absent](double v) { return QVariant(std::isnan(v) ? absent : v); };
    auto date = [](const QDate& d)
    { return QVariant(d.isValid() ? d.toJulianDay() : std::numeric_limits<qint64>::max()); };
    const Qt::Alignment centred = Qt::AlignHCenter | Qt::AlignVCenter;
    for (int r = 0; r < m_locations.size(); ++r)
    {
        const Location& l = m_locations.at(r);
        const QStringList texts = RowTexts(r);
        const QVariant sort[ColumnCount] = {
            l.cell,
            l.surveys,
            date(l.first),
            date(l.last),
            number(l.initialMm),
            number(l.previousMm),
            number(l.actualMm),
            number(l.longTermMm),
            number(l.shortTermMm),
            number(l.regressionMm),
            number(l.governingMm),
            number(l.lifeYears),
            date(l.nextDate),
            texts.at(ChecksColumn),
            texts.at(FlagColumn),
        };
        for (int c = 0; c < texts.size(); ++c)
        {
            auto* item = new QStandardItem(texts.at(c));
            item->setData(int(l.flag), FlagRole);
            item->setData(sort[c], SortRole);
            if (c + 1 < texts.size())
                item->setTextAlignment(centred);
            model->setItem(r, c, item);
        }
        if (!l.lifeReason.isEmpty())
            model->item(r, LifeColumn)->setToolTip(l.lifeReason);
        if (l.governingKind != RateMax)
            model->item(r, GoverningColumn)->setToolTip(RateKindText(l.governingKind));
        if (l.nextByMaxInterval)
            model->item(r, NextColumn)
                ->setToolTip(Tr("%1: дата последнего замера плюс максимальный интервал контроля")
                                 .arg(l.lifeReason));
    }
}
