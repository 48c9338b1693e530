#include "SampleData.h"

#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <memory>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace sample {

namespace {

// splitmix64: small, fast, and the same sequence on every platform and library.
class Random {
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % quint64(n)); }
    int between(int low, int high) { return low + below(high - low + 1); }

private:
    quint64 m_state;
};

const std::array<const char*, kTeams> kTeamNames = {"裁剪组",   "缝纫一组", "缝纫二组", "缝纫三组", "缝纫四组",
                                                    "缝纫五组", "缝纫六组", "锁钉组",   "整烫组",   "包装组"};

const char* const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐", "孙",  "马", "朱",
                                 "胡", "郭", "何", "高", "林", "罗", "郑", "梁", "谢", "宋", "唐", "许",  "韩", "冯",
                                 "邓", "曹", "彭", "曾", "肖", "田", "董", "袁", "潘", "蒋", "蔡", "欧阳"};
const char* const kGivenNames[] = {"秀英", "桂英", "秀兰", "玉兰", "桂兰", "丽",   "敏",   "静",   "燕",   "艳",
                                   "娟",   "霞",   "芳",   "红",   "梅",   "莉",   "婷",   "雪",   "琴",   "云",
                                   "丽华", "建华", "海燕", "春梅", "小红", "晓燕", "金凤", "玉梅", "美玲", "淑珍",
                                   "建国", "志强", "伟",   "军",   "勇",   "杰",   "涛",   "明",   "超",   "磊"};

struct Category {
    const char* prefix; // of the style number
    const char* name;
};
const Category kCategories[] = {{"CS", "衬衫"}, {"XK", "西裤"},    {"JK", "夹克"}, {"LYQ", "连衣裙"}, {"TX", "T恤"},
                                {"FY", "风衣"}, {"NZK", "牛仔裤"}, {"WY", "卫衣"}, {"XF", "西服"},    {"MJ", "马甲"}};
const char* const kWearers[] = {"男式", "女式", "儿童"};
const char* const kCuts[] = {"休闲", "商务", "修身", "宽松", "加厚", "春秋", "短袖", "长袖"};

// Operations in the order a garment goes through them, each with a typical piece price in 1/1000 yuan.
struct Operation {
    const char* name;
    int priceMilli;
};
const Operation kOperations[] = {{"裁片", 120},   {"打线钉", 40},  {"粘衬", 60},    {"锁边", 90},    {"拼缝", 150},
                                 {"合肩缝", 80},  {"做领", 350},   {"上领", 300},   {"做袖", 280},   {"绱袖", 320},
                                 {"合侧缝", 180}, {"做口袋", 260}, {"上拉链", 220}, {"压明线", 140}, {"上腰", 240},
                                 {"卷底边", 110}, {"锁眼", 50},    {"钉扣", 45},    {"打套结", 35},  {"缝商标", 30},
                                 {"剪线头", 25},  {"整烫", 200},   {"检验", 60},    {"包装", 40}};
constexpr int kOperationCount = int(sizeof(kOperations) / sizeof(kOperations[0]));

const int kSizes[] = {150, 155, 160, 165, 170, 175, 180, 185};

struct Team {
    std::string name;
    qint64 id = 0;
};

struct Worker {
    std::string name;
    int team = 0;
    int place = 0; // machine place 1..100
    std::string placeText;
};

struct Step {
    std::string label;
    std::string name;
    int priceMilli = 0;
};

struct Style {
    std::string kind;
    std::string name;
    int startMonth = 0; // index of the month the style is first worked on
    std::vector<Step> steps;
};

std::string dateText(const QDate& date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd")).toStdString();
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr); }
    ~Statement() { sqlite3_finalize(m_st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    void text(int index, const std::string& value)
    {
        sqlite3_bind_text(m_st, index, value.data(), int(value.size()), SQLITE_STATIC);
    }
    void integer(int index, qint64 value) { sqlite3_bind_int64(m_st, index, value); }
    void real(int index, double value) { sqlite3_bind_double(m_st, index, value); }
    void null(int index) { sqlite3_bind_null(m_st, index); }
    // Steps a query: true while it gives a row.
    bool step()
    {
        m_rc = sqlite3_step(m_st);
        return m_rc == SQLITE_ROW;
    }
    std::string columnText(int column) const
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_st, column));
        return text ? std::string(text, size_t(sqlite3_column_bytes(m_st, column))) : std::string();
    }
    // Runs the statement with the values bound; the values can then be bound afresh.
    bool run()
    {
        m_rc = sqlite3_step(m_st);
        sqlite3_reset(m_st);
        return m_rc == SQLITE_DONE;
    }

private:
    sqlite3_stmt* m_st = nullptr;
    int m_rc;
};

QDate monthStart(const QDate& day)
{
    return QDate(day.year(), day.month(), 1);
}

} // namespace

QString defaultSchemaPath()
{
    return QStringLiteral(DORVIK_SCHEMA_PATH);
}

QDate lastMonthOf(const Options& options)
{
    return monthStart(options.lastMonth.isValid() ? options.lastMonth : QDate::currentDate());
}

QDate firstMonthOf(const Options& options)
{
    return lastMonthOf(options).addMonths(1 - std::clamp(options.months, 1, kMaxMonths));
}

bool fillSampleData(sqlite3* db, const Options& options, QString* error)
{
    bool begun = false;
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = reason + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db));
        if (begun)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    };
    if (options.rows < 0 || options.months < 1 || options.months > kMaxMonths || options.teams < 1 ||
        options.teams > kTeams || options.workers < options.teams || options.workers > options.teams * 100 ||
        options.styles < 1 || options.stepsPerStyle < 1 || options.stepsPerStyle > kOperationCount) {
        if (error)
            *error = QStringLiteral("rows must be 0 or more, months 1 to %1, teams 1 to %2 with 1 to 100 workers "
                                    "each, styles 1 or more with 1 to %3 steps")
                         .arg(kMaxMonths)
                         .arg(kTeams)
                         .arg(kOperationCount);
        return false;
    }
    const int teamCount = options.teams;
    const int workerCount = options.workers;
    const int styleCount = options.styles;
    const int stepCount = options.stepsPerStyle;
    Random random(options.seed);
    const int months = options.months;
    const QDate firstMonth = firstMonthOf(options);
    const QDate today = QDate::currentDate();

    // The workshop: teams, workers at distinct machine places within their team, styles with steps.
    std::vector<Team> teams(static_cast<size_t>(teamCount));
    for (int t = 0; t < teamCount; ++t)
        teams[size_t(t)].name = kTeamNames[size_t(t)];

    std::vector<Worker> workers;
    workers.reserve(static_cast<size_t>(workerCount));
    std::set<std::string> usedNames;
    for (int t = 0; t < teamCount; ++t) {
        const int perTeam = workerCount * (t + 1) / teamCount - workerCount * t / teamCount;
        std::array<int, 100> places;
        std::iota(places.begin(), places.end(), 1);
        for (int i = 0; i < perTeam; ++i)
            std::swap(places[size_t(i)], places[size_t(random.between(i, 99))]);
        std::sort(places.begin(), places.begin() + perTeam);
        for (int i = 0; i < perTeam; ++i) {
            std::string name;
            do {
                name = std::string(kSurnames[random.below(int(std::size(kSurnames)))]) +
                       kGivenNames[random.below(int(std::size(kGivenNames)))];
            } while (!usedNames.insert(name).second);
            workers.push_back({name, t, places[size_t(i)], std::to_string(places[size_t(i)])});
        }
    }

    std::vector<Style> styles(static_cast<size_t>(styleCount));
    for (int s = 0; s < styleCount; ++s) {
        Style& style = styles[size_t(s)];
        const Category& category = kCategories[random.below(int(std::size(kCategories)))];
        style.kind = std::string(category.prefix) + std::to_string(1001 + s);
        style.name = std::string(kWearers[random.below(int(std::size(kWearers)))]) +
                     kCuts[random.below(int(std::size(kCuts)))] + category.name;
        style.startMonth = int(qint64(s) * months / styleCount);
        // stepCount of the operations, in the order the garment goes through them.
        std::array<int, kOperationCount> ops;
        std::iota(ops.begin(), ops.end(), 0);
        for (int i = 0; i < stepCount; ++i)
            std::swap(ops[size_t(i)], ops[size_t(random.between(i, kOperationCount - 1))]);
        std::sort(ops.begin(), ops.begin() + stepCount);
        for (int i = 0; i < stepCount; ++i) {
            const Operation& op = kOperations[ops[size_t(i)]];
            const int price = std::max(10, op.priceMilli * random.between(70, 150) / 100);
            style.steps.push_back({"工序" + std::to_string(i + 1), op.name, price});
        }
    }

    // A style is worked on in the month it starts and the months either side of it.
    std::vector<std::vector<int>> activeStyles(static_cast<size_t>(months));
    for (int s = 0; s < styleCount; ++s) {
        const int start = styles[size_t(s)].startMonth;
        for (int m = std::max(0, start - 1); m <= std::min(months - 1, start + 1); ++m)
            activeStyles[size_t(m)].push_back(s);
    }

    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("cannot begin"));
    begun = true;

    {
        Statement insertUser(db, "INSERT INTO UserData(User, Password, Role) VALUES(?, ?, ?)");
        const std::string user = kAdminUser, password = kAdminPassword, role = "系统管理员";
        if (!insertUser.ok())
            return fail(QStringLiteral("UserData"));
        insertUser.text(1, user);
        insertUser.text(2, password);
        insertUser.text(3, role);
        if (!insertUser.run())
            return fail(QStringLiteral("UserData"));
    }

    {
        Statement insertDept(db, "INSERT INTO Dept(DeptName) VALUES(?)");
        if (!insertDept.ok())
            return fail(QStringLiteral("Dept"));
        for (Team& team : teams) {
            insertDept.text(1, team.name);
            if (!insertDept.run())
                return fail(QStringLiteral("Dept"));
            team.id = sqlite3_last_insert_rowid(db);
        }
    }

    {
        Statement insertWorker(db, "INSERT INTO Worker(WorkerName, DeptId, MachineId, EnterDate) VALUES(?, ?, ?, ?)");
        if (!insertWorker.ok())
            return fail(QStringLiteral("Worker"));
        for (const Worker& worker : workers) {
            const std::string entered = dateText(firstMonth.addDays(-random.between(0, 6 * 365)));
            insertWorker.text(1, worker.name);
            insertWorker.integer(2, teams[size_t(worker.team)].id);
            insertWorker.text(3, worker.placeText);
            insertWorker.text(4, entered);
            if (!insertWorker.run())
                return fail(QStringLiteral("Worker"));
        }
    }

    {
        Statement insertProduct(
            db, "INSERT INTO Product(Kind, Process, KindName, ProductCount, ProductDate) VALUES(?, ?, ?, ?, ?)");
        Statement insertStep(db, "INSERT INTO Process(Process, ProcessName, ProductId, Price) VALUES(?, ?, ?, ?)");
        if (!insertProduct.ok() || !insertStep.ok())
            return fail(QStringLiteral("Product"));
        for (const Style& style : styles) {
            const std::string produced =
                dateText(firstMonth.addMonths(style.startMonth - 1).addDays(random.between(0, 27)));
            insertProduct.text(1, style.kind);
            insertProduct.integer(2, stepCount);
            insertProduct.text(3, style.name);
            insertProduct.integer(4, qint64(random.between(5, 200)) * 100);
            insertProduct.text(5, produced);
            if (!insertProduct.run())
                return fail(QStringLiteral("Product"));
            for (const Step& step : style.steps) {
                insertStep.text(1, step.label);
                insertStep.text(2, step.name);
                insertStep.text(3, style.kind);
                insertStep.real(4, step.priceMilli / 1000.0);
                if (!insertStep.run())
                    return fail(QStringLiteral("Process"));
            }
        }
    }

    // The records table's indexes are built once after the records are in: sorting a million keys
    // at once is several times faster than growing the index record by record.
    std::vector<std::string> salaryIndexes, indexNames;
    {
        Statement indexes(db, "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'Salary' "
                              "AND sql IS NOT NULL ORDER BY rowid");
        if (!indexes.ok())
            return fail(QStringLiteral("indexes"));
        while (indexes.step()) {
            indexNames.push_back(indexes.columnText(0));
            salaryIndexes.push_back(indexes.columnText(1));
        }
    }
    for (const std::string& name : indexNames)
        if (sqlite3_exec(db, ("DROP INDEX \"" + name + "\"").c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return fail(QStringLiteral("index %1").arg(QString::fromStdString(name)));

    {
        // Records in the order they were entered, day by day, so that the newest
        // record has the highest number. The last month's prices are not applied yet.
        Statement insertRecord(db, "INSERT INTO Salary(DeptName, MachineId, WorkerName, KindId, KindName, Process, "
                                   "ProcessName, ProcessSize, ProductCount, ProcessPrice, ProcessDate) "
                                   "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        if (!insertRecord.ok())
            return fail(QStringLiteral("Salary"));
        // The same number of records every day, up to today when the last month is the current one.
        struct Day {
            int month;
            std::string text;
        };
        std::vector<Day> days;
        for (int m = 0; m < months; ++m) {
            const QDate month = firstMonth.addMonths(m);
            int count = month.daysInMonth();
            if (m == months - 1 && month.year() == today.year() && month.month() == today.month())
                count = today.day();
            for (int d = 0; d < count; ++d)
                days.push_back({m, dateText(month.addDays(d))});
        }
        const qint64 dayCount = qint64(days.size());
        for (qint64 d = 0; d < dayCount; ++d) {
            const Day& day = days[size_t(d)];
            const qint64 count = options.rows * (d + 1) / dayCount - options.rows * d / dayCount;
            const bool priced = day.month < months - 1 || options.priceLastMonth;
            const std::vector<int>& active = activeStyles[size_t(day.month)];
            for (qint64 i = 0; i < count; ++i) {
                const Worker& worker = workers[size_t(random.below(workerCount))];
                const Style& style = styles[size_t(active[size_t(random.below(int(active.size())))])];
                const Step& step = style.steps[size_t(random.below(stepCount))];
                // One record in ten leaves the size empty, which the entry stores as 0.
                const int size = random.below(10) == 0 ? 0 : kSizes[random.below(int(std::size(kSizes)))];
                insertRecord.text(1, teams[size_t(worker.team)].name);
                insertRecord.integer(2, worker.place);
                insertRecord.text(3, worker.name);
                insertRecord.text(4, style.kind);
                insertRecord.text(5, style.name);
                insertRecord.text(6, step.label);
                insertRecord.text(7, step.name);
                insertRecord.real(8, size);
                insertRecord.integer(9, random.between(1, 200));
                if (priced)
                    insertRecord.real(10, step.priceMilli / 1000.0);
                else
                    insertRecord.null(10);
                insertRecord.text(11, day.text);
                if (!insertRecord.run())
                    return fail(QStringLiteral("Salary"));
            }
        }
    }

    for (const std::string& sql : salaryIndexes)
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return fail(QStringLiteral("index"));

    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("cannot commit"));
    return true;
}

Options demoOptions()
{
    Options options;
    options.rows = 12'000;
    options.months = 3;
    options.teams = 4;
    options.workers = 40;
    options.styles = 12;
    options.stepsPerStyle = 8;
    options.priceLastMonth = true;
    return options;
}

bool createSampleDatabase(const QString& path, const Options& options, QString* error, const QString& schemaPath)
{
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        return false;
    };
    QFile schemaFile(schemaPath);
    if (!schemaFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read the schema %1").arg(schemaPath));
    const QByteArray schema = schemaFile.readAll();

    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    if (rc != SQLITE_OK)
        return fail(QStringLiteral("cannot create %1: %2").arg(path, QString::fromUtf8(sqlite3_errstr(rc))));
    char* message = nullptr;
    if (sqlite3_exec(raw, schema.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString reason = QStringLiteral("schema failed: %1").arg(QString::fromUtf8(message ? message : "?"));
        sqlite3_free(message);
        return fail(reason);
    }
    // A new file that is thrown away on failure needs no syncing; the larger cache and a sort in
    // memory speed up building the indexes of the records table.
    sqlite3_exec(raw, "PRAGMA synchronous = OFF; PRAGMA cache_size = -65536; PRAGMA temp_store = MEMORY", nullptr,
                 nullptr, nullptr);
    QString reason;
    if (!fillSampleData(raw, options, &reason))
        return fail(reason);
    return true;
}

} // namespace sample
