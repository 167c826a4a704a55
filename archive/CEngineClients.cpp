// The archive writes readings through each engine's own client library, on
// the connection Qt's driver opened (see CSurveyArchive.cpp). Those libraries
// are not linked: the functions below find them in the process when first
// called, where the driver plug-in has loaded them by then. A program that
// never opens an archive (most commands of korvalent-cli) so does not load
// them at start-up; the PostgreSQL client alone brings some twenty libraries
// (TLS, Kerberos, LDAP). A function the archive starts to use is one more
// line here.
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <libpq-fe.h>
#include <sqlite3.h>

namespace
{
const char kPostgreSql[] = "libpq.so.5";
const char kSqlite[] = "libsqlite3.so.0";

template <typename Function> Function Find(const char* library, const char* name)
{
    // The object the driver loaded (a second dlopen() only counts it again).
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    void* symbol = handle ? dlsym(handle, name) : nullptr;
    if (!symbol)
    {
        std::fprintf(stderr, "%s\n", dlerror());
        std::abort();
    }
    return reinterpret_cast<Function>(symbol);
}
} // namespace

#define KV_FORWARD(library, function, ...)                                                         \
    static const auto forward = Find<decltype(&function)>(library, #function);                     \
    return forward(__VA_ARGS__)

extern "C"
{
    char* PQerrorMessage(const PGconn* conn)
    {
        KV_FORWARD(kPostgreSql, PQerrorMessage, conn);
    }
    PGresult* PQexec(PGconn* conn, const char* query)
    {
        KV_FORWARD(kPostgreSql, PQexec, conn, query);
    }
    PGresult* PQexecParams(PGconn* conn, const char* command, int nParams, const Oid* paramTypes,
                           const char* const* paramValues, const int* paramLengths,
                           const int* paramFormats, int resultFormat)
    {
        KV_FORWARD(kPostgreSql, PQexecParams, conn, command, nParams, paramTypes, paramValues,
                   paramLengths, paramFormats, resultFormat);
    }
    PGresult* PQgetResult(PGconn* conn)
    {
        KV_FORWARD(kPostgreSql, PQgetResult, conn);
    }
    int PQputCopyData(PGconn* conn, const char* buffer, int nbytes)
    {
        KV_FORWARD(kPostgreSql, PQputCopyData, conn, buffer, nbytes);
    }
    int PQputCopyEnd(PGconn* conn, const char* errormsg)
    {
        KV_FORWARD(kPostgreSql, PQputCopyEnd, conn, errormsg);
    }
    ExecStatusType PQresultStatus(const PGresult* res)
    {
        KV_FORWARD(kPostgreSql, PQresultStatus, res);
    }
    char* PQresultErrorMessage(const PGresult* res)
    {
        KV_FORWARD(kPostgreSql, PQresultErrorMessage, res);
    }
    void PQclear(PGresult* res)
    {
        KV_FORWARD(kPostgreSql, PQclear, res);
    }

    const char* sqlite3_errmsg(sqlite3* db)
    {
        KV_FORWARD(kSqlite, sqlite3_errmsg, db);
    }
    int sqlite3_prepare_v2(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** statement,
                           const char** tail)
    {
        KV_FORWARD(kSqlite, sqlite3_prepare_v2, db, sql, bytes, statement, tail);
    }
    int sqlite3_bind_blob(sqlite3_stmt* st, int i, const void* value, int n, void (*free)(void*))
    {
        KV_FORWARD(kSqlite, sqlite3_bind_blob, st, i, value, n, free);
    }
    int sqlite3_bind_double(sqlite3_stmt* st, int i, double value)
    {
        KV_FORWARD(kSqlite, sqlite3_bind_double, st, i, value);
    }
    int sqlite3_bind_int(sqlite3_stmt* st, int i, int value)
    {
        KV_FORWARD(kSqlite, sqlite3_bind_int, st, i, value);
    }
    int sqlite3_bind_int64(sqlite3_stmt* st, int i, sqlite3_int64 value)
    {
        KV_FORWARD(kSqlite, sqlite3_bind_int64, st, i, value);
    }
    int sqlite3_bind_null(sqlite3_stmt* st, int i)
    {
        KV_FORWARD(kSqlite, sqlite3_bind_null, st, i);
    }
    int sqlite3_bind_text(sqlite3_stmt* st, int i, const char* value, int n, void (*free)(void*))
    {
        KV_FORWARD(kSqlite, sqlite3_bind_text, st, i, value, n, free);
    }
    int sqlite3_step(sqlite3_stmt* st)
    {
        KV_FORWARD(kSqlite, sqlite3_step, st);
    }
    int sqlite3_finalize(sqlite3_stmt* st)
    {
        KV_FORWARD(kSqlite, sqlite3_finalize, st);
    }
    int sqlite3_reset(sqlite3_stmt* st)
    {
        KV_FORWARD(kSqlite, sqlite3_reset, st);
    }
}
