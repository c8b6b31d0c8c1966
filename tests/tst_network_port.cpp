// Network ports end to end: kvam2100-cli against kvam-meter-sim behind a real serial device server
// (ser2net, raw TCP and RFC 2217), against servers of this test that answer with noise or drop the
// connection halfway through an answer, and against addresses where nobody listens. What goes
// over the network must be what the serial line gives, byte for byte; a server that goes away and
// comes back must not end a command; every failure must end with status 3 (2 for a bad address),
// one line naming the address and the reason, within a bounded time.

#include "device/FieldTable.h"
#include "protocol/Frame.h"
#include "records/RecordLayout.h"
#include "tests/MeterSim.h"
#include "tests/Ser2net.h"
#include "texts/Cp1250.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

using kvam::test::Ser2net;
using Accepter = Ser2net::Accepter;

namespace {

struct Run
{
    int status = -1;
    QByteArray out;
    QString err;
    double seconds = 0;
    /// When each line of standard output was complete, in ms from the start.
    std::vector<qint64> lineAtMs;
    int lines() const { return int(lineAtMs.size()); }
    /// The lines of standard error the program wrote itself (not the usage hint after them).
    QStringList errorLines() const
    {
        return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts)
            .filter(QRegularExpression(QStringLiteral("^kvam2100-cli: ")));
    }
};

/// kvam2100-cli running while this test's event loop goes on (its servers answer meanwhile).
class Cli
{
public:
    Cli(QStringList args, const QString& history)
    {
        args << QStringLiteral("--history") << history;
        m_p.setStandardInputFile(QProcess::nullDevice());
        QObject::connect(&m_p, &QProcess::readyReadStandardOutput, [this] {
            const QByteArray bytes = m_p.readAllStandardOutput();
            for (char c : bytes)
                if (c == '\n')
                    m_run.lineAtMs.push_back(m_clock.elapsed());
            m_run.out += bytes;
        });
        m_clock.start();
        m_p.start(QStringLiteral(KVAM_CLI), args);
    }
    ~Cli()
    {
        if (m_p.state() != QProcess::NotRunning) {
            m_p.kill();
            m_p.waitForFinished(2000);
        }
    }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    bool waitForLines(int lines, int timeoutMs)
    {
        return QTest::qWaitFor([&] { return m_run.lines() >= lines || m_p.state() == QProcess::NotRunning; },
                               timeoutMs) &&
               m_run.lines() >= lines;
    }
    /// Waits for the end (killing the program after `timeoutMs`) and returns what it did.
    Run finish(int timeoutMs)
    {
        if (!QTest::qWaitFor([&] { return m_p.state() == QProcess::NotRunning; }, timeoutMs)) {
            m_p.kill();
            m_p.waitForFinished(2000);
        }
        m_run.seconds = double(m_clock.elapsed()) / 1000;
        m_run.out += m_p.readAllStandardOutput();
        m_run.err = QString::fromUtf8(m_p.readAllStandardError());
        m_run.status = m_p.exitStatus() == QProcess::NormalExit ? m_p.exitCode() : -1;
        return m_run;
    }

private:
    QProcess m_p;
    QElapsedTimer m_clock;
    Run m_run;
};

QString report(const Run& r)
{
    return QStringLiteral("status %1 after %2 s\n--- stdout\n%3\n--- stderr\n%4")
        .arg(r.status)
        .arg(r.seconds)
        .arg(QString::fromUtf8(r.out.left(2000)), r.err);
}

/// A server that answers every request with noise.
class NoiseServer : public QTcpServer
{
public:
    NoiseServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    s->readAll();
                    QByteArray noise(64, '\0');
                    for (char& c : noise)
                        c = char(m_random.bounded(256));
                    s->write(noise);
                });
            }
        });
    }

private:
    QRandomGenerator m_random{20240611};
};

/// A server that starts a proper answer to the first request and closes the connection halfway
/// through it.
class CuttingServer : public QTcpServer
{
public:
    CuttingServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    const QByteArray request = s->readAll();
                    const kvam::Frame answer(std::uint8_t(request.isEmpty() ? 0 : request[0]),
                                             std::vector<std::uint8_t>(40, 0x11));
                    const std::vector<std::uint8_t> frame = answer.encode();
                    s->write(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size() / 2));
                    s->disconnectFromHost();
                });
            }
        });
    }
};

/// The section text with every RAM2 key whose value is an integer set to -1: the settings file
/// cuts it to the field's width, so the field's bytes are all 0xFF. `edited` takes the fields.
QByteArray allOnes(const QByteArray& section, std::vector<const kvam::ConfigField*>& edited)
{
    QString text = kvam::cp1250::decode(section);
    for (const kvam::ConfigField& f : kvam::ram2ConfigFields()) {
        if (f.kind != kvam::SettingKind::Integer)
            continue;
        const QString key = QString::fromUtf8(f.key);
        QStringList keys;
        if (f.order == kvam::KeyOrder::Single)
            keys << key;
        else
            for (std::size_t i = 0; i < f.keyCount; ++i)
                keys << key + QString::number(i);
        bool found = true;
        for (const QString& k : keys) {
            const QRegularExpression line(
                QStringLiteral("(^|\\n)%1=[^\\r]*").arg(QRegularExpression::escape(k)));
            found = found && line.match(text).hasMatch();
            text.replace(line, QStringLiteral("\\1%1=-1").arg(k));
        }
        if (found)
            edited.push_back(&f);
    }
    return kvam::cp1250::encode(text);
}

} // namespace

class TstNetworkPort : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_history;
    QProcess m_sim;
    QString m_pty;
    std::unique_ptr<Ser2net> m_server;
    bool m_ipv6 = false;
    NoiseServer m_noise;
    CuttingServer m_cutting;
    quint16 m_nobody = 0; ///< a loopback port nobody listens on

    Run cli(const QStringList& args, int timeoutMs = 60000)
    {
        Cli c(args, m_history);
        return c.finish(timeoutMs);
    }

    /// `text` with %PTY, %RAW, %TEL, %V6, %NOISE, %CUT, %NOBODY and their port numbers
    /// (%RAWPORT, %TELPORT) filled in.
    QString expand(QString text) const
    {
        auto on = [](const QTcpServer& s) { return QStringLiteral("127.0.0.1:%1").arg(s.serverPort()); };
        const std::pair<const char*, QString> marks[] = {
            {"%PTY", m_pty},
            {"%RAWPORT", QString::number(m_server->port(Accepter::Raw))},
            {"%TELPORT", QString::number(m_server->port(Accepter::Rfc2217))},
            {"%RAW", m_server->address(Accepter::Raw)},
            {"%TEL", m_server->address(Accepter::Rfc2217)},
            {"%V6", m_ipv6 ? m_server->address(Accepter::RawIpv6) : QString()},
            {"%NOISE", on(m_noise)},
            {"%CUT", on(m_cutting)},
            {"%NOBODY", QString::number(m_nobody)},
        };
        for (const auto& [mark, value] : marks)
            text.replace(QLatin1String(mark), value);
        return text;
    }
    QStringList arguments(const QString& words, const QString& extra = {}) const
    {
        return expand(words + extra).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!Ser2net::program().isEmpty(),
                 "ser2net is not installed: these tests need the real serial device server (scripts/setup "
                 "installs it)");
        QVERIFY(m_dir.isValid());
        m_history = m_dir.filePath(QStringLiteral("history"));
        m_pty = kvam::test::startMeter(m_sim, {QStringLiteral("--installed")});
        QVERIFY(!m_pty.isEmpty());
        m_ipv6 = Ser2net::hasIpv6Loopback();
        std::vector<Accepter> accepters{Accepter::Raw, Accepter::Rfc2217};
        if (m_ipv6)
            accepters.push_back(Accepter::RawIpv6);
        m_server = std::make_unique<Ser2net>(m_pty, accepters);
        QVERIFY2(m_server->start(), qPrintable(m_server->error()));
        QVERIFY(m_noise.listen(QHostAddress::LocalHost, 0));
        QVERIFY(m_cutting.listen(QHostAddress::LocalHost, 0));
        QTcpServer nobody;
        QVERIFY(nobody.listen(QHostAddress::LocalHost, 0));
        m_nobody = nobody.serverPort();
    }

    void cleanupTestCase()
    {
        m_server.reset();
        kvam::test::stopMeter(m_sim);
    }

    /// What the read command prints over the network is what it prints from the serial line.
    void readSameAsSerial_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("format");
        for (const char* format : {"user", "ini", "json"}) {
            QTest::addRow("%s over tcp", format) << QStringLiteral("%RAW") << QString::fromLatin1(format);
            QTest::addRow("%s over rfc2217", format) << QStringLiteral("%TEL") << QString::fromLatin1(format);
        }
        QTest::newRow("user over tcp to an IPv6 literal") << QStringLiteral("%V6") << QStringLiteral("user");
    }
    void readSameAsSerial()
    {
        QFETCH(QString, address);
        QFETCH(QString, format);
        if (address == QLatin1String("%V6") && !m_ipv6)
            QSKIP("this machine has no IPv6 loopback");
        const Run direct = cli(arguments(QStringLiteral("read -p %PTY --format ") + format));
        QVERIFY2(direct.status == 0, qPrintable(report(direct)));
        const Run net = cli(arguments(QStringLiteral("read -p %1 --format %2").arg(address, format)));
        QVERIFY2(net.status == 0, qPrintable(report(net)));
        if (format == QLatin1String("user"))
            QCOMPARE(direct.out.size(), qsizetype(kvam::memoryRecordLayout(kvam::MemoryRecord::Ram2).size));
        if (format == QLatin1String("json")) {
            // The port's own name is part of the JSON; the rest must be the same.
            QVERIFY(net.out.contains(expand(address).toUtf8()));
            QCOMPARE(QByteArray(net.out).replace(expand(address).toUtf8(), m_pty.toUtf8()), direct.out);
        } else {
            QCOMPARE(net.out, direct.out);
        }
        QVERIFY(net.err.isEmpty());
    }

    /// A record of 0xFF bytes written and read back over RFC 2217: Telnet doubles every 0xFF on
    /// the way out and the server's doubled ones are taken single on the way back.
    void allOnesThroughTelnet()
    {
        // A meter of its own: the record it is left with would change the other tests' meter.
        QProcess sim;
        const QString pty = kvam::test::startMeter(sim, {QStringLiteral("--installed")});
        QVERIFY(!pty.isEmpty());
        Ser2net server(pty, {Accepter::Rfc2217});
        QVERIFY2(server.start(), qPrintable(server.error()));
        const QString address = server.address(Accepter::Rfc2217);

        const Run section = cli({QStringLiteral("read"), QStringLiteral("-p"), address});
        QVERIFY2(section.status == 0, qPrintable(report(section)));
        std::vector<const kvam::ConfigField*> edited;
        const QByteArray ones = allOnes(section.out, edited);
        QVERIFY2(edited.size() >= 20, qPrintable(QString::number(edited.size())));
        const QString file = m_dir.filePath(QStringLiteral("ones.ini"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ones);
        }
        const Run written =
            cli({QStringLiteral("write"), QStringLiteral("-p"), address, file, QStringLiteral("--yes")});
        QVERIFY2(written.status == 0, qPrintable(report(written)));
        QVERIFY2(written.out.contains("RAM2 written and verified"), qPrintable(report(written)));

        const Run back = cli({QStringLiteral("read"), QStringLiteral("-p"), address,
                              QStringLiteral("--format"), QStringLiteral("user")});
        QVERIFY2(back.status == 0, qPrintable(report(back)));
        const Run direct = cli({QStringLiteral("read"), QStringLiteral("-p"), pty, QStringLiteral("--format"),
                                QStringLiteral("user")});
        server.stop();
        kvam::test::stopMeter(sim);
        QCOMPARE(back.out, direct.out);
        QCOMPARE(back.out.size(), qsizetype(kvam::memoryRecordLayout(kvam::MemoryRecord::Ram2).size));
        int ones255 = 0;
        for (const kvam::ConfigField* f : edited) {
            const kvam::FieldInfo& info = f->info();
            const std::size_t keys = f->order == kvam::KeyOrder::Single ? 1 : f->keyCount;
            const QByteArray bytes = back.out.mid(qsizetype(info.offset), qsizetype(keys * info.width()));
            QVERIFY2(bytes == QByteArray(bytes.size(), '\xff'), f->field);
            ones255 += int(bytes.size());
        }
        QVERIFY2(ones255 >= 100, qPrintable(QString::number(ones255)));
    }

    /// A device server switched off in the middle of watch: started again it is reconnected to and
    /// watch ends as asked; left off, watch gives the meter up after --retry seconds.
    void serverSwitchedOff_data()
    {
        QTest::addColumn<int>("accepter");
        QTest::addColumn<int>("offMs"); ///< how long it stays off; -1: for good
        QTest::addColumn<int>("status");
        QTest::newRow("tcp, back after 1 s") << int(Accepter::Raw) << 1000 << 0;
        QTest::newRow("rfc2217, back after 1 s") << int(Accepter::Rfc2217) << 1000 << 0;
        QTest::newRow("tcp, off for good") << int(Accepter::Raw) << -1 << 3;
        QTest::newRow("rfc2217, off for good") << int(Accepter::Rfc2217) << -1 << 3;
    }
    void serverSwitchedOff()
    {
        QFETCH(int, accepter);
        QFETCH(int, offMs);
        QFETCH(int, status);
        // A server of its own, so that the other tests' one stays up whatever happens here.
        Ser2net server(m_pty, {Accepter::Raw, Accepter::Rfc2217});
        QVERIFY2(server.start(), qPrintable(server.error()));
        const QString address = server.address(Accepter(accepter));
        constexpr int kCount = 6;
        QStringList args{QStringLiteral("watch"),
                         QStringLiteral("-p"),
                         address,
                         QStringLiteral("--format"),
                         QStringLiteral("csv"),
                         QStringLiteral("--count"),
                         QString::number(offMs < 0 ? 1000 : kCount)};
        // Back after a second, the server is found on the second try (1.5 s after the loss), within
        // the default --retry of 5 s; off for good, the meter is given up after 1 s.
        if (offMs < 0)
            args << QStringLiteral("--retry") << QStringLiteral("1");
        Cli watch(args, m_history);
        // The header and two measurements before the server goes.
        QVERIFY(watch.waitForLines(3, 15000));
        const qint64 pid = server.pid();
        QVERIFY(pid > 0);
        QVERIFY(server.stop());
        const qint64 offAt = watch.elapsedMs();
        qint64 backAt = -1;
        if (offMs >= 0) {
            QTest::qWait(offMs);
            QVERIFY2(server.start(), qPrintable(server.error()));
            QVERIFY(server.pid() != pid);
            backAt = watch.elapsedMs();
        }
        const Run r = watch.finish(30000);
        QVERIFY2(r.status == status, qPrintable(report(r)));
        if (offMs >= 0) {
            QCOMPARE(r.lines(), kCount + 1);
            // No line while the server was off (one already on its way may come just after), and
            // the last ones from the server started again.
            for (qint64 at : r.lineAtMs)
                QVERIFY2(at < offAt + 250 || at > backAt, qPrintable(report(r)));
            QVERIFY2(r.lineAtMs.back() > backAt, qPrintable(report(r)));
            QVERIFY2(r.err.isEmpty(), qPrintable(report(r)));
        } else {
            // Given up --retry after the loss, not at once and not much later.
            const double afterLoss = r.seconds - double(offAt) / 1000;
            QVERIFY2(afterLoss >= 0.9 && afterLoss < 4, qPrintable(report(r)));
            const QStringList lines = r.errorLines();
            QVERIFY2(lines.size() == 1 && r.err.count(QLatin1Char('\n')) == 1, qPrintable(report(r)));
            QVERIFY2(lines[0].contains(address), qPrintable(report(r)));
            QVERIFY2(lines[0].contains(QStringLiteral("the connection was lost and the meter did not answer "
                                                      "again within 1 s")),
                     qPrintable(report(r)));
        }
    }

    /// Addresses that cannot work, and servers that are no meter's: each ends within a bounded time
    /// with its status and one line naming the address and why.
    void failures_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("extra"); ///< further arguments
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("reason"); ///< one of them
        QTest::addColumn<double>("seconds");     ///< at most
        // Where no name server answers at all, the connect time-out ends the look-up.
        QTest::newRow("unknown host")
            << QStringLiteral("tcp://no-such-host.invalid:4001") << QString() << 3
            << QStringList{QStringLiteral("cannot be opened: Host not found"),
                           QStringLiteral("cannot be opened: no connection within 5 s")}
            << 7.0;
        QTest::newRow("refused connection")
            << QStringLiteral("tcp://127.0.0.1:%NOBODY") << QString() << 3
            << QStringList{QStringLiteral("cannot be opened: Connection refused")} << 2.0;
        QTest::newRow("refused connection, rfc2217")
            << QStringLiteral("rfc2217://127.0.0.1:%NOBODY") << QString() << 3
            << QStringList{QStringLiteral("cannot be opened: Connection refused")} << 2.0;
        QTest::newRow("port number past 65535")
            << QStringLiteral("tcp://127.0.0.1:70000") << QString() << 2
            << QStringList{QStringLiteral("the port number must be a whole number from 1 to 65535")} << 2.0;
        QTest::newRow("port number 0")
            << QStringLiteral("rfc2217://127.0.0.1:0") << QString() << 2
            << QStringList{QStringLiteral("the port number must be a whole number from 1 to 65535")} << 2.0;
        QTest::newRow("IPv6 address without brackets")
            << QStringLiteral("tcp://::1:4001") << QString() << 2
            << QStringList{QStringLiteral("not a network address")} << 2.0;
        // Telnet's negotiation reaches the engine as noise, and the server doubles every 0xFF of
        // the meter's answers: the first answer holding one fails its check.
        QTest::newRow("raw TCP to the RFC 2217 accepter")
            << QStringLiteral("tcp://127.0.0.1:%TELPORT") << QString() << 3
            << QStringList{QStringLiteral("the meter stopped answering")} << 8.0;
        QTest::newRow("RFC 2217 to the raw accepter")
            << QStringLiteral("rfc2217://127.0.0.1:%RAWPORT") << QString() << 3
            << QStringList{QStringLiteral(
                   "did not answer the COM Port Control Option (RFC 2217) within 3 s; if it passes "
                   "the line's bytes as they are, use tcp://127.0.0.1:%RAWPORT")}
            << 6.0;
        QTest::newRow("a server that answers noise")
            << QStringLiteral("tcp://%NOISE") << QString() << 3
            << QStringList{QStringLiteral("no meter answers")} << 5.0;
        QTest::newRow("a server that answers noise, rfc2217")
            << QStringLiteral("rfc2217://%NOISE") << QString() << 3
            << QStringList{QStringLiteral("did not answer the COM Port Control Option")} << 6.0;
        QTest::newRow("a server that closes halfway through an answer")
            << QStringLiteral("tcp://%CUT") << QStringLiteral(" --retry 1") << 3
            << QStringList{QStringLiteral(
                   "the connection was lost and the meter did not answer again within 1 s")}
            << 5.0;
        QTest::newRow("a server that closes halfway through the negotiation")
            << QStringLiteral("rfc2217://%CUT") << QString() << 3
            << QStringList{QStringLiteral("cannot be opened: The remote host closed the connection")} << 5.0;
    }
    void failures()
    {
        QFETCH(QString, port);
        QFETCH(QString, extra);
        QFETCH(int, status);
        QFETCH(QStringList, reason);
        QFETCH(double, seconds);
        const QString address = expand(port);
        const Run r = cli(arguments(QStringLiteral("info -p ") + port, extra), int(seconds * 1000) + 10000);
        QVERIFY2(r.status == status, qPrintable(report(r)));
        QVERIFY2(r.out.isEmpty(), qPrintable(report(r)));
        const QStringList lines = r.errorLines();
        QVERIFY2(lines.size() == 1, qPrintable(report(r)));
        QVERIFY2(lines[0].startsWith(QStringLiteral("kvam2100-cli: %1: ").arg(address)),
                 qPrintable(report(r)));
        QVERIFY2(std::any_of(reason.begin(), reason.end(),
                             [&](const QString& why) { return lines[0].contains(expand(why)); }),
                 qPrintable(report(r)));
        QVERIFY2(r.seconds <= seconds, qPrintable(report(r)));
    }
};

QTEST_GUILESS_MAIN(TstNetworkPort)
#include "tst_network_port.moc"
