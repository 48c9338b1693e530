#include "data/Error.h"

#include <QDir>

#include <sqlite3.h>

namespace data {

namespace {

QString causeOfConstraint(int code)
{
    switch (code) {
    case SQLITE_CONSTRAINT_NOTNULL: return QStringLiteral("缺少必须填写的数据");
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY: return QStringLiteral("数据表中已有相同的记录");
    case SQLITE_CONSTRAINT_FOREIGNKEY: return QStringLiteral("数据与其他数据表中的记录对不上");
    case SQLITE_CONSTRAINT_CHECK:
    case SQLITE_CONSTRAINT_DATATYPE: return QStringLiteral("数据的格式不符合数据表的要求（日期应为 yyyy-MM-dd）");
    default: return QStringLiteral("数据不符合数据表的要求");
    }
}

} // namespace

QString causeOfEngineCode(int code)
{
    switch (code & 0xff) {
    case SQLITE_OK: return QString();
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return kInUseText;
    case SQLITE_READONLY:
        return code == SQLITE_READONLY_DBMOVED ? QStringLiteral("数据库文件已被移走或删除，不能写入")
                                               : QStringLiteral("数据库文件是只读的，不能写入");
    case SQLITE_PERM:
    case SQLITE_AUTH: return QStringLiteral("没有操作数据库文件的权限");
    case SQLITE_CANTOPEN: return QStringLiteral("无法打开数据库文件，可能没有读写的权限");
    case SQLITE_NOTADB: return notThisProgramsDatabaseText();
    case SQLITE_CORRUPT: return QStringLiteral("数据库文件已损坏");
    case SQLITE_FULL: return QStringLiteral("磁盘空间不足");
    case SQLITE_IOERR: return QStringLiteral("读写数据库文件时出错");
    case SQLITE_NOMEM: return QStringLiteral("内存不足");
    case SQLITE_TOOBIG: return QStringLiteral("数据太长，数据库不能保存");
    case SQLITE_MISMATCH: return QStringLiteral("数据的类型不符合数据表的要求");
    case SQLITE_CONSTRAINT: return causeOfConstraint(code);
    case SQLITE_RANGE: return QStringLiteral("语句中的参数与给出的数据个数不符");
    case SQLITE_INTERRUPT: return QStringLiteral("操作被中断");
    case SQLITE_ERROR: return QStringLiteral("数据库不能执行这条语句");
    default: return QStringLiteral("数据库出错（错误代码 %1）").arg(code);
    }
}

ErrorKind kindOfEngineCode(int code)
{
    switch (code & 0xff) {
    case SQLITE_OK: return ErrorKind::None;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ErrorKind::Busy;
    case SQLITE_READONLY: return ErrorKind::ReadOnly;
    case SQLITE_PERM:
    case SQLITE_AUTH: return ErrorKind::AccessDenied;
    case SQLITE_NOTADB: return ErrorKind::NotOurs;
    case SQLITE_CANTOPEN: return ErrorKind::NoDataSource;
    case SQLITE_MISMATCH: return ErrorKind::BadValue;
    case SQLITE_CONSTRAINT:
        switch (code) {
        case SQLITE_CONSTRAINT_NOTNULL: return ErrorKind::NotNull;
        case SQLITE_CONSTRAINT_UNIQUE:
        case SQLITE_CONSTRAINT_PRIMARYKEY: return ErrorKind::Unique;
        default: return ErrorKind::BadValue;
        }
    default: return ErrorKind::Other;
    }
}

QString noDataSourceText()
{
    return QStringLiteral("数据源 Dorvik 没有注册，或者它的登记无法读取");
}

QString fileMissingText(const QString& path)
{
    return QStringLiteral("找不到数据库文件 ") + QDir::toNativeSeparators(path);
}

QString notThisProgramsDatabaseText(const QString& missingTable)
{
    const QString text = QStringLiteral("数据库文件不是本系统的数据库");
    return missingTable.isEmpty() ? text : text + QStringLiteral("（缺少数据表 %1）").arg(missingTable);
}

QString notThisProgramsServerDatabaseText(const QString& missingTable)
{
    const QString text = QStringLiteral("服务器上的这个数据库不是本系统的数据库");
    return missingTable.isEmpty() ? text : text + QStringLiteral("（缺少数据表 %1）").arg(missingTable);
}

QString readOnlyMarkedFileText()
{
    return QStringLiteral("数据库文件是只读的，程序不能打开它（上次关闭时留下的标记无法去掉）");
}

} // namespace data
