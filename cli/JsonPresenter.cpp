#include "cli/JsonPresenter.h"

#include "cli/JsonValues.h"
#include "measure/ViewRecords.h"

#include <QSerialPortInfo>

namespace kvam::cli {

namespace {

QJsonValue meterJson(const Origin& origin)
{
    return origin.meter ? QJsonValue(qint64(*origin.meter)) : QJsonValue();
}

} // namespace

void JsonPresenter::result(const Origin& origin, QJsonObject object, Status status)
{
    object[QStringLiteral("port")] = origin.port;
    object[QStringLiteral("meter")] = meterJson(origin);
    object[QStringLiteral("status")] = int(status);
    m_out(jsonLine(object));
}

void JsonPresenter::ports(const QList<QSerialPortInfo>& ports)
{
    for (const QSerialPortInfo& p : ports) {
        QJsonObject o;
        o[QStringLiteral("port")] = p.systemLocation();
        o[QStringLiteral("description")] = p.description();
        o[QStringLiteral("manufacturer")] = p.manufacturer();
        o[QStringLiteral("serialNumber")] = p.serialNumber();
        m_out(jsonLine(o));
    }
}

void JsonPresenter::info(const Origin& origin, const MeterInfo& info)
{
    const VersionRecord& v = info.version;
    QJsonObject o;
    o[QStringLiteral("firmware")] = versionText(v);
    o[QStringLiteral("firmwareDate")] = versionDateText(v);
    o[QStringLiteral("factoryNumber")] = qint64(factoryNumber(v));
    o[QStringLiteral("productionYear")] = manufactureYear(v);
    o[QStringLiteral("productionMonth")] = manufactureMonth(v);
    o[QStringLiteral("modules")] = QJsonArray{info.modules[0], info.modules[1]};
    o[QStringLiteral("dynamicErrors")] = QJsonArray::fromStringList(info.dynamicErrors);
    o[QStringLiteral("staticErrors")] = QJsonArray::fromStringList(info.staticErrors);
    o[QStringLiteral("errorLed")] = info.errorLed;
    o[QStringLiteral("inputs")] = QJsonArray{info.inputs[0], info.inputs[1], info.inputs[2]};
    o[QStringLiteral("outputs")] = QJsonArray{info.outputs[0], info.outputs[1]};
    result(origin, o, Status::Ok);
}

void JsonPresenter::compared(const Origin& origin, const Comparison& c, Status status)
{
    QJsonObject o;
    o[QStringLiteral("file")] = c.file;
    o[QStringLiteral("section")] = c.section;
    o[QStringLiteral("differences")] = changeArray(c.changes, QStringLiteral("file"));
    result(origin, o, status);
}

void JsonPresenter::backups(const Origin& origin, const BackupList& list)
{
    QJsonArray array;
    for (const BackupInfo& b : list.backups) {
        QJsonObject o;
        o[QStringLiteral("id")] = b.id;
        o[QStringLiteral("time")] = b.time.toString(Qt::ISODateWithMs);
        QJsonArray records;
        for (MemoryRecord r : b.records)
            records.append(QLatin1String(memoryRecordName(r)));
        o[QStringLiteral("records")] = records;
        o[QStringLiteral("written")] =
            b.written ? QJsonValue(QLatin1String(memoryRecordName(*b.written))) : QJsonValue();
        o[QStringLiteral("damaged")] = b.damaged ? QJsonValue(b.damage) : QJsonValue(false);
        array.append(o);
    }
    QJsonObject o;
    o[QStringLiteral("backups")] = array;
    result(origin, o, Status::Ok);
}

void JsonPresenter::written(const Origin& origin, const WriteReport& report, Status status)
{
    QJsonObject o;
    o[QStringLiteral("changes")] = changeArray(report.changes, QStringLiteral("new"));
    o[QStringLiteral("differences")] = changeArray(report.differences, QStringLiteral("read"));
    o[QStringLiteral("report")] = QJsonArray::fromStringList(report.lines);
    result(origin, o, status);
}

void JsonPresenter::errorsCleared(const Origin& origin, const ErrorsCleared& errors, Status status)
{
    QJsonObject o;
    o[QStringLiteral("service")] = serviceName(Service::ClearErrors);
    o[QStringLiteral("staticErrors")] = QJsonArray::fromStringList(errors.staticErrors);
    o[QStringLiteral("dynamicErrors")] = QJsonArray::fromStringList(errors.dynamicErrors);
    result(origin, o, status);
}

void JsonPresenter::serviceDone(const Origin& origin, const ServiceChanges& s)
{
    QJsonObject o;
    o[QStringLiteral("service")] = serviceName(s.service);
    o[QStringLiteral("changed")] = changeArray(s.changes, QStringLiteral("now"));
    result(origin, o, Status::Ok);
}

void JsonPresenter::measured(const Origin& origin, const QDateTime& when, const NetRecord& net)
{
    QJsonObject o;
    o[QStringLiteral("time")] = when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODateWithMs);
    o[QStringLiteral("port")] = origin.port;
    o[QStringLiteral("meter")] = meterJson(origin);
    for (const NetField& f : netFields())
        o[QLatin1String(f.name)] = jsonSingle(net.f32(f.offset) / f.scale);
    m_out(jsonLine(o));
}

} // namespace kvam::cli
