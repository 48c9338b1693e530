#include "data/Sql.h"
#include "masterdata/MasterFixture.h"
#include "piecework/Produce.h"
#include "piecework/Salary.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>

using namespace masterfixture;

// The server goes away under an open window and comes back; a statement runs longer than the
// server allows. Each action says what happened, saves all or nothing, and the next action after
// the server is back connects again and finds the lists read again.

namespace {

const QString kNotSaved = QStringLiteral("数据没有保存，所填内容仍在，请修改后重试。");

bool cluster(const char* action, const QString& folder)
{
    QProcess script;
    script.start(QStringLiteral(DORVIK_PG_CLUSTER_SCRIPT), {QLatin1String(action), folder});
    return script.waitForFinished(120000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0;
}

QList<qint64> shownIds(const data::DataSet* list)
{
    QList<qint64> ids;
    for (int row = 0; row < list->recordCount(); ++row)
        ids << list->value(row, list->findField(QStringLiteral("id"))).toLongLong();
    return ids;
}

} // namespace

class TestServerRestart : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A cluster of this test's own: stopping the shared one would pull it from under the others.
        m_folder = QStringLiteral("/tmp/dorvik-restart-%1").arg(QCoreApplication::applicationPid());
        QVERIFY(cluster("start", m_folder));
        qputenv("DORVIK_TEST_PG_SOCKET", m_folder.toUtf8());
    }
    void cleanupTestCase() { QVERIFY(cluster("stop", m_folder)); }
    void init()
    {
        env = std::make_unique<Env>();
        const qlonglong team = env->addTeam(QStringLiteral("一组"));
        env->addWorker(QStringLiteral("张三"), team, QStringLiteral("5"));
        env->exec(QStringLiteral("INSERT INTO Product (Kind, Process, KindName) VALUES ('A1', 1, '衬衫')"));
        env->exec(
            QStringLiteral("INSERT INTO Process (Process, ProcessName, ProductId) VALUES ('工序1', '裁剪', 'A1')"));
    }
    void cleanup()
    {
        if (m_paused)
            QVERIFY(resume());
        delete entry;
        delete styles;
        QCOMPARE(env->boxes.unexpected(), 0);
        QCOMPARE(env->boxes.takeTexts(), QStringList());
        env.reset();
    }

    void serverGoneAndBack();
    void statementCutOffSavesNothing();

private:
    QList<QVariantList> records() const
    {
        return env->rows(QStringLiteral("SELECT id, ProductCount FROM Salary ORDER BY id"));
    }
    void fillRecord(const QString& count)
    {
        for (auto [box, text] : {std::pair{entry->DeptName_ComboBox, "一组"},
                                 {entry->Machine_Combobox, "5"},
                                 {entry->Kind_ComboBox, "A1"},
                                 {entry->Process_combobox, "工序1"}}) {
            box->setCurrentIndex(box->findText(QString::fromUtf8(text)));
            emit box->activated(box->currentIndex());
        }
        entry->ProcessCount->setText(count);
    }

    bool pause() { return m_paused = cluster("pause", m_folder); }
    bool resume()
    {
        m_paused = !cluster("resume", m_folder);
        return !m_paused;
    }

    QString m_folder;
    bool m_paused = false;
    std::unique_ptr<Env> env;
    QPointer<TDataAddForm> entry;
    QPointer<TProduceForm> styles;
};

void TestServerRestart::serverGoneAndBack()
{
    env->exec(QStringLiteral("INSERT INTO Salary (DeptName, WorkerName, ProductCount, ProcessDate) "
                             "VALUES ('一组', '张三', 1, '2004-03-01')"));
    entry = new TDataAddForm;
    entry->show();
    const data::DataSet* list = DM->DataAddQuery;
    QCOMPARE(shownIds(list), QList<qint64>{1});

    fillRecord(QStringLiteral("7"));
    QVERIFY(pause());
    env->boxes.expect(
        QStringLiteral("the server cannot be reached"),
        [](const toolkit::MessageRequest& r) {
            return r.text.startsWith(QStringLiteral("操作数据表时出错")) &&
                   (r.text.contains(QStringLiteral("无法连接数据库服务器")) ||
                    r.text.contains(QStringLiteral("连接已断开")));
        },
        QMessageBox::Ok);
    env->boxes.expect(kNotSaved);
    click(entry->cmdadd);
    QCOMPARE(env->boxes.unexpected(), 0);
    QCOMPARE(entry->ProcessCount->text(), QStringLiteral("7"));
    QCOMPARE(shownIds(list), QList<qint64>{1}); // the list keeps what it showed

    QVERIFY(resume());
    // Meanwhile another clerk saved a record the list never heard of.
    env->exec(QStringLiteral("INSERT INTO Salary (DeptName, WorkerName, ProductCount, ProcessDate) "
                             "VALUES ('一组', '张三', 2, '2004-03-02')"));
    click(entry->cmdadd);
    QCOMPARE(records(), (QList<QVariantList>{{1, 1}, {2, 2}, {3, 7}}));
    QTRY_COMPARE_WITH_TIMEOUT(shownIds(list), (QList<qint64>{3, 2, 1}), 1000);
}

// The server cancels a statement that runs past its time limit: the style and its steps are saved
// together or not at all, and the box says the statement did not finish.
void TestServerRestart::statementCutOffSavesNothing()
{
    env->exec(QStringLiteral("CREATE FUNCTION slow() RETURNS trigger LANGUAGE plpgsql AS "
                             "$$ BEGIN PERFORM pg_sleep(2); RETURN NEW; END $$"));
    env->exec(QStringLiteral("CREATE TRIGGER slow BEFORE INSERT ON Process FOR EACH ROW EXECUTE FUNCTION slow()"));
    const QString database = env->db().section(QLatin1Char('/'), 3).section(QLatin1Char('?'), 0, 0);
    env->exec(QStringLiteral("ALTER DATABASE \"%1\" SET statement_timeout = 300").arg(database));
    const auto before = env->rows(QStringLiteral("SELECT count(*) FROM Product"));

    styles = new TProduceForm;
    styles->show();
    styles->Kind_Edit->setText(QStringLiteral("B2"));
    styles->Process_Edit->setText(QStringLiteral("2"));
    styles->KindName_Edit->setText(QStringLiteral("长裤"));
    styles->ProductCount_Edit->setText(QStringLiteral("100"));
    env->boxes.expect(
        QStringLiteral("the statement did not finish"),
        [](const toolkit::MessageRequest& r) { return r.text.contains(QStringLiteral("没有在限定的时间内完成")); },
        QMessageBox::Ok);
    click(styles->cmdadd);
    QCOMPARE(env->boxes.unexpected(), 0);
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Product")), before);
    QCOMPARE(env->rows(QStringLiteral("SELECT count(*) FROM Process WHERE ProductId = 'B2'")).at(0).at(0), 0);
}

QTEST_MAIN(TestServerRestart)
#include "tst_serverrestart.moc"
