#pragma once

// A real serial device server in front of a meter's pseudo-terminal: ser2net, started as a child
// with a configuration written at run time, on free loopback ports. Stopped by its PID and started
// again on the same ports, as a device server that is switched off and on.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <memory>
#include <vector>

#include <sys/types.h>

namespace kvam::test {

class Ser2net
{
public:
    /// The ways ser2net hands the line out.
    enum class Accepter
    {
        Raw,     ///< the line's bytes as they are, on 127.0.0.1
        Rfc2217, ///< Telnet with the COM Port Control Option, on 127.0.0.1
        RawIpv6, ///< the line's bytes as they are, on ::1
    };

    /// ser2net serving `device` once on each of `accepters`; nothing runs before start().
    Ser2net(QString device, std::vector<Accepter> accepters)
        : m_device(std::move(device)), m_accepters(std::move(accepters)), m_ports(m_accepters.size(), 0)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;
    ~Ser2net() { stop(); }

    /// The program, or empty when it is not installed (it lives in sbin, which not every PATH holds).
    static QString program()
    {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
        if (!found.isEmpty())
            return found;
        return QStandardPaths::findExecutable(
            QStringLiteral("ser2net"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"), QStringLiteral("/sbin")});
    }

    /// Whether this machine has an IPv6 loopback to listen on.
    static bool hasIpv6Loopback()
    {
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHostIPv6, 0);
    }

    /// Starts ser2net and waits until every accepter takes connections. The first start picks
    /// free ports; a later one (after stop()) listens on the same ones. False with error() saying
    /// why.
    bool start()
    {
        m_error.clear();
        if (running())
            return true;
        const QString ser2net = program();
        if (ser2net.isEmpty()) {
            m_error = QStringLiteral("ser2net is not installed (scripts/setup installs it)");
            return false;
        }
        if (!m_dir.isValid()) {
            m_error = QStringLiteral("no temporary folder for the ser2net configuration");
            return false;
        }
        // A port found free may be taken before ser2net binds it: then other ones are tried.
        const bool choose = m_ports.front() == 0;
        for (int attempt = 0; attempt < (choose ? 3 : 1); ++attempt) {
            if (choose && !pickPorts())
                return false;
            if (launch(ser2net))
                return true;
            stop();
        }
        return false;
    }

    /// Stops ser2net by the PID it wrote, as a device server is switched off: its connections
    /// close. True once it has ended.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        const qint64 pid = pidFromFile();
        if (pid > 0 && pid == m_process.processId())
            ::kill(pid_t(pid), SIGTERM);
        else
            m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
        m_output += m_process.readAll();
        QFile::remove(pidFile());
        return m_process.state() == QProcess::NotRunning;
    }

    bool running() const { return m_process.state() == QProcess::Running; }
    /// The PID ser2net wrote into its PID file (0 when none).
    qint64 pid() const { return pidFromFile(); }
    quint16 port(Accepter a) const { return m_ports[index(a)]; }
    /// The address the tool is given for accepter `a`.
    QString address(Accepter a) const
    {
        switch (a) {
        case Accepter::Raw:
            return QStringLiteral("tcp://127.0.0.1:%1").arg(port(a));
        case Accepter::Rfc2217:
            return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port(a));
        case Accepter::RawIpv6:
            break;
        }
        return QStringLiteral("tcp://[::1]:%1").arg(port(a));
    }
    QString error() const { return m_error; }
    /// What ser2net printed so far.
    QString output() { return QString::fromLocal8Bit(m_output += m_process.readAll()); }

private:
    static QHostAddress host(Accepter a)
    {
        return a == Accepter::RawIpv6 ? QHostAddress(QHostAddress::LocalHostIPv6)
                                      : QHostAddress(QHostAddress::LocalHost);
    }

    std::size_t index(Accepter a) const
    {
        for (std::size_t i = 0; i < m_accepters.size(); ++i)
            if (m_accepters[i] == a)
                return i;
        qFatal("Ser2net: accepter not configured");
    }

    QString pidFile() const { return m_dir.filePath(QStringLiteral("ser2net.pid")); }
    QString configFile() const { return m_dir.filePath(QStringLiteral("ser2net.yaml")); }

    qint64 pidFromFile() const
    {
        QFile f(pidFile());
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        return f.readAll().trimmed().toLongLong();
    }

    bool pickPorts()
    {
        // All listening at once, so no two get the same port.
        std::vector<std::unique_ptr<QTcpServer>> held;
        for (std::size_t i = 0; i < m_accepters.size(); ++i) {
            held.push_back(std::make_unique<QTcpServer>());
            if (!held.back()->listen(host(m_accepters[i]), 0)) {
                m_error = QStringLiteral("no free port on %1: %2")
                              .arg(host(m_accepters[i]).toString(), held.back()->errorString());
                return false;
            }
            m_ports[i] = held.back()->serverPort();
        }
        return true;
    }

    bool writeConfig()
    {
        QByteArray yaml;
        for (std::size_t i = 0; i < m_accepters.size(); ++i) {
            const Accepter a = m_accepters[i];
            const QByteArray listen =
                (a == Accepter::RawIpv6 ? QByteArray("tcp,::1,") : QByteArray("tcp,127.0.0.1,")) +
                QByteArray::number(m_ports[i]);
            yaml += "connection: &line" + QByteArray::number(qulonglong(i)) + "\n";
            yaml += "  accepter: " + (a == Accepter::Rfc2217 ? "telnet(rfc2217)," + listen : listen) + "\n";
            yaml += "  connector: serialdev," + QFile::encodeName(m_device) + ",19200n81,local\n";
        }
        QFile f(configFile());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(yaml) != yaml.size()) {
            m_error = QStringLiteral("%1: %2").arg(configFile(), f.errorString());
            return false;
        }
        return true;
    }

    bool launch(const QString& ser2net)
    {
        if (!writeConfig())
            return false;
        QFile::remove(pidFile());
        m_output.clear();
        m_process.start(ser2net, {QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-c"),
                                  configFile(), QStringLiteral("-P"), pidFile()});
        if (!m_process.waitForStarted(5000)) {
            m_error = QStringLiteral("ser2net did not start: %1").arg(m_process.errorString());
            return false;
        }
        QElapsedTimer t;
        t.start();
        std::vector<bool> accepting(m_accepters.size(), false);
        while (t.elapsed() < 5000) {
            if (m_process.state() != QProcess::Running) {
                m_error = QStringLiteral("ser2net ended at once: %1").arg(output().trimmed());
                return false;
            }
            bool all = true;
            for (std::size_t i = 0; i < m_accepters.size(); ++i) {
                if (!accepting[i]) {
                    QTcpSocket probe;
                    probe.connectToHost(host(m_accepters[i]), m_ports[i]);
                    accepting[i] = probe.waitForConnected(200);
                    probe.abort();
                }
                all = all && accepting[i];
            }
            if (all && pidFromFile() == m_process.processId())
                return true;
            QThread::msleep(50);
        }
        m_error = QStringLiteral("ser2net did not take connections within 5 s: %1").arg(output().trimmed());
        return false;
    }

    QString m_device;
    std::vector<Accepter> m_accepters;
    std::vector<quint16> m_ports;
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_output;
    QString m_error;
};

} // namespace kvam::test
