#include "log/DataLogger.h"

#include "log/LogFile.h"

#include <QFile>
#include <QLocale>
#include <QTimer>

namespace kvam {

DataLogger::DataLogger(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    m_timer->setObjectName(QStringLiteral("LogTimer"));
    m_timer->setInterval(1000);
    // A coarse timer may fire up to 5 % early or late, enough to skip or repeat a second's line.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &DataLogger::onTimer);
}

void DataLogger::setSource(Source source)
{
    m_source = std::move(source);
}

void DataLogger::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

bool DataLogger::start(const QString& chosen)
{
    if (chosen.isEmpty())
        return false;
    m_fileName = logFileNameFor(chosen);
    m_lastError.clear();
    if (m_failing) {
        m_failing = false;
        emit recovered();
    }
    m_timer->start();
    return true;
}

void DataLogger::stop()
{
    m_timer->stop();
}

bool DataLogger::isRunning() const
{
    return m_timer->isActive();
}

bool DataLogger::tick(const NetRecord* latest, const QDateTime& now)
{
    if (!isRunning())
        return false;
    QString error;
    if (!append(logRecordLine(now, logFieldTexts(latest), QLocale()), &error)) {
        m_lastError = error;
        if (!m_failing) {
            m_failing = true;
            emit failed(error);
        }
        return false;
    }
    if (m_failing) {
        m_failing = false;
        emit recovered();
    }
    return true;
}

void DataLogger::onTimer()
{
    tick(m_source ? m_source() : nullptr, m_clock ? m_clock() : QDateTime::currentDateTime());
}

bool DataLogger::append(const QByteArray& line, QString* error) const
{
    QFile file(m_fileName);
    const bool created = !file.exists();
    // Unbuffered: a failing write shows in write()'s result, not later in a flush on close.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    const qint64 before = file.size();
    const QByteArray bytes = created ? logHeaderLine() + line : line;
    const qint64 written = file.write(bytes);
    if (written == bytes.size()) {
        file.close();
        if (file.error() == QFileDevice::NoError)
            return true;
        *error = file.errorString();
        return false;
    }
    // A short write without an error code is what a full disk gives before it refuses outright.
    *error = file.error() != QFileDevice::NoError
                 ? file.errorString()
                 : QStringLiteral("Only %1 of %2 bytes could be written").arg(written).arg(bytes.size());
    // Take the part of a line back, or the next line would continue it; a file this tick
    // created goes, so that the next tick starts it with its header.
    if (created)
        file.remove();
    else if (written > 0)
        file.resize(before);
    return false;
}

} // namespace kvam
