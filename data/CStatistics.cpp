#include "data/CStatistics.h"

#include "data/CCellDecoder.h"

#include <QCoreApplication>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace
{
QString Tr(const char* text)
{
    return QCoreApplication::translate("CStatistics", text);
}
// Fixed notation with "." whatever the locale. A value exactly halfway
// between two printed figures goes to the even digit (0.125 -> "0.12"), as C's
// printf and independent float32 calculations do; QString::number would round
// it away from zero.
QString Fixed(float value, int decimals)
{
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof(buffer), double(value),
                                                 std::chars_format::fixed, decimals);
    if (r.ec != std::errc())
        return QString::number(double(value), 'f', decimals);
    return QString::fromLatin1(buffer, int(r.ptr - buffer));
}
} // namespace

CStatistics::Result CStatistics::Compute(const QList<Reading>& readings)
{
    Result result;
    QList<float> valid;
    valid.reserve(readings.size());
    for (const Reading& r : readings)
        if (CCellDecoder::IsValidValue(r.value, r.unit))
            valid.append(r.value);

    result.count = int(readings.size());
    result.validCount = int(valid.size());
    auto write = [&result](int row, const QString& text)
    {
        result.values[row] = text;
        result.written[row] = true;
    };
    write(CountRow, QString::number(result.count));
    write(ValidCountRow, QString::number(result.validCount));
    write(LosCountRow, QString::number(result.count - result.validCount));
    if (valid.isEmpty())
    {
        result.reach = NoValidValues;
        return result;
    }

    float minimum = valid.first();
    float maximum = valid.first();
    float sum = 0.0f;
    for (float v : valid)
    {
        minimum = std::min(minimum, v);
        maximum = std::max(maximum, v);
        sum += v;
    }
    // Reciprocal first, then the product: the figures must match the gauge's
    // reports to the last digit.
    const float reciprocal = 1.0f / float(valid.size());
    const float mean = reciprocal * sum;
    write(MinRow, Fixed(minimum, 2));
    write(MaxRow, Fixed(maximum, 2));
    write(MeanRow, Fixed(mean, 2));
    write(RangeRow, Fixed(maximum - minimum, 2));
    if (valid.size() < 2)
    {
        result.reach = OneValidValue;
        return result;
    }

    const float n = float(valid.size());
    const float a = 1.0f / n;
    const float k = n / (n - 1.0f);
    float ss = 0.0f;
    for (float v : valid)
    {
        const float d = v - mean;
        const double term = std::pow(double(d), 2.0);
        ss = float(double(ss) + term);
    }
    const float dispersion = a * ss;
    const float rms = float(std::sqrt(double(dispersion)));
    const float product = dispersion * k;
    const float sd = float(std::sqrt(double(product)));
    write(StdDeviationRow, Fixed(sd, 3));
    write(RmsDeviationRow, Fixed(rms, 3));
    write(DispersionRow, Fixed(dispersion, 3));

    std::sort(valid.begin(), valid.end());
    const int half = int(valid.size()) / 2;
    float median;
    if (valid.size() % 2 != 0)
        median = valid.at(half);
    else
        median = float((valid.at(half - 1) + valid.at(half)) * 0.5);
    write(MedianRow, Fixed(median, 2));
    result.reach = AllRows;
    return result;
}

QString CStatistics::NotEnoughDataLabelText()
{
    return Tr("ВНИМАНИЕ: не достаточно данных в файле для вычисления статистических данных!");
}

QString CStatistics::NotEnoughDataWarningText()
{
    return Tr("Не достаточно данных для вычисления статистическийх значений.");
}

QString CStatistics::SomeValuesWarningText()
{
    return Tr("Не достаточно данных для вычисления некоторых статистическийх значений.");
}
