#pragma once

#include "records/RecordDiff.h"
#include "records/RecordLayout.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace kvam::cli {

/// The value as the pages show it: stored / scale.
double shownValue(const FieldInfo& field, double stored);

/// A table of change rows: field, the meter's value, the other value, the unit and the caption, the
/// values as the window shows them (the field table's rendering, in English).
QStringList changeRows(const std::vector<FieldChange>& changes, const QString& otherHeading);

} // namespace kvam::cli
