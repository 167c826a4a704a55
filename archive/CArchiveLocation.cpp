#include "archive/CArchiveLocation.h"

#include <QDir>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

bool CArchiveLocation::Parse(const QString& text, CArchiveLocation* location, QString* error)
{
    const QString t = text.trimmed();
    CArchiveLocation l;
    const bool url = t.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
                     t.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
    if (!url)
    {
        if (t.isEmpty())
        {
            *error = QStringLiteral("Не указано место архива.");
            return false;
        }
        l.kind = SqliteFile;
        l.filePath = QDir::cleanPath(QDir::fromNativeSeparators(t));
        *location = l;
        return true;
    }

    // Parsed by hand: a socket folder written as the host (%2Fvar%2Frun%2F...)
    // is no host name QUrl would accept.
    l.kind = PostgreSql;
    QString rest = t.mid(t.indexOf(QLatin1String("://")) + 3);
    QString query;
    const qsizetype q = rest.indexOf(QLatin1Char('?'));
    if (q >= 0)
    {
        query = rest.mid(q + 1);
        rest = rest.left(q);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    QString authority = slash >= 0 ? rest.left(slash) : rest;
    l.database =
        QUrl::fromPercentEncoding(slash >= 0 ? rest.mid(slash + 1).toUtf8() : QByteArray());
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0)
    {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        l.user = QUrl::fromPercentEncoding((colon >= 0 ? userInfo.left(colon) : userInfo).toUtf8());
        if (colon >= 0)
            l.password = QUrl::fromPercentEncoding(userInfo.mid(colon + 1).toUtf8());
    }
    // host:port, where host may be [IPv6].
    QString host = authority;
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && colon > authority.lastIndexOf(QLatin1Char(']')))
    {
        bool ok = false;
        const int port = authority.mid(colon + 1).toInt(&ok);
        if (!ok || port <= 0 || port > 65535)
        {
            *error =
                QStringLiteral("Неверный номер порта в адресе архива '%1'.").arg(l.DisplayText());
            return false;
        }
        l.port = port;
        host = authority.left(colon);
    }
    l.host = QUrl::fromPercentEncoding(host.toUtf8());
    if (l.host.startsWith(QLatin1Char('[')) && l.host.endsWith(QLatin1Char(']')))
        l.host = l.host.mid(1, l.host.size() - 2);
    const QUrlQuery params(query);
    for (const auto& item : params.queryItems(QUrl::FullyDecoded))
    {
        if (item.first == QLatin1String("host"))
            l.host = item.second;
        else if (item.first == QLatin1String("port"))
            l.port = item.second.toInt();
        else if (item.first == QLatin1String("user"))
            l.user = item.second;
        else if (item.first == QLatin1String("dbname"))
            l.database = item.second;
    }
    if (l.database.isEmpty())
    {
        *error =
            QStringLiteral("В адресе архива '%1' не указана база данных.").arg(l.DisplayText());
        return false;
    }
    *location = l;
    return true;
}

QString CArchiveLocation::WithoutPassword(const QString& text)
{
    static const QRegularExpression password(
        QStringLiteral("^(\\s*postgres(?:ql)?://[^:@/?]*):[^@/?]*@"),
        QRegularExpression::CaseInsensitiveOption);
    QString t = text;
    return t.replace(password, QStringLiteral("\\1@"));
}

QString CArchiveLocation::DefaultFile(const QString& documentsDir, bool demo)
{
    return QDir(documentsDir)
        .filePath(demo ? QStringLiteral("Korvalent-demo-archive.sqlite")
                       : QStringLiteral("Korvalent-archive.sqlite"));
}

QString CArchiveLocation::DisplayText() const
{
    if (kind == SqliteFile)
        return QDir::toNativeSeparators(filePath);
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += user + QLatin1Char('@');
    text += host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('/'))
                ? QLatin1Char('[') + host + QLatin1Char(']')
                : host;
    if (port > 0)
        text += QLatin1Char(':') + QString::number(port);
    return text + QLatin1Char('/') + database;
}
