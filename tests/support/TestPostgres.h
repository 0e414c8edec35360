#pragma once

#include <QString>
#include <QTest>

#include <libpq-fe.h>

/// The throw-away database scripts/with-postgres.sh provides (PINDLE_TEST_POSTGRES), emptied for
/// the next test; empty where there is none.
inline QString freshTestPostgres() {
    const QString connection = qEnvironmentVariable("PINDLE_TEST_POSTGRES");
    if (connection.isEmpty())
        return {};
    PGconn *db = PQconnectdb(connection.toUtf8().constData());
    PQclear(PQexec(db, "SET client_min_messages = warning; DROP SCHEMA public CASCADE; "
                       "CREATE SCHEMA public;"));
    PQfinish(db);
    return connection;
}

/// Declares `name` as freshTestPostgres(); without one the test is skipped, or fails in CI, which
/// must not go green without PostgreSQL.
#define PINDLE_TEST_POSTGRES(name)                                                                 \
    const QString name = freshTestPostgres();                                                      \
    if (name.isEmpty() && qEnvironmentVariableIsSet("CI"))                                         \
        QFAIL("no PostgreSQL in CI: the test must run through scripts/with-postgres.sh");          \
    if (name.isEmpty())                                                                            \
    QSKIP("no PostgreSQL here: run through scripts/with-postgres.sh")
