#pragma once

#include <QImage>
#include <QString>

#include <optional>
#include <vector>

namespace kvam {

class TForm1;

/// One section of the commissioning report: its heading and its body as rich text.
struct ReportSection
{
    QString heading;
    QString body;          ///< HTML: paragraphs and tables
    bool pictures = false; ///< the body is the report's two pictures side by side
};

/// The report of what the window holds now, in the language it shows: the sections in their order
/// and the two pictures. The configuration and factory fields read as the field table renders them
/// (the texts their editors show); the measured values as the pages show them.
struct ReportContent
{
    QString title;
    std::vector<ReportSection> sections;
    QImage phasor;    ///< the phasor diagram, drawn by the page's renderer with the page's options
    QImage harmonics; ///< the harmonics chart of the last harmonics record, drawn as the page draws it

    /// The whole report as one HTML document. `embedded`: the pictures as data URIs (a file that
    /// stands alone); otherwise as the resources "report:phasor" and "report:harmonics".
    QString html(bool embedded) const;
};

/// Builds the report from `window`: its model's records, its pages' controls and its write journal.
ReportContent buildReport(TForm1& window);

/// The section of the line statistics (requests, answers, time-outs, CRC errors of the line): none
/// until the link keeps them. The report puts it between the I/O and the write journal.
std::optional<ReportSection> lineStatisticsSection(TForm1& window);

/// Writes `content` to `file`, a PDF (A4) or a stand-alone HTML file by the file's extension, through a
/// QSaveFile: the file is replaced only once the whole document is written, and a failure leaves
/// whatever stood there before. False with the reason on any failure.
bool writeReport(const QString& file, const ReportContent& content, QString* reason);

} // namespace kvam
