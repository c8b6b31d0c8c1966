#pragma once

#include <QList>
#include <QLocale>
#include <QString>

class QIODevice;

namespace kvam {

class TrendHistory;

/// The two kinds of measurement log the tool writes (log/LogFile.h).
enum class LogFormat
{
    Text, ///< the window's: Windows-1250, quoted fields separated by ';', the locale's time and numbers
    Csv,  ///< the command line's: UTF-8, ISO 8601 times, '.' as the decimal point
};

/// What reading a log into a trend history found.
struct LogReadResult
{
    enum class Refusal
    {
        None,
        CannotOpen, ///< the file cannot be read; `reason` is the system's
        NotALog,    ///< the first line is neither log's header: nothing was read
    };
    Refusal refusal = Refusal::None;
    QString reason;
    LogFormat format = LogFormat::Text;
    qsizetype records = 0;          ///< lines taken into the history
    qsizetype skipped = 0;          ///< lines that could not be read and were left out
    qsizetype firstSkippedLine = 0; ///< the number (from 1) of the first of them; 0 when none
    qint64 dropped = 0;             ///< the oldest records that did not fit the history
    /// Text logs: the locale whose short date and long time formats read the times, and the
    /// decimal separator the numbers were read with.
    QLocale locale = QLocale::c();
    QChar decimalPoint = QLatin1Char('.');

    bool ok() const { return refusal == Refusal::None; }
};

/// The locales whose formats a text log's times are tried in: the default locale (the one the
/// window writes its log in), the system's, then Hungarian, English (US, UK), German and C.
QList<QLocale> logReaderLocales();

/// Reads a log the tool wrote into `into`, in file order. The first line decides the format; a
/// repeated header line and blank lines are passed over. A line that does not read whole (cut
/// short, fields missing or added, a number or time that is not in the file's form) is left out
/// and counted; so is a last CSV line without its line end, which may have lost digits. A text
/// log's times are read in the first of `locales` whose formats read most of its first lines,
/// its numbers with the decimal separator most of them use ('.' or ','); "-" (no measurement
/// yet), "nan" and "inf" are kept as values that are not finite. Fields of the quantities the
/// trend does not draw (the angles) are read and dropped. A refused file leaves `into` as it was.
LogReadResult readLog(QIODevice& device, TrendHistory& into,
                      const QList<QLocale>& locales = logReaderLocales());
LogReadResult readLogFile(const QString& path, TrendHistory& into,
                          const QList<QLocale>& locales = logReaderLocales());

} // namespace kvam
