#include "cli/Job.h"

#include "device/WriteNotice.h"

#include "measure/ViewRecords.h"
#include "records/RecordDiff.h"

#include <QFileInfo>

namespace kvam::cli {

namespace {

// The first answer must come within this long of the port opening, and no later answer may be
// further apart: a port with no meter behind it ends the command with status 3 within 2 s.
constexpr qint64 kFirstAnswerMs = 1500;
constexpr qint64 kSilenceMs = 3000;
// A command that needs a handful of records is given up after this long, whatever the line does.
constexpr qint64 kCommandMs = 30000;
constexpr int kTickMs = 100;

} // namespace

Job::Job(MeterSession& session, Shared& shared) : m_s(session), m_shared(shared), m_o(shared.options)
{
    m_poke.setSingleShot(true);
    m_poke.setInterval(0);
    connect(&m_poke, &QTimer::timeout, this, &Job::poke);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &Job::poke);
    connect(&m_s, &MeterSession::event, this, [this] { m_poke.start(); });
    DeviceModel& model = m_s.model();
    connect(&model, &DeviceModel::versionChanged, this, [this] { m_versionSeen = true; });
    connect(&model, &DeviceModel::unsupportedDevice, this, [this](const VersionRecord& rec) {
        m_s.driver().stopPolling();
        finish(Status::Firmware, QStringLiteral("firmware %1 is not supported").arg(versionText(rec)));
    });
    if (m_o.verbose) {
        auto note = [this](const QString& text) {
            // The network port's notes name their address already.
            const QString own = m_s.port() + QStringLiteral(": ");
            for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
                m_shared.error(own + (line.startsWith(own) ? line.mid(own.size()) : line));
        };
        connect(&model, &DeviceModel::notice, this, note);
        connect(&m_s.driver(), &LinkDriver::monitorText, this, note);
    }
    connect(&model, &DeviceModel::writeRefused, this, [this](MemoryRecord record, const QString& reason) {
        finish(Status::File, writeNoticeText(WriteNotice::of(WriteNotice::Kind::NoBackup, record,
                                                             m_s.model().lineMeter(), std::nullopt, reason),
                                             Language::English));
    });
}

Job::~Job() = default;

void Job::begin()
{
    m_age.start();
    if (!precheck())
        return;
    if (auto error = m_s.open()) {
        finish(Status::NoMeter, QStringLiteral("cannot be opened: %1").arg(*error));
        return;
    }
    m_started = true;
    m_tick.start();
    started();
    m_poke.start();
}

void Job::interrupt()
{
    finish(Status::Differs, QStringLiteral("interrupted"));
}

bool Job::identified() const
{
    const DeviceModel& model = m_s.model();
    return m_versionSeen && versionSupported(model.version()) && model.lineMeter().has_value();
}

void Job::poke()
{
    if (m_done || !m_started)
        return;
    if (!m_s.failure().isEmpty()) {
        finish(Status::NoMeter, QStringLiteral("cannot be opened: %1").arg(m_s.failure()));
        return;
    }
    const std::optional<qint64> lost = m_s.lostFor();
    if (lost && *lost > qint64(m_o.retrySeconds * 1000)) {
        finish(Status::NoMeter,
               QStringLiteral("the connection was lost and the meter did not answer again within %1 s")
                   .arg(m_o.retrySeconds));
        return;
    }
    // A network port still connecting, or back from a loss, is judged by the rules above.
    if (lost || m_s.driver().portStatus() != PortStatus::Up) {
        if (!endless() && m_age.elapsed() > kCommandMs)
            finish(
                Status::NoMeter,
                QStringLiteral("the meter did not give what was asked within %1 s").arg(kCommandMs / 1000));
        return;
    }
    if (!m_s.answered() && m_s.silentFor() > kFirstAnswerMs) {
        finish(Status::NoMeter, QStringLiteral("no meter answers"));
        return;
    }
    if (m_s.answered() && m_s.silentFor() > kSilenceMs) {
        finish(Status::NoMeter, QStringLiteral("the meter stopped answering"));
        return;
    }
    if (!endless() && m_age.elapsed() > kCommandMs) {
        finish(Status::NoMeter,
               QStringLiteral("the meter did not give what was asked within %1 s").arg(kCommandMs / 1000));
        return;
    }
    step();
}

void Job::finish(Status status, const QString& error)
{
    if (m_done)
        return;
    m_done = true;
    m_status = status;
    m_tick.stop();
    m_poke.stop();
    if (!error.isEmpty())
        m_shared.error(QStringLiteral("%1: %2").arg(tag(), error));
    m_s.close();
    emit done();
}

std::optional<MeterRecords> Job::readyRecords() const
{
    if (!identified())
        return std::nullopt;
    MeterRecords records = m_s.model().meterRecords();
    if (!records.ram2 || !records.ram3)
        return std::nullopt;
    return records;
}

QString Job::tag() const
{
    const auto meter = m_s.model().lineMeter();
    return meter ? QStringLiteral("%1 (meter %2)").arg(m_s.port()).arg(*meter) : m_s.port();
}

Origin Job::origin() const
{
    return Origin{m_s.port(), m_s.model().lineMeter()};
}

QString Job::perMeterFile(const QString& file) const
{
    if (!m_shared.several)
        return file;
    const QString meter = m_s.meterText();
    const QFileInfo info(file);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? file : file.left(file.size() - suffix.size() - 1);
    return suffix.isEmpty() ? base + QLatin1Char('-') + meter
                            : base + QLatin1Char('-') + meter + QLatin1Char('.') + suffix;
}

} // namespace kvam::cli
