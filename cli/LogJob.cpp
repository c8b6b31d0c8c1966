#include "cli/LogJob.h"

#include "log/AppendLine.h"
#include "log/DataLogger.h"
#include "log/LogFile.h"

#include <QDateTime>
#include <QFile>

namespace kvam::cli {

void LogJob::step()
{
    if (m_logging && m_o.seconds > 0 && m_since.elapsed() >= qint64(m_o.seconds * 1000))
        finish(Status::Ok);
}

void LogJob::startLogging()
{
    m_logging = true;
    m_since.start();
    const QString file = perMeterFile(m_o.output);
    if (m_o.format == Format::WindowLog) {
        m_logger = new DataLogger(this);
        m_logger->setSource([this] { return m_s.model().netHeld() ? &m_s.model().net() : nullptr; });
        connect(m_logger, &DataLogger::failed, this, [this](const QString& reason) {
            finish(Status::File, QStringLiteral("log: %1").arg(reason));
        });
        connect(this, &Job::done, m_logger, &DataLogger::stop);
        m_logger->start(file);
        return;
    }
    // Refused at once when the file cannot be written, not at the first measurement.
    QFile probe(file);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
        return finish(Status::File, QStringLiteral("%1: %2").arg(file, probe.errorString()));
    const bool empty = probe.size() == 0;
    probe.close();
    m_csv = file;
    if (empty)
        write(csvHeaderLine());
}

void LogJob::write(const QByteArray& line)
{
    // A line that cannot be written whole is cut back: the next one does not continue half a line.
    if (const std::optional<QString> reason = appendLine(m_csv, line))
        finish(Status::File, QStringLiteral("%1: %2").arg(m_csv, *reason));
}

void LogJob::measured(const NetRecord& net)
{
    if (!m_logging)
        startLogging();
    if (!isDone() && !m_csv.isEmpty())
        write(csvRecordLine(QDateTime::currentDateTime(), net));
}

} // namespace kvam::cli
