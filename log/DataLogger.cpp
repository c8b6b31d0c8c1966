#include "log/DataLogger.h"

#include "log/AppendLine.h"
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
    // A file this tick creates starts with the header; one a failed tick removed gets it again.
    const bool created = !QFile::exists(m_fileName);
    const std::optional<QString> failure = appendLine(m_fileName, created ? logHeaderLine() + line : line);
    if (failure)
        *error = *failure;
    return !failure;
}

} // namespace kvam
