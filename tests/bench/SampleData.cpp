#include "SampleData.h"

#include "data/Schema.h"

#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
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

// Teams by the work they do: the cutting room, the sewing lines and the finishing floor
// (buttons, pressing, inspection, packing). A small workshop takes the first few.
enum Station { Cut, Sew, Finish, StationCount };
struct TeamKind {
    const char* name;
    Station station;
};
const std::array<TeamKind, kTeams> kTeamKinds = {{{"裁剪组", Cut},
                                                  {"缝纫一组", Sew},
                                                  {"缝纫二组", Sew},
                                                  {"后道组", Finish},
                                                  {"缝纫三组", Sew},
                                                  {"缝纫四组", Sew},
                                                  {"缝纫五组", Sew},
                                                  {"锁钉组", Finish},
                                                  {"整烫组", Finish},
                                                  {"包装组", Finish}}};

const char* const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐", "孙",  "马", "朱",
                                 "胡", "郭", "何", "高", "林", "罗", "郑", "梁", "谢", "宋", "唐", "许",  "韩", "冯",
                                 "邓", "曹", "彭", "曾", "肖", "田", "董", "袁", "潘", "蒋", "蔡", "欧阳"};
const char* const kGivenNames[] = {"秀英", "桂英", "秀兰", "玉兰", "桂兰", "丽",   "敏",   "静",   "燕",   "艳",
                                   "娟",   "霞",   "芳",   "红",   "梅",   "莉",   "婷",   "雪",   "琴",   "云",
                                   "丽华", "建华", "海燕", "春梅", "小红", "晓燕", "金凤", "玉梅", "美玲", "淑珍",
                                   "建国", "志强", "伟",   "军",   "勇",   "杰",   "涛",   "明",   "超",   "磊"};

// One operation of a garment: its name, its standard time in tenths of a minute, who does it, and
// whether every style of the garment has it (the others are extras a style may or may not have).
struct Operation {
    const char* name;
    int tenths;
    Station station;
    bool core;
};
constexpr bool C = true;  // every style has the step
constexpr bool X = false; // an extra

enum class Sizes { Adult, Child, Baby };
struct Wearer {
    const char* name;
    Sizes sizes;
};

// A kind of garment: the prefix of its style numbers, its name, who wears it, the cuts it comes in,
// and its operations in sewing order. At most 15 core operations, at least 16 in all, so that
// the benchmark's 15 steps are the core ones and a demo style of 16 has them all.
struct Garment {
    const char* prefix;
    const char* name;
    std::vector<Wearer> wearers;
    std::vector<const char*> cuts;
    std::vector<Operation> operations;
};

const Wearer kMan{"男式", Sizes::Adult}, kWoman{"女式", Sizes::Adult}, kChild{"儿童", Sizes::Child},
    kBoy{"男童", Sizes::Child}, kGirl{"女童", Sizes::Child}, kBaby{"婴儿", Sizes::Baby};

const std::vector<Garment>& garments()
{
    static const std::vector<Garment> list = {
        {"CS",
         "衬衫",
         {kMan, kWoman, kBoy},
         {"商务", "休闲", "修身", "牛津纺", "格子"},
         {{"裁片", 12, Cut, C},   {"粘衬", 8, Cut, X},      {"做领", 35, Sew, C},   {"做克夫", 25, Sew, C},
          {"做门襟", 15, Sew, C}, {"做胸袋", 12, Sew, X},   {"做袖衩", 20, Sew, C}, {"做过肩", 15, Sew, X},
          {"合肩缝", 10, Sew, C}, {"绱领", 30, Sew, C},     {"绱袖", 25, Sew, C},   {"合侧缝", 20, Sew, C},
          {"绱克夫", 25, Sew, C}, {"卷底边", 12, Sew, C},   {"缝商标", 5, Sew, X},  {"锁眼", 8, Finish, C},
          {"钉扣", 8, Finish, C}, {"剪线头", 8, Finish, X}, {"检验", 6, Finish, X}, {"整烫", 18, Finish, C},
          {"包装", 6, Finish, C}}},
        {"PL",
         "POLO衫",
         {kMan, kWoman, kChild},
         {"短袖", "长袖", "珠地", "商务", "休闲"},
         {{"裁片", 10, Cut, C},
          {"打号", 5, Cut, X},
          {"做门襟", 35, Sew, C},
          {"合肩缝", 12, Sew, C},
          {"绱罗纹领", 30, Sew, C},
          {"压领口", 12, Sew, X},
          {"绱袖", 25, Sew, C},
          {"绱袖口罗纹", 18, Sew, C},
          {"合侧缝", 22, Sew, C},
          {"做侧衩", 15, Sew, X},
          {"卷底边", 14, Sew, C},
          {"缝商标", 5, Sew, X},
          {"锁眼", 8, Finish, C},
          {"钉扣", 8, Finish, C},
          {"剪线头", 8, Finish, C},
          {"检验", 6, Finish, X},
          {"整烫", 12, Finish, C},
          {"包装", 6, Finish, C}}},
        {"WY",
         "连帽卫衣",
         {kMan, kWoman, kChild},
         {"加绒", "宽松", "休闲", "印花"},
         {{"裁片", 12, Cut, C},
          {"打号", 5, Cut, X},
          {"做袋鼠兜", 30, Sew, C},
          {"合肩缝", 12, Sew, C},
          {"做帽", 35, Sew, C},
          {"打气眼", 8, Finish, X},
          {"绱帽", 35, Sew, C},
          {"绱袖", 28, Sew, C},
          {"合侧缝", 25, Sew, C},
          {"绱袖口罗纹", 20, Sew, C},
          {"绱下摆罗纹", 22, Sew, C},
          {"缝商标", 5, Sew, X},
          {"穿帽绳", 8, Finish, C},
          {"剪线头", 8, Finish, C},
          {"检验", 6, Finish, X},
          {"整烫", 12, Finish, C},
          {"包装", 6, Finish, C}}},
        {"XK",
         "西裤",
         {kMan, kWoman},
         {"商务", "修身", "直筒", "九分"},
         {{"裁片", 12, Cut, C},     {"粘衬", 6, Cut, X},      {"锁边", 15, Sew, X},       {"做后袋", 45, Sew, C},
          {"做斜插袋", 35, Sew, C}, {"做门襟", 30, Sew, C},   {"绱门襟拉链", 15, Sew, C}, {"合侧缝", 20, Sew, C},
          {"合下裆缝", 18, Sew, C}, {"合前后裆", 15, Sew, C}, {"做腰头", 20, Sew, C},     {"绱腰头", 30, Sew, C},
          {"钉串带", 12, Sew, X},   {"缲脚口", 15, Sew, C},   {"锁眼", 5, Finish, C},     {"钉扣", 5, Finish, C},
          {"打套结", 8, Finish, X}, {"剪线头", 8, Finish, X}, {"检验", 6, Finish, X},     {"整烫", 25, Finish, C},
          {"包装", 6, Finish, C}}},
        {"NZK",
         "牛仔裤",
         {kMan, kWoman, kChild},
         {"直筒", "修身", "阔腿", "小脚"},
         {{"裁片", 10, Cut, C},       {"锁边", 12, Sew, X},       {"做月牙袋", 25, Sew, C},  {"做表袋", 10, Sew, X},
          {"做门襟", 25, Sew, C},     {"绱门襟拉链", 15, Sew, C}, {"拼后育克", 12, Sew, C},  {"钉后贴袋", 25, Sew, C},
          {"合侧缝", 18, Sew, C},     {"合下裆缝", 20, Sew, C},   {"合前后裆", 15, Sew, C},  {"绱腰头", 30, Sew, C},
          {"钉串带", 15, Sew, C},     {"卷脚口", 12, Sew, C},     {"打套结", 10, Finish, C}, {"锁眼", 5, Finish, X},
          {"钉工字扣", 5, Finish, C}, {"打铆钉", 8, Finish, X},   {"剪线头", 8, Finish, X},  {"检验", 6, Finish, X},
          {"包装", 6, Finish, C}}},
        {"BSQ",
         "半身裙",
         {kWoman},
         {"A字", "包臀", "通勤", "高腰"},
         {{"裁片", 10, Cut, C},     {"粘衬", 5, Cut, X},    {"锁边", 12, Sew, C},       {"收省", 12, Sew, C},
          {"合后中缝", 10, Sew, C}, {"做后衩", 15, Sew, X}, {"绱隐形拉链", 25, Sew, C}, {"合侧缝", 15, Sew, C},
          {"做里布", 20, Sew, X},   {"绱里布", 15, Sew, X}, {"做腰头", 15, Sew, C},     {"绱腰头", 28, Sew, C},
          {"缲底边", 18, Sew, C},   {"缝商标", 5, Sew, X},  {"锁眼", 5, Finish, C},     {"钉扣", 5, Finish, C},
          {"剪线头", 6, Finish, C}, {"检验", 5, Finish, X}, {"整烫", 12, Finish, C},    {"包装", 5, Finish, C}}},
        {"LYQ",
         "连衣裙",
         {kWoman, kGirl},
         {"碎花", "收腰", "雪纺", "通勤"},
         {{"裁片", 12, Cut, C},    {"粘衬", 6, Cut, X},    {"锁边", 15, Sew, C},       {"收省", 15, Sew, C},
          {"合肩缝", 10, Sew, C},  {"做领", 30, Sew, C},   {"做袖", 15, Sew, C},       {"绱领", 30, Sew, C},
          {"绱袖", 30, Sew, C},    {"合侧缝", 25, Sew, C}, {"绱隐形拉链", 25, Sew, C}, {"做里布", 25, Sew, X},
          {"绱里布", 20, Sew, X},  {"做腰带", 15, Sew, X}, {"缲底边", 20, Sew, C},     {"缝商标", 5, Sew, X},
          {"锁眼", 5, Finish, X},  {"钉扣", 5, Finish, X}, {"剪线头", 8, Finish, C},   {"检验", 6, Finish, X},
          {"整烫", 20, Finish, C}, {"包装", 6, Finish, C}}},
        {"JK",
         "夹克",
         {kMan, kWoman, kChild},
         {"休闲", "立领", "工装", "棒球"},
         {{"裁片", 15, Cut, C},    {"粘衬", 10, Cut, X},       {"做袋盖", 20, Sew, X},    {"做插袋", 50, Sew, C},
          {"合肩缝", 12, Sew, C},  {"做领", 40, Sew, C},       {"做袖", 30, Sew, C},      {"绱袖", 45, Sew, C},
          {"合侧缝", 30, Sew, C},  {"绱袖口", 25, Sew, C},     {"绱领", 40, Sew, C},      {"做里布", 55, Sew, C},
          {"绱里布", 55, Sew, C},  {"绱门襟拉链", 35, Sew, C}, {"绱下摆", 25, Sew, C},    {"压明线", 20, Sew, X},
          {"缝商标", 5, Sew, X},   {"打套结", 10, Finish, X},  {"剪线头", 10, Finish, X}, {"检验", 8, Finish, X},
          {"整烫", 40, Finish, C}, {"包装", 8, Finish, C}}},
        {"XF",
         "西服",
         {kMan, kWoman},
         {"商务", "修身", "休闲", "单排扣"},
         {{"裁片", 25, Cut, C},    {"粘衬", 20, Cut, C},    {"收省", 15, Sew, X},      {"做手巾袋", 50, Sew, C},
          {"做大袋", 65, Sew, C},  {"做里袋", 35, Sew, X},  {"做挂面", 25, Sew, X},    {"合肩缝", 12, Sew, C},
          {"做领", 60, Sew, C},    {"做袖", 50, Sew, C},    {"绱领", 60, Sew, C},      {"绱袖", 65, Sew, C},
          {"合侧缝", 30, Sew, C},  {"做里布", 55, Sew, C},  {"勾止口", 40, Sew, X},    {"缲下摆", 25, Sew, X},
          {"锁眼", 12, Finish, C}, {"钉扣", 12, Finish, C}, {"剪线头", 10, Finish, X}, {"检验", 10, Finish, X},
          {"整烫", 65, Finish, C}, {"包装", 10, Finish, C}}},
        {"MJ",
         "马甲",
         {kMan, kWoman},
         {"西装", "休闲", "工装"},
         {{"裁片", 10, Cut, C},
          {"粘衬", 8, Cut, X},
          {"收省", 12, Sew, C},
          {"做嵌线袋", 35, Sew, C},
          {"合肩缝", 10, Sew, C},
          {"做里布", 25, Sew, C},
          {"勾里布", 35, Sew, C},
          {"翻烫止口", 20, Sew, C},
          {"合侧缝", 20, Sew, C},
          {"做后腰带", 15, Sew, X},
          {"缝商标", 5, Sew, X},
          {"锁眼", 8, Finish, C},
          {"钉扣", 8, Finish, C},
          {"剪线头", 6, Finish, C},
          {"检验", 6, Finish, X},
          {"整烫", 18, Finish, C},
          {"包装", 6, Finish, C}}},
        {"BDK",
         "背带裤",
         {kBoy, kGirl},
         {"牛仔", "灯芯绒", "休闲"},
         {{"裁片", 10, Cut, C},
          {"锁边", 12, Sew, C},
          {"做贴袋", 20, Sew, C},
          {"做护胸", 25, Sew, C},
          {"做背带", 18, Sew, C},
          {"合侧缝", 15, Sew, C},
          {"合下裆缝", 15, Sew, C},
          {"合前后裆", 12, Sew, C},
          {"绱腰头", 22, Sew, C},
          {"绱护胸", 20, Sew, C},
          {"缲脚口", 12, Sew, C},
          {"钉背带扣", 10, Finish, C},
          {"钉四合扣", 10, Finish, X},
          {"缝商标", 5, Sew, X},
          {"剪线头", 6, Finish, C},
          {"检验", 5, Finish, X},
          {"整烫", 10, Finish, X},
          {"包装", 5, Finish, C}}},
        {"LTY",
         "连体衣",
         {kBaby},
         {"纯棉", "长袖", "短袖", "加厚"},
         {{"裁片", 8, Cut, C},
          {"打号", 5, Cut, X},
          {"合肩缝", 10, Sew, C},
          {"滚领口", 22, Sew, C},
          {"绱袖", 20, Sew, C},
          {"合侧缝", 22, Sew, C},
          {"滚袖口", 15, Sew, C},
          {"合裆缝", 15, Sew, C},
          {"滚裆边", 18, Sew, C},
          {"卷脚口", 15, Sew, C},
          {"钉四合扣", 20, Finish, C},
          {"缝商标", 5, Sew, X},
          {"剪线头", 6, Finish, C},
          {"检验", 5, Finish, C},
          {"整烫", 8, Finish, X},
          {"包装", 5, Finish, C}}},
    };
    return list;
}

// The most steps a style can have: the operations of the garment with the fewest.
int maxStepsPerStyle()
{
    size_t fewest = SIZE_MAX;
    for (const Garment& garment : garments())
        fewest = std::min(fewest, garment.operations.size());
    return int(fewest);
}

// Piece prices follow the standard time: about 0.45 yuan a standard minute, which at a normal
// pace over a 9-hour day makes a monthly wage of some 6,000 yuan. Children's sizes go a little
// faster than the same garment in adult sizes.
constexpr int kMilliPerMinute = 450;
constexpr double kChildTime = 0.85;
constexpr double kShortestMinutes = 0.4;
// The most pieces one record holds; a record stands for about an hour's bundle of work.
constexpr qint64 kMaxQuantity = 200;

const int kAdultSizes[] = {150, 155, 160, 165, 170, 175, 180, 185};
const int kChildSizes[] = {90, 100, 110, 120, 130, 140};
const int kBabySizes[] = {59, 66, 73, 80, 90};

struct Team {
    std::string name;
    Station station = Sew;
    qint64 id = 0;
};

struct Worker {
    std::string name;
    int team = 0;
    int place = 0; // machine place 1..100
    std::string placeText;
    int restDay = 7;       // the day of the week (1 Monday .. 7 Sunday) the worker has off
    int pacePercent = 100; // the worker's output against the standard time
};

struct Step {
    std::string label;
    std::string name;
    int priceMilli = 0;
    double minutes = 1; // standard time of one piece
    Station station = Sew;
};

struct Style {
    std::string kind;
    std::string name;
    const int* sizes = nullptr;
    int sizeCount = 0;
    int startMonth = 0; // index of the month the style is first worked on
    std::vector<Step> steps;
    // The steps each station's workers take on: their own and those of stations no team has; all
    // of them when that leaves none.
    std::array<std::vector<int>, StationCount> stepsFor;
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
        options.styles < 1 || options.stepsPerStyle < 1 || options.stepsPerStyle > maxStepsPerStyle()) {
        if (error)
            *error = QStringLiteral("rows must be 0 or more, months 1 to %1, teams 1 to %2 with 1 to 100 workers "
                                    "each, styles 1 or more with 1 to %3 steps")
                         .arg(kMaxMonths)
                         .arg(kTeams)
                         .arg(maxStepsPerStyle());
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
    std::array<bool, StationCount> staffed{};
    for (int t = 0; t < teamCount; ++t) {
        teams[size_t(t)].name = kTeamKinds[size_t(t)].name;
        teams[size_t(t)].station = kTeamKinds[size_t(t)].station;
        staffed[size_t(teams[size_t(t)].station)] = true;
    }

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
            const int restDay = random.between(1, 7);
            const int pace = random.between(80, 125);
            workers.push_back({name, t, places[size_t(i)], std::to_string(places[size_t(i)]), restDay, pace});
        }
    }

    // Styles go through the garments in a shuffled round, so that a dozen styles show a dozen
    // garments; each has its garment's core steps first, then extras, in sewing order.
    const std::vector<Garment>& garmentList = garments();
    const int garmentCount = int(garmentList.size());
    std::vector<int> garmentOrder(static_cast<size_t>(garmentCount));
    std::iota(garmentOrder.begin(), garmentOrder.end(), 0);
    std::vector<Style> styles(static_cast<size_t>(styleCount));
    for (int s = 0; s < styleCount; ++s) {
        if (s % garmentCount == 0)
            for (int i = 0; i < garmentCount - 1; ++i)
                std::swap(garmentOrder[size_t(i)], garmentOrder[size_t(random.between(i, garmentCount - 1))]);
        const Garment& garment = garmentList[size_t(garmentOrder[size_t(s % garmentCount)])];
        const Wearer& wearer = garment.wearers[size_t(random.below(int(garment.wearers.size())))];
        Style& style = styles[size_t(s)];
        style.kind = std::string(garment.prefix) + std::to_string(1001 + s);
        style.name =
            std::string(wearer.name) + garment.cuts[size_t(random.below(int(garment.cuts.size())))] + garment.name;
        if (wearer.sizes == Sizes::Baby) {
            style.sizes = kBabySizes;
            style.sizeCount = int(std::size(kBabySizes));
        } else if (wearer.sizes == Sizes::Child) {
            style.sizes = kChildSizes;
            style.sizeCount = int(std::size(kChildSizes));
        } else {
            style.sizes = kAdultSizes;
            style.sizeCount = int(std::size(kAdultSizes));
        }
        style.startMonth = int(qint64(s) * months / styleCount);

        // The core operations in a shuffled order, then the extras shuffled: the first stepCount
        // of these, put back into sewing order.
        const std::vector<Operation>& operations = garment.operations;
        std::vector<int> core, extras;
        for (int i = 0; i < int(operations.size()); ++i)
            (operations[size_t(i)].core ? core : extras).push_back(i);
        for (std::vector<int>* group : {&core, &extras})
            for (int i = 0; i + 1 < int(group->size()); ++i)
                std::swap((*group)[size_t(i)], (*group)[size_t(random.between(i, int(group->size()) - 1))]);
        std::vector<int> chosen = core;
        chosen.insert(chosen.end(), extras.begin(), extras.end());
        chosen.resize(static_cast<size_t>(stepCount));
        std::sort(chosen.begin(), chosen.end());
        // Garments of the grown-up kinds take a little less time in children's sizes; garments made
        // only for children have their own times.
        const bool childrenOnly = std::none_of(garment.wearers.begin(), garment.wearers.end(),
                                               [](const Wearer& w) { return w.sizes == Sizes::Adult; });
        const bool smaller = wearer.sizes != Sizes::Adult && !childrenOnly;
        for (int i = 0; i < stepCount; ++i) {
            const Operation& op = operations[size_t(chosen[size_t(i)])];
            const double minutes = std::max(kShortestMinutes, op.tenths / 10.0 * (smaller ? kChildTime : 1.0));
            // Each style's prices are agreed on their own: up to 10% under or 15% over the rate, to the fen.
            const int price = int(std::lround(minutes * kMilliPerMinute * random.between(90, 115) / 1000.0)) * 10;
            style.steps.push_back(
                {"工序" + std::to_string(i + 1), op.name, std::clamp(price, 100, 3000), minutes, op.station});
        }
        for (int station = 0; station < StationCount; ++station) {
            for (int i = 0; i < stepCount; ++i)
                if (style.steps[size_t(i)].station == station || !staffed[size_t(style.steps[size_t(i)].station)])
                    style.stepsFor[size_t(station)].push_back(i);
            if (style.stepsFor[size_t(station)].empty())
                for (int i = 0; i < stepCount; ++i)
                    style.stepsFor[size_t(station)].push_back(i);
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
        Statement insertUser(db, "INSERT INTO UserData(\"User\", Password, Role) VALUES(?, ?, ?)");
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
            int weekday;
            std::string text;
        };
        std::vector<Day> days;
        for (int m = 0; m < months; ++m) {
            const QDate month = firstMonth.addMonths(m);
            int count = month.daysInMonth();
            if (m == months - 1 && month.year() == today.year() && month.month() == today.month())
                count = today.day();
            for (int d = 0; d < count; ++d)
                days.push_back({m, month.addDays(d).dayOfWeek(), dateText(month.addDays(d))});
        }
        // Each day's records go round the workers at work that day (each has one day of the week
        // off); a worker's records share the worker's working time of 8 to 10 hours at the
        // worker's pace, and each record's quantity is what that share of time makes of its step.
        struct Entry {
            int worker;
            int weight;
        };
        std::vector<Entry> entries;
        std::vector<int> atWork;
        std::vector<double> workMinutes(static_cast<size_t>(workerCount));
        std::vector<int> weightSum(static_cast<size_t>(workerCount));
        const qint64 dayCount = qint64(days.size());
        for (qint64 d = 0; d < dayCount; ++d) {
            const Day& day = days[size_t(d)];
            const qint64 count = options.rows * (d + 1) / dayCount - options.rows * d / dayCount;
            const bool priced = day.month < months - 1 || options.priceLastMonth;
            const std::vector<int>& active = activeStyles[size_t(day.month)];

            atWork.clear();
            for (int w = 0; w < workerCount; ++w)
                if (workers[size_t(w)].restDay != day.weekday)
                    atWork.push_back(w);
            if (atWork.empty())
                for (int w = 0; w < workerCount; ++w)
                    atWork.push_back(w);
            for (int i = 0; i + 1 < int(atWork.size()); ++i)
                std::swap(atWork[size_t(i)], atWork[size_t(random.between(i, int(atWork.size()) - 1))]);
            entries.clear();
            for (qint64 i = 0; i < count; ++i) {
                const int w = atWork[size_t(i % qint64(atWork.size()))];
                if (i < qint64(atWork.size())) {
                    workMinutes[size_t(w)] = random.between(480, 600) * workers[size_t(w)].pacePercent / 100.0;
                    weightSum[size_t(w)] = 0;
                }
                const int weight = random.between(3, 5);
                weightSum[size_t(w)] += weight;
                entries.push_back({w, weight});
            }

            for (const Entry& entry : entries) {
                const Worker& worker = workers[size_t(entry.worker)];
                const Style& style = styles[size_t(active[size_t(random.below(int(active.size())))])];
                const std::vector<int>& choice = style.stepsFor[size_t(teams[size_t(worker.team)].station)];
                const Step& step = style.steps[size_t(choice[size_t(random.below(int(choice.size())))])];
                // One record in ten leaves the size empty, which the entry stores as 0.
                const int size = random.below(10) == 0 ? 0 : style.sizes[random.below(style.sizeCount)];
                const double minutes =
                    workMinutes[size_t(entry.worker)] * entry.weight / weightSum[size_t(entry.worker)];
                const qint64 quantity = std::clamp<qint64>(std::llround(minutes / step.minutes), 1, kMaxQuantity);
                insertRecord.text(1, teams[size_t(worker.team)].name);
                insertRecord.integer(2, worker.place);
                insertRecord.text(3, worker.name);
                insertRecord.text(4, style.kind);
                insertRecord.text(5, style.name);
                insertRecord.text(6, step.label);
                insertRecord.text(7, step.name);
                insertRecord.real(8, size);
                insertRecord.integer(9, quantity);
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

    // A style's piece count covers what its busiest step has recorded, with a tenth to spare and
    // rounded up to hundreds, as a workshop's order would; otherwise every new record in the demo
    // would be asked about as pieces claimed twice. Styles without records keep their drawn count.
    if (sqlite3_exec(db,
                     "UPDATE Product SET ProductCount = (SELECT (Max(t) * 11 / 10 / 100 + 1) * 100 FROM (SELECT "
                     "Sum(ProductCount) AS t FROM Salary WHERE KindId = Product.Kind GROUP BY Process)) "
                     "WHERE EXISTS (SELECT 1 FROM Salary WHERE KindId = Product.Kind)",
                     nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("piece counts"));

    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("cannot commit"));
    return true;
}

Options demoOptions()
{
    Options options;
    // About nine records a worker a day, each an hour or so of one step.
    options.rows = 28'000;
    options.months = 3;
    options.teams = 4;
    options.workers = 40;
    options.styles = 12;
    options.stepsPerStyle = 16;
    options.priceLastMonth = true;
    return options;
}

bool createSampleDatabase(const QString& path, const Options& options, QString* error)
{
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        return false;
    };
    const QByteArray schema = data::schemaText(data::Dialect::Sqlite).toUtf8();

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
