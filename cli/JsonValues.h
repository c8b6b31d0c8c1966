#pragma once

#include "records/RecordDiff.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <vector>

namespace kvam::cli {

/// A number, or null for what is not finite.
QJsonValue jsonNumber(double v);

/// A single as its shortest decimal form (7 significant digits), not as the double it widens to.
QJsonValue jsonSingle(float v);

/// The object on one line, with its LF.
QByteArray jsonLine(const QJsonObject& object);

/// Change rows as objects: record, field, the meter's value, the other value under `otherKey`, unit.
QJsonArray changeArray(const std::vector<FieldChange>& changes, const QString& otherKey);

} // namespace kvam::cli
