#include "cli/LogJob.h"

#include "log/DataLogger.h"
#include "log/LogFile.h"

#include <QDateTime>

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
    m_csv.setFileName(file);
    if (!m_csv.open(QIODevice::WriteOnly | QIODevice::Append))
        return finish(Status::File, QStringLiteral("%1: %2").arg(file, m_csv.errorString()));
    if (m_csv.size() == 0)
        write(csvHeaderLine());
}

void LogJob::write(const QByteArray& line)
{
    if (m_csv.write(line) != line.size() || !m_csv.flush())
        finish(Status::File, QStringLiteral("%1: %2").arg(m_csv.fileName(), m_csv.errorString()));
}

void LogJob::measured(const NetRecord& net)
{
    if (!m_logging)
        startLogging();
    if (!isDone() && m_csv.isOpen())
        write(csvRecordLine(QDateTime::currentDateTime(), net));
}

} // namespace kvam::cli
