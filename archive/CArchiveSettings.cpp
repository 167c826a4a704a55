#include "archive/CArchiveSettings.h"

#include "archive/CArchiveLocation.h"

#include <QDir>
#include <QSettings>

QString CArchiveSettings::DocumentsDir(QSettings* settings)
{
    const QString defaultDir =
        QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/Korvalent"));
    if (!settings)
        return defaultDir;
    settings->beginGroup(QStringLiteral("."));
    const QString dir = settings->value(QStringLiteral("DocumentsDir"), defaultDir).toString();
    settings->endGroup();
    return dir;
}

QString CArchiveSettings::LocationText(QSettings* settings, bool demo)
{
    const QString text =
        settings ? settings->value(QStringLiteral("Archive/Location")).toString().trimmed()
                 : QString();
    return text.isEmpty() ? CArchiveLocation::DefaultFile(DocumentsDir(settings), demo) : text;
}

void CArchiveSettings::SetLocationText(QSettings* settings, const QString& location)
{
    if (settings)
        settings->setValue(QStringLiteral("Archive/Location"), location.trimmed());
}

bool CArchiveSettings::ArchiveDownloads(QSettings* settings)
{
    return !settings || settings->value(QStringLiteral("Archive/ArchiveDownloads"), true).toBool();
}

void CArchiveSettings::SetArchiveDownloads(QSettings* settings, bool on)
{
    if (settings)
        settings->setValue(QStringLiteral("Archive/ArchiveDownloads"), on);
}
