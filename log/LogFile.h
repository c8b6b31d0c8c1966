#pragma once

#include "records/Records.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cstddef>

namespace kvam {

/// The measurement log: a text file in Windows-1250 without a byte-order mark, lines ending in
/// CR LF. The first line names the 39 columns; every further line holds the tick's date and time
/// and the 38 logged texts of the measurement page, each in double quotes, separated by ';'.

/// Measured values on a record line (the page shows 39; Sumpf is not logged).
inline constexpr std::size_t kLoggedFieldCount = 38;

struct NetField;
/// Whether the logs hold `field`: every field the measurement page shows but Sumpf.
bool isLoggedField(const NetField& field);

/// The column names, the first one "Dátum_idő", unquoted and separated by ';'.
QString logHeaderText();

/// logHeaderText() in Windows-1250 with CR LF.
QByteArray logHeaderLine();

/// The texts of the logged values in column order, as the measurement page shows them (the
/// user's decimal separator, QLocale's default). Without a measurement yet (`latest` null)
/// every text is "-", the page's text before the first answer.
QStringList logFieldTexts(const NetRecord* latest);

/// `format` (a QLocale time format) without its time-zone part: the run of 't', the brackets
/// directly around it, and the blanks (and a comma before a zone at the end) that set it apart.
/// Letters inside quoted literals are left alone.
QString withoutTimeZone(const QString& format);

/// The locale's long time format without the time zone: the time with seconds.
QString logTimeFormat(const QLocale& locale);

/// First field of a record line: the local date of `moment` in the locale's short date format,
/// then one blank and the time in logTimeFormat(); at exactly 00:00:00 (to the second) the
/// date alone.
QString logTimestamp(const QDateTime& moment, const QLocale& locale);

/// One record line in Windows-1250 with CR LF: the timestamp and `fieldTexts`, each in double
/// quotes, separated by ';'. The texts are written as they are (blanks kept, nothing escaped).
QByteArray logRecordLine(const QDateTime& moment, const QStringList& fieldTexts, const QLocale& locale);

/// The log file for a chosen name: ".txt" is added when the file-name part (after the last '/',
/// or a native separator) has no '.'. A name with any extension stays as chosen, and so does
/// one ending in '.', whose extension is empty but present. An empty name stays empty.
QString logFileNameFor(const QString& chosen);

/// The CSV log: UTF-8 without a byte-order mark, lines ending in CR LF, ',' between columns. The
/// header names the time column and the logged columns with their units ("U12 [V]"); every further
/// line holds the local time in ISO 8601 with milliseconds and its offset from UTC
/// ("2026-12-09T18:30:00.125+01:00"), then each logged value as the page scales it, with '.' as
/// the decimal point and up to 7 significant digits (an empty column for a value that is not a
/// number).
QByteArray csvHeaderLine();
QByteArray csvRecordLine(const QDateTime& moment, const NetRecord& latest);

} // namespace kvam
