#include "bench_server.h"

#include "data/Backup.h"
#include "data/Connection.h"
#include "data/DataModule.h"
#include "data/DataSet.h"
#include "platform/RegistryStore.h"

#include <QProcess>

#include <libpq-fe.h>

#include <endian.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace benchserver {

namespace {

constexpr Oid kBoolOid = 16;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kNumericOid = 1700;
constexpr Oid kDateOid = 1082;

using ResultPtr = std::unique_ptr<PGresult, void (*)(PGresult*)>;

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

[[noreturn]] void fail(PGconn* conn, const char* what)
{
    std::fprintf(stderr, "%s: %s\n", what, conn ? PQerrorMessage(conn) : "no connection");
    std::exit(1);
}

// One value in its text form into the checksum, read as its type: integers and numbers converted,
// a text by its length and first byte.
void sumText(Oid type, const char* text, int size, quint64* sum)
{
    switch (type) {
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid: {
        qint64 value = 0;
        std::from_chars(text, text + size, value);
        *sum += quint64(value);
        return;
    }
    case kBoolOid: *sum += text[0] == 't'; return;
    case kFloat8Oid:
    case kNumericOid: {
        double value = 0;
        std::from_chars(text, text + size, value);
        *sum += quint64(value);
        return;
    }
    default: *sum += quint64(size) + (size ? uchar(text[0]) : 0); return;
    }
}

qint16 int16At(const char* at)
{
    quint16 v;
    std::memcpy(&v, at, 2);
    return qint16(be16toh(v));
}

qint32 int32At(const char* at)
{
    quint32 v;
    std::memcpy(&v, at, 4);
    return qint32(be32toh(v));
}

qint64 int64At(const char* at)
{
    quint64 v;
    std::memcpy(&v, at, 8);
    return qint64(be64toh(v));
}

// A numeric value in the server's binary form: digit count, weight, sign, scale, base-10000 digits.
double numericAt(const char* at)
{
    const int digits = int16At(at);
    const int weight = int16At(at + 2);
    const quint16 sign = quint16(int16At(at + 4));
    double value = 0;
    for (int i = 0; i < digits; ++i)
        value = value * 10000 + int16At(at + 8 + 2 * i);
    value *= std::pow(10000.0, weight - digits + 1);
    return sign == 0x4000 ? -value : value;
}

void sumBinary(Oid type, const char* at, int size, quint64* sum)
{
    switch (type) {
    case kInt2Oid: *sum += quint64(qint64(int16At(at))); return;
    case kInt4Oid:
    case kDateOid: *sum += quint64(qint64(int32At(at))); return;
    case kInt8Oid: *sum += quint64(int64At(at)); return;
    case kBoolOid: *sum += at[0] != 0; return;
    case kFloat8Oid: {
        const qint64 bits = int64At(at);
        double value;
        std::memcpy(&value, &bits, 8);
        *sum += quint64(value);
        return;
    }
    case kNumericOid: *sum += quint64(numericAt(at)); return;
    default: *sum += quint64(size) + (size ? uchar(at[0]) : 0); return;
    }
}

// Reads the end of a COPY TO STDOUT; the bench ends when the server reports a failure.
void finishCopy(PGconn* conn, int last)
{
    if (last == -2)
        fail(conn, "copy");
    while (PGresult* raw = PQgetResult(conn)) {
        ResultPtr result(raw, PQclear);
        if (PQresultStatus(raw) != PGRES_COMMAND_OK)
            fail(conn, "copy");
    }
}

void startCopy(PGconn* conn, const QByteArray& select, const char* options)
{
    const QByteArray copy = "COPY (" + select + ") TO STDOUT" + options;
    ResultPtr started(PQexec(conn, copy.constData()), PQclear);
    if (PQresultStatus(started.get()) != PGRES_COPY_OUT)
        fail(conn, copy.constData());
}

QString errorOf(QProcess& process)
{
    return QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
}

} // namespace

std::unique_ptr<ServerDatabase> ServerDatabase::startCluster(const QString& locale, QString* error)
{
    std::unique_ptr<ServerDatabase> server(new ServerDatabase);
    server->m_script = QStringLiteral(DORVIK_SOURCE_DIR "/scripts/pg-cluster.sh");
    server->m_folder = QStringLiteral("/tmp/dorvik-bench-%1").arg(::getpid());

    // The watchdog waits for the end of the pipe, which comes when this process ends in any way,
    // and then stops the cluster. Both ends close on exec, so that neither the cluster script nor
    // the server keeps the pipe open.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        *error = QStringLiteral("no pipe for the watchdog");
        return nullptr;
    }
    const QByteArray script = server->m_script.toLocal8Bit();
    const QByteArray folder = server->m_folder.toLocal8Bit();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // An interrupt of the bench reaches its whole process group; the watchdog stays.
        ::signal(SIGINT, SIG_IGN);
        ::signal(SIGTERM, SIG_IGN);
        ::signal(SIGHUP, SIG_IGN);
        ::close(ends[1]);
        char byte;
        while (::read(ends[0], &byte, 1) < 0 && errno == EINTR) {
        }
        ::execl("/bin/bash", "bash", script.constData(), "stop", folder.constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ends[0]);
    if (pid < 0) {
        ::close(ends[1]);
        *error = QStringLiteral("no watchdog process");
        return nullptr;
    }
    server->m_watchdog = ends[1];
    server->m_watchdogPid = pid;

    QProcess start;
    start.start(QStringLiteral("/bin/bash"), {server->m_script, QStringLiteral("start"), server->m_folder});
    if (!start.waitForFinished(180000) || start.exitStatus() != QProcess::NormalExit || start.exitCode() != 0) {
        *error = QStringLiteral("the cluster did not start: ") + errorOf(start);
        return nullptr;
    }
    const QString admin = QStringLiteral("postgresql:///postgres?host=%1&user=dorvik").arg(server->m_folder);
    RawConnection conn = connectRaw(admin);
    const QByteArray name = locale.toUtf8();
    char* quoted = PQescapeLiteral(conn.get(), name.constData(), size_t(name.size()));
    const QByteArray create =
        QByteArray("CREATE DATABASE dorvik_bench TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE ") + quoted +
        " LC_CTYPE " + quoted;
    PQfreemem(quoted);
    execRaw(conn.get(), create);
    server->m_uri = QStringLiteral("postgresql:///dorvik_bench?host=%1&user=dorvik").arg(server->m_folder);
    return server;
}

std::unique_ptr<ServerDatabase> ServerDatabase::useExisting(const QString& uri)
{
    std::unique_ptr<ServerDatabase> server(new ServerDatabase);
    server->m_uri = uri;
    return server;
}

ServerDatabase::~ServerDatabase()
{
    stop();
}

void ServerDatabase::stop()
{
    if (m_watchdog < 0)
        return;
    // The watchdog stops the cluster once its pipe closes; waiting for it keeps the stop in the run.
    ::close(m_watchdog);
    m_watchdog = -1;
    int status = 0;
    ::waitpid(pid_t(m_watchdogPid), &status, 0);
}

bool ServerDatabase::load(const QString& file, QString* error)
{
    double start = now();
    const data::CopyOutcome outcome = data::migrateToServer(file, m_uri, [](const QString& table, qint64 rows) {
        std::fprintf(stderr, "server: %s %lld rows\n", table.toUtf8().constData(), static_cast<long long>(rows));
    });
    if (!outcome.ok) {
        *error = outcome.message;
        return false;
    }
    std::fprintf(stderr, "server: records loaded in %.2f s\n", now() - start);
    start = now();
    RawConnection conn = connectRaw(m_uri);
    execRaw(conn.get(), "VACUUM ANALYZE");
    ResultPtr locale(PQexec(conn.get(), "SELECT datcollate, datctype, version() FROM pg_database "
                                        "WHERE datname = current_database()"),
                     PQclear);
    if (PQresultStatus(locale.get()) == PGRES_TUPLES_OK && PQntuples(locale.get()) == 1)
        std::fprintf(stderr, "server: vacuumed and analysed in %.2f s; LC_COLLATE %s, LC_CTYPE %s; %s\n", now() - start,
                     PQgetvalue(locale.get(), 0, 0), PQgetvalue(locale.get(), 0, 1), PQgetvalue(locale.get(), 0, 2));
    return true;
}

RawConnection connectRaw(const QString& uri)
{
    RawConnection conn(PQconnectdb(uri.toUtf8().constData()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        fail(conn.get(), "server");
    PQsetClientEncoding(conn.get(), "UTF8");
    return conn;
}

void execRaw(PGconn* conn, const QByteArray& sql, const QList<QByteArray>& params)
{
    std::vector<const char*> values;
    for (const QByteArray& param : params)
        values.push_back(param.constData());
    ResultPtr result(
        PQexecParams(conn, sql.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0), PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(conn, sql.constData());
}

qint64 scalarRaw(PGconn* conn, const QByteArray& sql, const QList<QByteArray>& params)
{
    std::vector<const char*> values;
    for (const QByteArray& param : params)
        values.push_back(param.constData());
    ResultPtr result(
        PQexecParams(conn, sql.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0), PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) < 1)
        fail(conn, sql.constData());
    return QByteArray(PQgetvalue(result.get(), 0, 0)).toLongLong();
}

std::vector<unsigned> columnTypes(PGconn* conn, const QByteArray& select)
{
    ResultPtr prepared(PQprepare(conn, "", select.constData(), 0, nullptr), PQclear);
    if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
        fail(conn, select.constData());
    ResultPtr described(PQdescribePrepared(conn, ""), PQclear);
    if (PQresultStatus(described.get()) != PGRES_COMMAND_OK)
        fail(conn, select.constData());
    std::vector<unsigned> types;
    for (int c = 0; c < PQnfields(described.get()); ++c)
        types.push_back(PQftype(described.get(), c));
    return types;
}

qint64 copyTextRead(PGconn* conn, const QByteArray& select, const std::vector<unsigned>& types, quint64* checksum)
{
    startCopy(conn, select, "");
    qint64 rows = 0;
    quint64 sum = 0;
    QByteArray unescaped;
    char* buffer = nullptr;
    int length = 0;
    while ((length = PQgetCopyData(conn, &buffer, 0)) > 0) {
        const char* at = buffer;
        const char* end = buffer + length - 1; // the row's newline
        for (const unsigned type : types) {
            const char* tab = static_cast<const char*>(std::memchr(at, '\t', size_t(end - at)));
            const char* fieldEnd = tab ? tab : end;
            const char* field = at;
            int size = int(fieldEnd - field);
            if (size == 2 && field[0] == '\\' && field[1] == 'N') {
                ++sum;
            } else {
                if (std::memchr(field, '\\', size_t(size))) {
                    // Backslash escapes undone: one byte for each escape.
                    unescaped.clear();
                    for (int i = 0; i < size; ++i)
                        unescaped.append(field[i] == '\\' && i + 1 < size ? field[++i] : field[i]);
                    field = unescaped.constData();
                    size = int(unescaped.size());
                }
                sumText(type, field, size, &sum);
            }
            at = tab ? tab + 1 : end;
        }
        PQfreemem(buffer);
        ++rows;
    }
    finishCopy(conn, length);
    *checksum += sum;
    return rows;
}

qint64 copyBinaryRead(PGconn* conn, const QByteArray& select, const std::vector<unsigned>& types, quint64* checksum)
{
    startCopy(conn, select, " (FORMAT binary)");
    qint64 rows = 0;
    quint64 sum = 0;
    char* buffer = nullptr;
    int length = 0;
    bool first = true;
    while ((length = PQgetCopyData(conn, &buffer, 0)) > 0) {
        const char* at = buffer;
        if (first) {
            // The signature, the flags and the header extension come before the first row.
            first = false;
            at += 11 + 4;
            at += 4 + int32At(at);
        }
        const int fields = int16At(at);
        at += 2;
        if (fields < 0) { // the trailer
            PQfreemem(buffer);
            continue;
        }
        for (int c = 0; c < fields; ++c) {
            const int size = int32At(at);
            at += 4;
            if (size < 0) {
                ++sum;
                continue;
            }
            sumBinary(types[size_t(c)], at, size, &sum);
            at += size;
        }
        PQfreemem(buffer);
        ++rows;
    }
    finishCopy(conn, length);
    *checksum += sum;
    return rows;
}

qint64 execRead(PGconn* conn, const QByteArray& sql, const QList<QByteArray>& params, quint64* checksum)
{
    std::vector<const char*> values;
    for (const QByteArray& param : params)
        values.push_back(param.constData());
    ResultPtr result(
        PQexecParams(conn, sql.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0), PQclear);
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
        fail(conn, sql.constData());
    const int rows = PQntuples(result.get());
    const int columns = PQnfields(result.get());
    quint64 sum = 0;
    for (int c = 0; c < columns; ++c) {
        const Oid type = PQftype(result.get(), c);
        for (int r = 0; r < rows; ++r) {
            if (PQgetisnull(result.get(), r, c))
                ++sum;
            else
                sumText(type, PQgetvalue(result.get(), r, c), PQgetlength(result.get(), r, c), &sum);
        }
    }
    *checksum += sum;
    return rows;
}

void pointDataSourceAt(const QString& source)
{
    auto key = platform::RegistryStore::openKey(data::Connection::kDataSourceKey, true);
    if (!key || !key->writeString(QStringLiteral("DBQ"), source)) {
        std::fprintf(stderr, "cannot register the data source\n");
        std::exit(1);
    }
    if (DM) {
        for (data::DataSet* set : DM->dataSets())
            set->close();
        DM->connection()->close();
    }
}

void printLine(const char* name, qint64 rows, double ours, double raw, int decimals)
{
    std::printf("%s_pg rows=%lld ours=%.*f raw=%.*f ratio=%.2f\n", name, static_cast<long long>(rows), decimals, ours,
                decimals, raw, raw > 0 ? ours / raw : 0.0);
    std::fflush(stdout);
}

} // namespace benchserver
