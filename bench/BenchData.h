#pragma once

#include "data/GaugeRecords.h"

#include <QList>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstring>

// Synthetic measurement data and figures shared by the benchmarks.
namespace BenchData
{
// A fixed linear congruential sequence: every run measures the same data.
class Sequence
{
public:
    explicit Sequence(quint32 seed) : m_seed(seed) {}
    quint32 operator()()
    {
        m_seed = m_seed * 1103515245u + 12345u;
        return m_seed >> 8;
    }

private:
    quint32 m_seed;
};

// One realistic cell; flags cycle through decimal settings 0 … kinds−1.
inline CellRecord RandomCell(Sequence& next, quint32 kinds)
{
    CellRecord cell{};
    cell.flags = quint8((next() % kinds) << 1);
    cell.intPart = quint16(next() % 700);
    cell.fracPart = quint8(next() % 100);
    cell.velocity = quint16(5900 + next() % 400);
    std::memcpy(cell.pepIdent, "P112-5", 6);
    cell.pepSerial = 123456;
    cell.time = quint16(((next() % 24) << 8) | (next() % 60));
    cell.date = quint16((26u << 9) | ((1 + next() % 12) << 5) | (1 + next() % 28));
    cell.temperature = qint8(int(next() % 60) - 20);
    return cell;
}

inline double Median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}
// The value of --runs N among a benchmark's arguments (at least 1).
inline int Runs(const QStringList& args, int fallback = 15)
{
    const int at = int(args.indexOf(QStringLiteral("--runs")));
    return at > 0 && at + 1 < args.size() ? std::max(1, args.at(at + 1).toInt()) : fallback;
}

// One line of figures in milliseconds: min, median, max.
inline void PrintMs(const char* what, QList<double> v)
{
    std::sort(v.begin(), v.end());
    std::printf("%-34s min %7.2f  median %7.2f  max %7.2f ms\n", what, v.first(), Median(v),
                v.last());
}
} // namespace BenchData
