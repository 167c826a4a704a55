// The archive writes to PostgreSQL through its own client library, on the
// connection Qt's driver opened (see CSurveyArchive.cpp). The library is not
// linked: the functions below find it in the process when first called,
// where the driver plug-in has loaded it by then. A program that never opens
// an archive (most commands of korvalent-cli) so does not load it at
// start-up; it brings some twenty libraries (TLS, Kerberos, LDAP). A function the archive starts to
// use is one more line here.
#include "core/LateBinding.h"

#include <libpq-fe.h>

namespace
{
const char kPostgreSql[] = "libpq.so.5";
} // namespace

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
    int PQntuples(const PGresult* res)
    {
        KV_FORWARD(kPostgreSql, PQntuples, res);
    }
    int PQnfields(const PGresult* res)
    {
        KV_FORWARD(kPostgreSql, PQnfields, res);
    }
    int PQgetisnull(const PGresult* res, int row, int field)
    {
        KV_FORWARD(kPostgreSql, PQgetisnull, res, row, field);
    }
    char* PQgetvalue(const PGresult* res, int row, int field)
    {
        KV_FORWARD(kPostgreSql, PQgetvalue, res, row, field);
    }
    void PQclear(PGresult* res)
    {
        KV_FORWARD(kPostgreSql, PQclear, res);
    }
}
