// The link driver on the event loop, with a port that only records: when the next request goes
// out after an answer. With the fast refresh it must leave before the repaint the answer set going
// (the window paints while the request is on the line), yet never sooner than three character
// times after the last bytes came in; without it the scheduler's tick decides.

#include "link/LinkDriver.h"
#include "records/Records.h"
#include "tests/LinkFakes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace kvam;
using namespace kvam::test;

namespace {

/// A port that notes every write with the time it was made.
class RecordingPort : public SerialPort
{
public:
    std::optional<QString> open(const QString&) override
    {
        m_open = true;
        return std::nullopt;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    bool write(const QByteArray& data) override
    {
        writes.push_back({clock.nsecsElapsed(), data});
        return m_open;
    }
    void answer(const Bytes& frame)
    {
        answeredAt = clock.nsecsElapsed();
        emit received(QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())));
    }

    struct Write
    {
        qint64 at;
        QByteArray bytes;
    };
    std::vector<Write> writes;
    qint64 answeredAt = 0;
    QElapsedTimer clock;

private:
    bool m_open = false;
};

/// Stands for the window: every answer posts a repaint at the priority Qt posts its own.
class RepaintingClient : public FakeClient, public QObject
{
public:
    void answerReceived(std::uint8_t code, const std::uint8_t* p) override
    {
        FakeClient::answerReceived(code, p);
        QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    }
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::UpdateRequest)
            return QObject::event(e);
        repaintWrites.push_back(writesSeen ? writesSeen() : 0);
        return true;
    }
    std::function<std::size_t()> writesSeen;
    std::vector<std::size_t> repaintWrites; ///< at each repaint: how many requests had gone out
};

/// A network port as the driver sees it: the test says when the connection is made or lost.
class ConnectingPort : public SerialPort
{
public:
    std::optional<QString> open(const QString&) override
    {
        m_status = PortStatus::Connecting;
        return std::nullopt;
    }
    void close() override { m_status = PortStatus::Closed; }
    bool isOpen() const override { return m_status != PortStatus::Closed; }
    bool write(const QByteArray& data) override
    {
        written.push_back(data);
        return isOpen();
    }
    PortStatus status() const override { return m_status; }
    int roundTripMs() const override { return rtt; }
    void up()
    {
        m_status = PortStatus::Up;
        emit connectionUp();
    }
    void lose()
    {
        m_status = PortStatus::Reconnecting;
        emit connectionLost(QStringLiteral("reset by peer"));
    }
    void fail() { emit openFailed(QStringLiteral("refused")); }

    std::vector<QByteArray> written;
    int rtt = 0;

private:
    PortStatus m_status = PortStatus::Closed;
};

/// Counts how often the line was declared interrupted: the safe-write rules hang on it.
struct InterruptCountingClient : FakeClient
{
    int interrupted = 0;
    void lineInterrupted() override { ++interrupted; }
};

} // namespace

class TstLinkDriver : public QObject
{
    Q_OBJECT
private slots:
    void nextRequestAfterAnAnswer_data()
    {
        QTest::addColumn<bool>("fast");
        QTest::addColumn<bool>("beforeRepaint");
        QTest::newRow("fast refresh: before the repaint") << true << true;
        QTest::newRow("normal: at the tick, after the repaint") << false << false;
    }
    void nextRequestAfterAnAnswer()
    {
        QFETCH(bool, fast);
        QFETCH(bool, beforeRepaint);
        RepaintingClient client;
        RecordingPort* port = nullptr;
        LinkDriver link(client, [&](const QString&) {
            auto p = std::make_unique<RecordingPort>();
            p->clock.start();
            port = p.get();
            return p;
        });
        client.writesSeen = [&] { return port ? port->writes.size() : 0; };
        link.setFastRefresh(fast);
        QVERIFY(!link.openPort(QStringLiteral("line")));
        link.engine().setFlag(Read_Net, true);
        QTRY_COMPARE(port->writes.size(), std::size_t(1));
        QCOMPARE(port->writes[0].bytes.at(0), char(Read_Net));

        port->answer(makeFrame(Read_Net, Bytes(net::kSize, 0)));
        QTRY_COMPARE(port->writes.size(), std::size_t(2));
        QTRY_COMPARE(client.repaintWrites.size(), std::size_t(1));
        QCOMPARE(client.repaintWrites[0] == 2, beforeRepaint);
        QCOMPARE(port->writes[1].bytes.at(0), char(Read_Net));
        // Three character times at 19200 baud between the answer's last bytes and the request.
        QVERIFY2(port->writes[1].at - port->answeredAt >= 1'600'000,
                 qPrintable(QString::number(port->writes[1].at - port->answeredAt)));
    }

    // A network connection's life as the driver must take it, step by step: u up, l lost,
    // f the first connection failed, r a request flagged and the scheduler's tick taken, a the
    // request answered, w a wait longer than the answer time-out. Each step's expectations: requests written
    // so far, how often the line was declared interrupted, the port's status, the answer time-out.
    void networkConnection_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("rtt");
        QTest::addColumn<int>("override");
        QTest::addColumn<QString>("expect"); // per step: writes/interrupts/status letter/time-out
        // Status letters: C connecting, U up, R reconnecting, X closed.
        QTest::newRow("no request before the connection")
            << "r u r" << 4 << 0 << "0/1/C/304 0/2/U/304 1/2/U/304";
        QTest::newRow("a loss interrupts the line; none goes until it is back")
            << "u r l r u r" << 0 << 0 << "0/2/U/300 1/2/U/300 1/3/R/300 1/3/R/300 1/4/U/300 2/4/U/300";
        // Its time-out would count as one more interruption.
        QTest::newRow("an exchange cut by a loss is forgotten")
            << "u r l w u r a" << 20 << 0
            << "0/2/U/320 1/2/U/320 1/3/R/320 1/3/R/320 1/4/U/320 2/4/U/320 2/4/U/320";
        QTest::newRow("the override holds over the round trip")
            << "u r" << 900 << 150 << "0/2/U/150 1/2/U/150";
        QTest::newRow("a failed first connection closes the port")
            << "f r" << 0 << 0 << "0/2/X/300 0/2/X/300";
    }
    void networkConnection()
    {
        QFETCH(QString, steps);
        QFETCH(int, rtt);
        QFETCH(int, override);
        QFETCH(QString, expect);
        InterruptCountingClient client;
        ConnectingPort* port = nullptr;
        LinkDriver link(client, [&](const QString&) {
            auto p = std::make_unique<ConnectingPort>();
            p->rtt = rtt;
            port = p.get();
            return p;
        });
        if (override)
            link.setAnswerTimeoutOverride(override);
        QSignalSpy failed(&link, &LinkDriver::portFailed);
        QVERIFY(!link.openPort(QStringLiteral("tcp://h:1")));
        const QStringList want = expect.split(QLatin1Char(' '));
        const QStringList did = steps.split(QLatin1Char(' '));
        QCOMPARE(did.size(), want.size());
        std::size_t writes = 0;
        for (int i = 0; i < did.size(); ++i) {
            const QString& step = did[i];
            if (step == QLatin1String("u"))
                port->up();
            else if (step == QLatin1String("l"))
                port->lose();
            else if (step == QLatin1String("f"))
                port->fail();
            else if (step == QLatin1String("r")) {
                link.engine().setFlag(Read_Net, true);
                // A tick that only wraps the slots round is followed by one that sends.
                link.engine().CommTimerTimer();
                link.engine().CommTimerTimer();
            } else if (step == QLatin1String("w")) {
                QTest::qWait(link.answerTimeoutMs() + 100);
            } else if (step == QLatin1String("a")) {
                const Bytes frame = makeFrame(Read_Net, Bytes(net::kSize, 0));
                link.engine().ComPort1RxChar(frame.data(), int(frame.size()));
            }
            // The port is let go once the event loop turns; its count is kept here.
            if (link.portStatus() != PortStatus::Closed)
                writes = port->written.size();
            static const char kLetters[] = {'X', 'C', 'U', 'R'};
            const QString got = QStringLiteral("%1/%2/%3/%4")
                                    .arg(writes)
                                    .arg(client.interrupted)
                                    .arg(QLatin1Char(kLetters[int(link.portStatus())]))
                                    .arg(link.answerTimeoutMs());
            QVERIFY2(
                got == want[i],
                qPrintable(QStringLiteral("step %1 (%2): %3, expected %4").arg(i).arg(step, got, want[i])));
        }
        // An exchange abandoned by the loss never ends in a time-out of its own.
        QCOMPARE(link.engine().lineStats().totals().timeouts, std::uint64_t(0));
        QCOMPARE(failed.size(), steps.contains(QLatin1Char('f')) ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TstLinkDriver)
#include "tst_link_driver.moc"
