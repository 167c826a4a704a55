#pragma once

#include "core/CUserPrompts.h"
#include "tests/common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStringDecoder>
#include <QtTest>

#include <array>

// The CSV, PNG and PDF exports of the analysis tab's views, driven through
// the prompts seam.
namespace ViewExport
{
// One row per export, saved and refused; buttons and texts in CSV, PNG, PDF
// order.
inline void AddRows(const std::array<const char*, 3>& buttons,
                    const std::array<const char*, 3>& saved,
                    const std::array<const char*, 3>& failed)
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    const char* suffixes[] = {"csv", "png", "pdf"};
    for (int i = 0; i < 3; ++i)
    {
        QTest::addRow("%s saved", suffixes[i])
            << buttons[i] << suffixes[i] << true << QString::fromUtf8(saved[i]);
        QTest::addRow("%s refused", suffixes[i])
            << buttons[i] << suffixes[i] << false << QString::fromUtf8(failed[i]);
    }
}

// Clicks the button with path chosen in the save dialog (a folder there when
// the save must fail: it cannot be replaced by a file). The dialog opens in
// the documents folder; one message, starting with text, informs or is
// critical. The bytes written when saved.
inline void Export(CScriptedPrompts& prompts, QPushButton* button, const QString& path, bool ok,
                   const QString& text, const QString& documentsDir, QByteArray* bytes)
{
    QFile::remove(path);
    QDir(path).removeRecursively();
    if (!ok)
        QVERIFY(QDir().mkpath(path));
    prompts.fileNames.enqueue(path);
    button->click();

    QCOMPARE(prompts.records.first().kind, QStringLiteral("save"));
    QVERIFY(prompts.records.first().dir.startsWith(documentsDir));
    QCOMPARE(prompts.Messages().size(), 1);
    QVERIFY2(prompts.Messages().first().startsWith(text), qPrintable(prompts.Messages().first()));
    QCOMPARE(prompts.records.last().icon,
             ok ? CUserPrompts::IconInformation : CUserPrompts::IconCritical);
    if (ok)
        QVERIFY(QFile::exists(path));
    *bytes = ok ? ReadFile(path) : QByteArray();
}

// The lines of an exported CSV file (Windows-1251, CR LF).
inline QStringList CsvLines(const QByteArray& bytes)
{
    QStringDecoder decode("windows-1251");
    return QString(decode(bytes)).split(QStringLiteral("\r\n"));
}

inline bool IsPdf(const QByteArray& bytes)
{
    return bytes.startsWith("%PDF") && bytes.trimmed().endsWith("%%EOF");
}
} // namespace ViewExport
