#include "data/StatisticsRows.h"

#include <QCoreApplication>

namespace
{
const char* const s_descriptions[StatisticsRows::Count] = {
    QT_TRANSLATE_NOOP("StatisticsRows", "Общее число данных (замеров толщины)"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Число действительных данных (замеров толщины)"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Число LOS данных (замеров толщины)"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Минимальное значение толщины"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Максимальное значение толщины"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Среднее значение толщины"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Медиана"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Ранг (размах)"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Стандартное отклонение"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Среднеквадратичное отклонение"),
    QT_TRANSLATE_NOOP("StatisticsRows", "Дисперсия"),
};

QString Tr(const char* text)
{
    return QCoreApplication::translate("StatisticsRows", text);
}
} // namespace

QString StatisticsRows::Description(int row)
{
    if (row < 0 || row >= Count)
        return {};
    return Tr(s_descriptions[row]);
}

QString StatisticsRows::Symbol(int row)
{
    // The Coptic small letter shima stands for sigma, as on the gauge's papers.
    const QChar sigma(0x03ED);
    switch (row)
    {
    case 0:
        return Tr("N");
    case 1:
        return Tr("N(v)");
    case 2:
        return Tr("N(los)");
    case 3:
        return QStringLiteral("X(min)");
    case 4:
        return QStringLiteral("X(max)");
    case 5:
        return QStringLiteral("X(avg)");
    case 6:
        return QStringLiteral("---");
    case 7:
        return QStringLiteral("W(n)");
    case 8:
        return QStringLiteral("S");
    case 9:
        return QString(sigma);
    case 10:
        return QString(sigma) + QStringLiteral("^2");
    default:
        return {};
    }
}

QStringList StatisticsRows::Headers()
{
    return {Tr("Статистические показатели"), Tr("Обозначение"), Tr("Значение")};
}

QString StatisticsRows::EmptyValue()
{
    return Tr("н/д");
}
