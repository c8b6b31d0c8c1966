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
};

QTEST_GUILESS_MAIN(TstLinkDriver)
#include "tst_link_driver.moc"
