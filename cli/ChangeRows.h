#pragma once

#include "records/RecordDiff.h"
#include "records/RecordLayout.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kvam::cli {

/// The value as the pages show it: stored / scale.
double shownValue(const FieldInfo& field, double stored);

/// A number with up to 10 significant digits, "nan" for what is not finite.
QString numberText(double v);

/// A table of change rows: field, the meter's value, the other value, the unit.
QStringList changeRows(const std::vector<FieldChange>& changes, const QString& otherHeading);

} // namespace kvam::cli
