#include "cli/TextPresenter.h"

#include "cli/ChangeRows.h"
#include "link/PortNames.h"
#include "measure/ViewRecords.h"

#include <QSerialPortInfo>

#include <initializer_list>

namespace kvam::cli {

namespace {

QString listed(const QStringList& names)
{
    return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}

QString onOff(std::initializer_list<bool> on)
{
    QStringList s;
    int n = 1;
    for (bool b : on)
        s << QStringLiteral("%1 %2").arg(n++).arg(b ? QStringLiteral("on") : QStringLiteral("off"));
    return s.join(QStringLiteral(", "));
}

} // namespace

void TextPresenter::block(const Origin& origin, const QStringList& lines)
{
    QString text = QStringLiteral("== %1 meter %2\n").arg(origin.port, origin.meterText());
    for (const QString& l : lines)
        text += l + QLatin1Char('\n');
    m_out(text.toUtf8());
}

void TextPresenter::ports(const QList<QSerialPortInfo>& ports)
{
    QString text;
    for (const QSerialPortInfo& p : ports)
        text +=
            QStringLiteral("%1\t%2\t%3\n")
                .arg(p.systemLocation(), p.description().isEmpty() ? QStringLiteral("-") : p.description(),
                     p.serialNumber().isEmpty() ? QStringLiteral("-") : p.serialNumber());
    text += QStringLiteral("%1\tthe built-in virtual meter\t-\n").arg(QLatin1String(kDemoPort));
    m_out(text.toUtf8());
}

void TextPresenter::info(const Origin& origin, const MeterInfo& info)
{
    const VersionRecord& v = info.version;
    block(
        origin,
        {
            QStringLiteral("  firmware         %1 (%2)").arg(versionText(v), versionDateText(v)),
            QStringLiteral("  factory number   %1").arg(factoryNumberText(v)),
            QStringLiteral("  production       year %1, month %2")
                .arg(manufactureYear(v))
                .arg(manufactureMonth(v)),
            QStringLiteral("  modules          slot 1: %1; slot 2: %2").arg(info.modules[0], info.modules[1]),
            QStringLiteral("  dynamic errors   %1").arg(listed(info.dynamicErrors)),
            QStringLiteral("  static errors    %1").arg(listed(info.staticErrors)),
            QStringLiteral("  error LED        %1")
                .arg(info.errorLed ? QStringLiteral("lit") : QStringLiteral("dark")),
            QStringLiteral("  inputs           %1")
                .arg(onOff({info.inputs[0], info.inputs[1], info.inputs[2]})),
            QStringLiteral("  outputs          %1").arg(onOff({info.outputs[0], info.outputs[1]})),
        });
}

void TextPresenter::compared(const Origin& origin, const Comparison& c, Status)
{
    QStringList lines{QStringLiteral("  against %1 [%2]: %3")
                          .arg(c.file, c.section,
                               c.changes.empty() ? QStringLiteral("no difference")
                                                 : QStringLiteral("%1 differ").arg(c.changes.size()))};
    if (!c.changes.empty())
        lines << changeRows(c.changes, QStringLiteral("file"));
    block(origin, lines);
}

void TextPresenter::backups(const Origin& origin, const BackupList& list)
{
    QStringList lines{QStringLiteral("  %1 backup(s) in %2").arg(list.backups.size()).arg(list.folder)};
    for (const BackupInfo& b : list.backups) {
        QStringList records;
        for (MemoryRecord r : b.records)
            records << QLatin1String(memoryRecordName(r));
        lines << QStringLiteral("  %1  %2  before %3  holds %4%5")
                     .arg(b.id, b.time.toLocalTime().toString(Qt::ISODate),
                          b.written ? QLatin1String(memoryRecordName(*b.written)) : QLatin1String("?"),
                          records.join(QLatin1Char(',')),
                          b.damaged ? QStringLiteral("  DAMAGED: ") + b.damage : QString());
    }
    block(origin, lines);
}

void TextPresenter::review(const Origin& origin, const QStringList& lines)
{
    block(origin, lines);
}

void TextPresenter::written(const Origin& origin, const WriteReport& report, Status)
{
    // The review shown before the question is not repeated: every line after it is.
    block(origin, report.lines.mid(report.reviewed));
}

void TextPresenter::errorsCleared(const Origin& origin, const ErrorsCleared& errors, Status)
{
    block(origin, {QStringLiteral("  clear-errors sent; the meter now reports static errors: %1")
                       .arg(listed(errors.staticErrors)),
                   QStringLiteral("  dynamic errors: %1").arg(listed(errors.dynamicErrors))});
}

void TextPresenter::serviceDone(const Origin& origin, const ServiceChanges& s)
{
    QStringList lines{QStringLiteral("  %1 sent; the meter's records read back: %2 field(s) changed")
                          .arg(serviceName(s.service))
                          .arg(s.changes.size())};
    if (!s.changes.empty())
        lines << changeRows(s.changes, QStringLiteral("now"));
    block(origin, lines);
}

void TextPresenter::measured(const Origin& origin, const QDateTime& when, const NetRecord& net)
{
    auto v = [&](const Field<net::Record, FieldType::f32>& f, const char* format) {
        return QString::asprintf(format, double(get(net, f) / float(f.scale)));
    };
    using namespace net;
    QString text = when.toString(QStringLiteral("HH:mm:ss.zzz"));
    if (m_several)
        text += QStringLiteral("  %1 %2").arg(origin.port, origin.meterText());
    text += QStringLiteral("  U %1 %2 %3 V  I %4 %5 %6 A  P %7 kW  Q %8 kVAr  PF %9  f %10 Hz\n")
                .arg(v(L1urms, "%.1f"), v(L2urms, "%.1f"), v(L3urms, "%.1f"), v(L1irms, "%.3f"),
                     v(L2irms, "%.3f"), v(L3irms, "%.3f"), v(Sump, "%.3f"), v(Sumq, "%.3f"), v(Sumpf, "%.3f"))
                .arg(v(L1f, "%.2f"));
    m_out(text.toUtf8());
}

} // namespace kvam::cli
