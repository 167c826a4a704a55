#pragma once

#include <QString>

// Where the survey archive lives: an SQLite file, or a PostgreSQL database
// named by a "postgresql://user@host:port/dbname" URL. A password in the URL
// is used for the connection but never shown; libpq's own means (~/.pgpass,
// PGPASSWORD, a service file) are the ones the program expects.
class CArchiveLocation
{
public:
    enum Kind
    {
        SqliteFile,
        PostgreSql
    };

    // Reads a location as the user wrote it; false with *error set when a
    // URL cannot be read.
    static bool Parse(const QString& text, CArchiveLocation* location, QString* error);
    // The file named Korvalent-archive.sqlite in the documents directory
    // (Korvalent-demo-archive.sqlite for the demo).
    static QString DefaultFile(const QString& documentsDir, bool demo = false);

    Kind kind = SqliteFile;
    QString filePath;                       // SqliteFile
    QString user, password, host, database; // PostgreSql; host may be a socket folder
    int port = -1;

    bool IsServer() const { return kind == PostgreSql; }
    // The text with a password in a URL taken out (what may be stored).
    static QString WithoutPassword(const QString& text);
    // The location for messages and lists: never with a password.
    QString DisplayText() const;
};
