// kvam2100-cli end to end: the program itself against kvam-meter-sim on pseudo-terminals, one row
// per command and meter: a good meter, a silent port, a missing one, a faulty line, bad files, two
// meters at once, a clamping meter and an interrupted write. Each row checks the exit status, what
// the program printed and, where the meter or a file must (or must not) have changed, the meter's
// records read back by the program or the file's bytes.

#include "device/FieldTable.h"
#include "records/RecordLayout.h"
#include "tests/MeterSim.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
    double seconds = 0;
};

/// What a row has to work with: its folder, the meters' ports.
struct Site
{
    QDir dir;
    QStringList ports;
    QString history;
    QString at; ///< a backup's stamp, for %AT

    QString path(const QString& name) const { return dir.filePath(name); }

    /// Runs the program with standard input not a terminal, or with `typed` typed on a terminal;
    /// `during` runs once it has started.
    Run cli(QStringList args, const std::function<void(QProcess&)>& during = {},
            const QByteArray& typed = {}) const
    {
        for (QString& a : args) {
            for (int i = 0; i < ports.size(); ++i)
                a.replace(QStringLiteral("%P%1").arg(i + 1), ports[i]);
            a.replace(QStringLiteral("%D"), dir.path());
            a.replace(QStringLiteral("%AT"), at);
        }
        if (args.size() > 1 && args[0] != QLatin1String("ports"))
            args << QStringLiteral("--history") << history;
        QProcess p;
        p.setStandardInputFile(QProcess::nullDevice());
        int master = -1;
        int slave = -1;
        char terminal[128] = {};
        if (!typed.isEmpty() && ::openpty(&master, &slave, terminal, nullptr, nullptr) == 0) {
            p.setStandardInputFile(QString::fromLocal8Bit(terminal));
            [[maybe_unused]] const ssize_t n = ::write(master, typed.constData(), std::size_t(typed.size()));
        }
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral(KVAM_CLI), args);
        if (!p.waitForStarted(5000))
            return {};
        if (during)
            during(p);
        if (!p.waitForFinished(60000))
            p.kill();
        Run r;
        r.seconds = double(t.elapsed()) / 1000;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        if (master >= 0) {
            ::close(master);
            ::close(slave);
        }
        return r;
    }

    /// The meter's RAM2 and RAM3 fields as `read --format json` gives them.
    QJsonObject records(int meter) const
    {
        const Run r = cli({QStringLiteral("read"), QStringLiteral("-p"), ports[meter],
                           QStringLiteral("--format"), QStringLiteral("json")});
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }
    double field(int meter, const char* record, const char* name, int index = -1) const
    {
        const QJsonValue v = records(meter)[QLatin1String(record)].toObject()[QLatin1String(name)];
        return index < 0 ? v.toDouble() : v.toArray().at(index).toDouble();
    }
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// The settings section the program reads from meter `meter`, as raw Windows-1250 bytes, with
/// `edits` ("Key=Value", the key in UTF-8) made.
QByteArray section(const Site& s, int meter, const QStringList& edits)
{
    QProcess raw;
    raw.start(QStringLiteral(KVAM_CLI), {QStringLiteral("read"), QStringLiteral("-p"), s.ports[meter],
                                         QStringLiteral("--history"), s.history});
    raw.waitForFinished(10000);
    QByteArray text = raw.readAllStandardOutput();
    for (const QString& e : edits) {
        const QByteArray edit =
            e.toLatin1(); // the keys' accented letters are in Latin-1 and Windows-1250 alike
        const QByteArray key = edit.left(edit.indexOf('=') + 1);
        const qsizetype at = text.indexOf("\n" + key);
        if (at < 0)
            continue;
        const qsizetype end = text.indexOf('\r', at + 1);
        text.replace(at + 1, end - at - 1, edit);
    }
    return text;
}

using Prepare = std::function<void(Site&)>;
using Check = std::function<void(Site&, const Run&)>;

enum class Line
{
    Meter,   ///< kvam-meter-sim with the row's arguments
    Silent,  ///< a pseudo-terminal nobody answers on
    Missing, ///< a device that does not exist
};

struct Row
{
    const char* name;
    std::vector<std::pair<Line, QStringList>> meters;
    QStringList args;
    int status;
    QStringList out = {}; ///< each must stand in standard output
    QStringList err = {}; ///< each must stand in standard error
    Prepare prepare = {};
    Check check = {};
    std::function<void(QProcess&)> during = {};
    QByteArray typed = {}; ///< typed on the terminal standard input is; empty: not a terminal
};

const QStringList kInstalled{QStringLiteral("--installed")};
const QStringList kSecond{QStringLiteral("--installed"), QStringLiteral("--factory-number"),
                          QStringLiteral("21005678")};
const QStringList kFaulty{QStringLiteral("--installed"), QStringLiteral("--faults"),
                          QStringLiteral("drop=0.1,crc=0.05,late=0.05,split=0.05,garbage=0.05"),
                          QStringLiteral("--seed"), QStringLiteral("7")};

QStringList words(const char* text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

const std::vector<Row>& rows()
{
    static const std::vector<Row> kRows = {
        {"info of a good meter",
         {{Line::Meter, kInstalled}},
         words("info -p %P1"),
         0,
         {QStringLiteral("factory number   21001234"), QStringLiteral("firmware         3.2.7"),
          QStringLiteral("slot 1: 2 outputs 3 inputs")}},
        {"info as JSON",
         {{Line::Meter, kInstalled}},
         words("info -p %P1 --json"),
         0,
         {QStringLiteral("\"factoryNumber\":21001234"), QStringLiteral("\"firmware\":\"3.2.7\""),
          QStringLiteral("\"port\":\"%P1\""), QStringLiteral("\"status\":0")}},
        {"info of a silent port",
         {{Line::Silent, {}}},
         words("info -p %P1"),
         3,
         {},
         {QStringLiteral("no meter answers")},
         {},
         [](Site& s, const Run& r) {
             QVERIFY2(r.seconds < 2.5, qPrintable(QString::number(r.seconds)));
             QVERIFY(r.err.contains(s.ports[0]));
         }},
        {"info of a missing port",
         {{Line::Missing, {}}},
         words("info -p %P1"),
         3,
         {},
         {QStringLiteral("cannot be opened")}},
        {"info over a faulty line",
         {{Line::Meter, kFaulty}},
         words("info -p %P1"),
         0,
         {QStringLiteral("factory number   21001234")}},
        {"a refused firmware",
         {{Line::Meter, {QStringLiteral("--version"), QStringLiteral("2.9.1")}}},
         words("info -p %P1"),
         4,
         {},
         {QStringLiteral("firmware 2.9.1 is not supported")}},
        {"read into a settings file keeps its other bytes",
         {{Line::Meter, kInstalled}},
         words("read -p %P1 -o %D/settings.ini"),
         0,
         {},
         {},
         [](Site& s) {
             writeFile(s.path(QStringLiteral("settings.ini")),
                       "; site \xe9p\xfclet "
                       "A\r\n[Other]\r\nKey=1\r\n\r\n[21001234]\r\nZajz\xe1r=9\r\nStray=kept\r\n\r\n[Tail]"
                       "\r\nX=2\r\n");
         },
         [](Site& s, const Run&) {
             const QByteArray after = readBytes(s.path(QStringLiteral("settings.ini")));
             QVERIFY(after.startsWith("; site \xe9p\xfclet A\r\n[Other]\r\nKey=1\r\n\r\n[21001234]\r\n"));
             QVERIFY(after.contains("Stray=kept\r\n"));
             QVERIFY(after.endsWith("[Tail]\r\nX=2\r\n"));
             QVERIFY(!after.contains("Zajz\xe1r=9\r\n"));
             // The section is what the program prints for the meter, key for key.
             const Run printed = s.cli({QStringLiteral("read"), QStringLiteral("-p"), s.ports[0]});
             QVERIFY(
                 after.contains(printed.out.toLatin1().mid(printed.out.indexOf(QLatin1Char('\n')) + 1, 60)));
         }},
        {"read of the raw record",
         {{Line::Meter, kInstalled}},
         words("read -p %P1 --format user -o %D/meter.user"),
         0,
         {},
         {},
         {},
         [](Site& s, const Run&) { QCOMPARE(readBytes(s.path(QStringLiteral("meter.user"))).size(), 314); }},
        {"diff of a missing file",
         {{Line::Meter, kInstalled}},
         words("diff -p %P1 %D/none.ini"),
         5,
         {},
         {QStringLiteral("none.ini: no such file")}},
        {"diff of a section the file lacks",
         {{Line::Meter, kInstalled}},
         words("diff -p %P1 %D/s.ini --section 7"),
         5,
         {},
         {QStringLiteral("no section [7]")},
         [](Site& s) { writeFile(s.path(QStringLiteral("s.ini")), "[1]\r\nA=1\r\n"); }},
        {"diff finds a changed field",
         {{Line::Meter, kInstalled}},
         words("diff -p %P1 %D/s.ini"),
         1,
         {QStringLiteral("RAM2.MB01Addr"), QStringLiteral("1 differ")},
         {},
         [](Site& s) {
             writeFile(s.path(QStringLiteral("s.ini")), section(s, 0, {QStringLiteral("MB01Addr=42")}));
         }},
        {"diff as JSON",
         {{Line::Meter, kInstalled}},
         words("diff -p %P1 %D/s.ini --json"),
         1,
         {},
         {},
         [](Site& s) {
             writeFile(s.path(QStringLiteral("s.ini")), section(s, 0, {QStringLiteral("MB01Addr=42")}));
         },
         [](Site&, const Run& r) {
             const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
             QCOMPARE(o[QStringLiteral("status")].toInt(), 1);
             QCOMPARE(o[QStringLiteral("meter")].toInt(), 21001234);
             const QJsonArray differences = o[QStringLiteral("differences")].toArray();
             QCOMPARE(differences.size(), 1);
             QCOMPARE(differences[0].toObject()[QStringLiteral("field")].toString(),
                      QStringLiteral("MB01Addr"));
             QCOMPARE(differences[0].toObject()[QStringLiteral("file")].toDouble(), 42.0);
         }},
        {"a damaged section is not written",
         {{Line::Meter, kInstalled}},
         words("write -p %P1 %D/s.ini --yes"),
         5,
         {},
         {QStringLiteral("damaged: MB01Addr")},
         [](Site& s) {
             writeFile(
                 s.path(QStringLiteral("s.ini")),
                 section(s, 0, {QStringLiteral("MB01Addr=forty"), QStringLiteral("Energy_sampletime=30")}));
         },
         [](Site& s, const Run&) { QCOMPARE(s.field(0, "RAM2", "Energy_sampletime"), 15.0); }},
        {"--keep with an unknown field",
         {{Line::Meter, kInstalled}},
         words("write -p %P1 %D/s.ini --keep Bogus --yes"),
         2,
         {},
         {QStringLiteral("\"Bogus\" is no field")}},
        {"no write without a terminal or --yes",
         {{Line::Meter, kInstalled}},
         words("write -p %P1 %D/s.ini"),
         2,
         {QStringLiteral("Energy_sampletime")},
         {QStringLiteral("not a terminal")},
         [](Site& s) {
             writeFile(s.path(QStringLiteral("s.ini")),
                       section(s, 0, {QStringLiteral("Energy_sampletime=30")}));
         },
         [](Site& s, const Run&) { QCOMPARE(s.field(0, "RAM2", "Energy_sampletime"), 15.0); }},
        {"a template to two meters keeps each one's fields and factory data",
         {{Line::Meter, kInstalled}, {Line::Meter, kSecond}},
         words("write -p %P1 -p %P2 %D/t.ini --section 21001234 --keep MB01Addr --yes"),
         0,
         {QStringLiteral("== %P1 meter 21001234"), QStringLiteral("meter 21005678"),
          QStringLiteral("RAM2 written and verified"),
          QStringLiteral("not written (--include-factory writes them)")},
         {},
         [](Site& s) {
             writeFile(s.path(QStringLiteral("t.ini")),
                       section(s, 0,
                               {QStringLiteral("MB01Addr=42"), QStringLiteral("Energy_sampletime=30"),
                                QStringLiteral("Gyartasiszam=21001234")}));
         },
         [](Site& s, const Run&) {
             for (int m : {0, 1}) {
                 QCOMPARE(s.field(m, "RAM2", "Energy_sampletime"), 30.0);
                 QCOMPARE(s.field(m, "RAM2", "MB01Addr"), 17.0);
             }
             QCOMPARE(s.field(1, "RAM3", "Gyartasiszam"), 21005678.0);
             // Each meter has its backup and its journal line.
             QVERIFY(QFile::exists(s.history + QStringLiteral("/21005678/journal.txt")));
             const Run list = s.cli({QStringLiteral("restore"), QStringLiteral("-p"), s.ports[1]});
             QVERIFY2(list.out.contains(QStringLiteral("1 backup(s)")), qPrintable(list.out));
         }},
        {"keeping the factory number does not let another meter's calibration in",
         {{Line::Meter, kInstalled}, {Line::Meter, kSecond}},
         words("write -p %P2 %D/t.ini --section 21001234 --keep Gyartasiszam --yes"),
         0,
         {QStringLiteral("not written (--include-factory writes them)"),
          QStringLiteral("RAM2 written and verified")},
         {},
         [](Site& s) {
             writeFile(
                 s.path(QStringLiteral("t.ini")),
                 section(s, 0, {QStringLiteral("RMSCoeff_0=1.5"), QStringLiteral("Energy_sampletime=30")}));
         },
         [](Site& s, const Run&) {
             QCOMPARE(s.field(1, "RAM2", "Energy_sampletime"), 30.0);
             QVERIFY(s.field(1, "RAM3", "RMSCoeff", 0) != 1.5);
             QCOMPARE(s.field(1, "RAM3", "Gyartasiszam"), 21005678.0);
         }},
        {"a meter that clamps a field fails the verification",
         {{Line::Meter,
           kInstalled + QStringList{QStringLiteral("--clamp"), QStringLiteral("RAM2.Ratio[1]=70")}}},
         words("write -p %P1 %D/s.ini --yes"),
         1,
         {QStringLiteral("the meter holds otherwise"), QStringLiteral("Ratio[1] written 75.5, read 70")},
         {},
         [](Site& s) {
             writeFile(s.path(QStringLiteral("s.ini")), section(s, 0, {QStringLiteral("Áttétel_1=75.5")}));
         }},
        {"a write confirmed on a terminal reports its whole outcome after the review",
         {{Line::Meter,
           kInstalled + QStringList{QStringLiteral("--clamp"), QStringLiteral("RAM2.Ratio[1]=70")}}},
         words("write -p %P1 %D/s.ini"),
         1,
         {QStringLiteral("RAM2 written, but the meter holds otherwise: Ratio[1] written 75.5, read 70")},
         {QStringLiteral("Write these changes into meter 21001234")},
         [](Site& s) {
             writeFile(s.path(QStringLiteral("s.ini")), section(s, 0, {QStringLiteral("Áttétel_1=75.5")}));
         },
         [](Site&, const Run& r) { QCOMPARE(r.out.count(QStringLiteral("1 to change")), 1); },
         {},
         "y\n"},
        {"an interrupted write leaves the meter's state unknown, and diff tells",
         {{Line::Meter,
           kInstalled + QStringList{QStringLiteral("--hostile"),
                                    QStringLiteral("7:silence,7:silence,7:silence,7:silence,7:silence,7:"
                                                   "silence,7:silence,7:silence")}}},
         words("write -p %P1 %D/s.ini --yes"),
         1,
         {},
         {QStringLiteral("interrupted before RAM2 was confirmed"), QStringLiteral("unknown")},
         [](Site& s) {
             writeFile(s.path(QStringLiteral("s.ini")),
                       section(s, 0, {QStringLiteral("Energy_sampletime=30")}));
         },
         [](Site& s, const Run&) {
             // The silent meter took the write without acknowledging it: the journal says it was
             // not acknowledged, and diff shows that the meter holds the file's value.
             const QByteArray journal = readBytes(s.history + QStringLiteral("/21001234/journal.txt"));
             QVERIFY2(journal.contains("not acknowledged"), journal.constData());
             const Run diff = s.cli(
                 {QStringLiteral("diff"), QStringLiteral("-p"), s.ports[0], s.path(QStringLiteral("s.ini"))});
             QCOMPARE(diff.status, 0);
             QVERIFY(diff.out.contains(QStringLiteral("no difference")));
         },
         [](QProcess& p) {
             QTest::qWait(1200); // the write is asked for and goes unanswered
             // Never kill(0, ...): that would interrupt this test's own process group.
             if (p.state() == QProcess::Running && p.processId() > 0)
                 ::kill(pid_t(p.processId()), SIGINT);
         }},
        {"a backup written back by restore",
         {{Line::Meter, kInstalled}},
         words("restore -p %P1 --at %AT --yes"),
         0,
         {QStringLiteral("RAM2.Energy_sampletime"), QStringLiteral("RAM2 written and verified")},
         {},
         [](Site& s) {
             writeFile(s.path(QStringLiteral("s.ini")),
                       section(s, 0, {QStringLiteral("Energy_sampletime=30")}));
             QCOMPARE(s.cli({QStringLiteral("write"), QStringLiteral("-p"), s.ports[0],
                             s.path(QStringLiteral("s.ini")), QStringLiteral("--yes")})
                          .status,
                      0);
             QCOMPARE(s.field(0, "RAM2", "Energy_sampletime"), 30.0);
             const Run list = s.cli(
                 {QStringLiteral("restore"), QStringLiteral("-p"), s.ports[0], QStringLiteral("--json")});
             const QJsonArray backups =
                 QJsonDocument::fromJson(list.out.toUtf8()).object()[QStringLiteral("backups")].toArray();
             QCOMPARE(backups.size(), 1);
             s.at = backups.at(0).toObject()[QStringLiteral("id")].toString();
         },
         [](Site& s, const Run&) { QCOMPARE(s.field(0, "RAM2", "Energy_sampletime"), 15.0); }},
        {"a restore of no such backup",
         {{Line::Meter, kInstalled}},
         words("restore -p %P1 --at 1999 --yes"),
         2,
         {},
         {QStringLiteral("no backup at \"1999\"")}},
        {"user defaults are confirmed by the records read back",
         {{Line::Meter, kInstalled}},
         words("service -p %P1 user-defaults --yes"),
         0,
         {QStringLiteral("user-defaults sent"), QStringLiteral("RAM2.")},
         {},
         {},
         [](Site& s, const Run& r) {
             // Every row the program lists as changed is what the meter now holds.
             QVERIFY(!r.out.contains(QStringLiteral("RAM3.")));
             QVERIFY(s.field(0, "RAM2", "Ratio", 1) != 40.0);
         }},
        {"watch as CSV",
         {{Line::Meter, kInstalled}},
         words("watch -p %P1 --count 3 --format csv"),
         0,
         {QStringLiteral("port,meter,time,U12 [V]")},
         {},
         {},
         [](Site&, const Run& r) { QCOMPARE(r.out.count(QLatin1Char('\n')), 4); }},
        {"log in the window's format",
         {{Line::Meter, kInstalled}},
         words("log -p %P1 -o %D/m.txt --seconds 2.2"),
         0,
         {},
         {},
         {},
         [](Site& s, const Run&) {
             const QByteArray log = readBytes(s.path(QStringLiteral("m.txt")));
             QVERIFY(log.startsWith("D\xe1tum_id\xf5;U12;"));
             QCOMPARE(log.count("\r\n"), 3);
         }},
        {"a service command needs --yes",
         {{Line::Meter, kInstalled}},
         words("service -p %P1 clear-errors"),
         2,
         {},
         {QStringLiteral("add --yes")}},
        {"the energy clear is verified",
         {{Line::Meter, kInstalled}},
         words("service -p %P1 clear-energy --yes"),
         0,
         {QStringLiteral("RAM1 written and verified")}},
    };
    return kRows;
}

} // namespace

class TstCli : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < rows().size(); ++i)
            QTest::newRow(rows()[i].name) << int(i);
    }

    void commands()
    {
        QFETCH(int, row);
        const Row& r = rows()[std::size_t(row)];
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        Site site;
        site.dir = QDir(dir.path());
        site.history = dir.filePath(QStringLiteral("history"));
        struct Sim : QProcess
        {
            ~Sim() override { kvam::test::stopMeter(*this); }
        };
        std::vector<std::unique_ptr<Sim>> sims;
        std::vector<int> ptys;
        for (const auto& [line, args] : r.meters) {
            if (line == Line::Meter) {
                sims.push_back(std::make_unique<Sim>());
                site.ports << kvam::test::startMeter(*sims.back(), args);
                QVERIFY(!site.ports.last().isEmpty());
            } else if (line == Line::Silent) {
                int master = -1;
                int slave = -1;
                char name[128] = {};
                QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
                ptys.push_back(master);
                ptys.push_back(slave);
                site.ports << QString::fromLocal8Bit(name);
            } else {
                site.ports << dir.filePath(QStringLiteral("no-such-port"));
            }
        }
        if (r.prepare)
            r.prepare(site);
        const Run run = site.cli(r.args, r.during, r.typed);
        auto expand = [&](QString text) {
            for (int i = 0; i < site.ports.size(); ++i)
                text.replace(QStringLiteral("%P%1").arg(i + 1), site.ports[i]);
            return text;
        };
        QVERIFY2(run.status == r.status, qPrintable(QStringLiteral("status %1, expected %2\n%3\n%4")
                                                        .arg(run.status)
                                                        .arg(r.status)
                                                        .arg(run.out, run.err)));
        for (const QString& o : r.out)
            QVERIFY2(run.out.contains(expand(o)),
                     qPrintable(expand(o) + QStringLiteral(" not in:\n") + run.out));
        for (const QString& e : r.err)
            QVERIFY2(run.err.contains(expand(e)),
                     qPrintable(expand(e) + QStringLiteral(" not in:\n") + run.err));
        if (r.check)
            r.check(site, run);
        for (int fd : ptys)
            ::close(fd);
    }

    /// Usage errors end at once with status 2 and say what is wrong, without touching a port.
    /// The command line shows a changed value as the window's review does: every kind of field (a
    /// scaled float, an integer, a list, a composed value, lamps) rendered by the field table.
    void diffRendersAsTheWindow()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        Site site;
        site.dir = QDir(dir.path());
        site.history = dir.filePath(QStringLiteral("history"));
        QProcess sim;
        site.ports << kvam::test::startMeter(sim, {QStringLiteral("--installed")});
        QVERIFY(!site.ports.last().isEmpty());
        const QStringList edits{QStringLiteral("Áttétel_1=75.5"), QStringLiteral("MB01Addr=18"),
                                QStringLiteral("MB01Baud=5"),     QStringLiteral("DoutFunction_0=2"),
                                QStringLiteral("DinPolarity=97"), QStringLiteral("LedErrorMask=1044990")};
        writeFile(site.path(QStringLiteral("s.ini")), section(site, 0, edits));
        const Run text = site.cli(words("diff -p %P1 %D/s.ini"));
        const Run json = site.cli(words("diff -p %P1 %D/s.ini --json"));
        kvam::test::stopMeter(sim);
        QCOMPARE(text.status, 1);
        const QJsonArray changes =
            QJsonDocument::fromJson(json.out.toUtf8()).object()[QStringLiteral("differences")].toArray();
        QCOMPARE(changes.size(), edits.size());
        for (const QJsonValue& v : changes) {
            const QJsonObject o = v.toObject();
            const QString name = o[QStringLiteral("field")].toString();
            const kvam::MemoryRecord record = o[QStringLiteral("record")].toString() == QLatin1String("RAM3")
                                                  ? kvam::MemoryRecord::Ram3
                                                  : kvam::MemoryRecord::Ram2;
            const qsizetype bracket = name.indexOf(QLatin1Char('['));
            kvam::FieldChange c;
            c.record = record;
            c.field = kvam::memoryRecordLayout(record).field(
                name.left(bracket < 0 ? name.size() : bracket).toLatin1().constData());
            QVERIFY2(c.field, qPrintable(name));
            c.index = bracket < 0 ? 0 : std::size_t(name.mid(bracket + 1).chopped(1).toUInt());
            c.before = o[QStringLiteral("meter")].toDouble() * c.field->scale;
            c.after = o[QStringLiteral("file")].toDouble() * c.field->scale;
            const kvam::ChangeTexts t = kvam::changeTexts(c, kvam::Language::English);
            const QString prefix =
                QStringLiteral("  %1.%2 ").arg(o[QStringLiteral("record")].toString(), name);
            const QStringList rows = text.out.split(QLatin1Char('\n')).filter(prefix);
            QCOMPARE(rows.size(), 1);
            const QString row = rows.first();
            for (const QString& part : {t.before, t.after, t.unit, t.caption})
                QVERIFY2(row.contains(part), qPrintable(QStringLiteral("%1 not in %2").arg(part, row)));
            QVERIFY2(row.indexOf(t.before) < row.lastIndexOf(t.after), qPrintable(row));
        }
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("says");
        QTest::newRow("no command") << QStringList{} << QStringLiteral("no command");
        QTest::newRow("unknown command") << words("frobnicate -p X") << QStringLiteral("unknown command");
        QTest::newRow("no port") << words("info") << QStringLiteral("no port given");
        QTest::newRow("bad format") << words("read -p X --format xml")
                                    << QStringLiteral("--format must be one of");
        QTest::newRow("write without a file")
            << words("write -p X") << QStringLiteral("the settings file missing");
        QTest::newRow("dry run and yes")
            << words("write -p X f.ini --dry-run --yes") << QStringLiteral("contradict");
        QTest::newRow("bad count") << words("watch -p X --count 0") << QStringLiteral("--count");
        QTest::newRow("element past the field")
            << words("write -p X f.ini --keep Ratio[6]") << QStringLiteral("Ratio[6]");
        QTest::newRow("unknown service")
            << words("service -p X reboot --yes") << QStringLiteral("unknown service");
        QTest::newRow("log without file") << words("log -p X") << QStringLiteral("no file given");
        QTest::newRow("watch given the log's format")
            << words("watch -p X --format txt") << QStringLiteral("--format must be one of text|csv|json");
        QTest::newRow("log given watch's format")
            << words("log -p X -o f --format text") << QStringLiteral("--format must be one of txt|csv");
        QTest::newRow("a format where --json is the way")
            << words("info -p X --format json") << QStringLiteral("Unknown option 'format'");
        QTest::newRow("clear-energy needs --yes")
            << words("service -p X clear-energy") << QStringLiteral("add --yes");
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, says);
        QProcess p;
        p.start(QStringLiteral(KVAM_CLI), args);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(QString::fromUtf8(p.readAllStandardError()).contains(says), qPrintable(says));
    }
};

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
