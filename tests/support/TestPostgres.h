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

/// Runs every test of a suite against each store, as the global column "backend".
inline void addStoreBackends() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

/// Skips a test that cannot run here, saying `why`; fails it in CI, which must not go green
/// without running it.
#define PINDLE_SKIP_OUTSIDE_CI(why)                                                                \
    do {                                                                                           \
        if (qEnvironmentVariableIsSet("CI"))                                                       \
            QFAIL(why);                                                                            \
        QSKIP(why);                                                                                \
    } while (false)

/// Declares `name` as the database of the test's backend: `sqlite` for SQLite, else a fresh
/// PostgreSQL, without which the test is skipped (or fails in CI).
#define PINDLE_TEST_DATABASE(name, sqlite)                                                         \
    QFETCH_GLOBAL(QString, backend);                                                               \
    const QString name =                                                                           \
        backend == QLatin1String("sqlite") ? QString(sqlite) : freshTestPostgres();                \
    if (name.isEmpty())                                                                            \
    PINDLE_SKIP_OUTSIDE_CI("no PostgreSQL here: run through scripts/with-postgres.sh")
