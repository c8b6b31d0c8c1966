#include "app/Report.h"

#include "app/SafeWrites.h"
#include "app/TForm1.h"
#include "config/MeterHistory.h"
#include "config/WholeFile.h"
#include "device/FieldTable.h"
#include "link/LineStats.h"
#include "link/LinkEngine.h"
#include "measure/ViewRecords.h"
#include "platform/LanguageSwitch.h"
#include "protocol/Commands.h"
#include "records/FieldValue.h"
#include "records/RecordLayout.h"
#include "texts/Language.h"
#include "texts/UiTexts.h"
#include "views/Drawing.h"
#include "views/HarmonicsChart.h"
#include "views/MeasurementPage.h"
#include "views/PhasorPage.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QTextDocument>

#include <algorithm>
#include <map>

namespace kvam {

namespace {

constexpr std::size_t kJournalEntries = 10;
constexpr int kPictureWidth = 330; ///< of each picture in the document, side by side on A4

template <std::size_t N> std::span<const std::uint8_t> bytesOf(const ByteImage<N>& image)
{
    return {image.data(), N};
}

QString esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString cell(const QString& text, const char* tag = "td")
{
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), esc(text));
}

/// A table of rows of plain texts; the first row is the header when `header` is set.
QString table(const std::vector<QStringList>& rows, bool header = true)
{
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">");
    for (std::size_t r = 0; r < rows.size(); ++r) {
        html += QStringLiteral("<tr>");
        for (const QString& text : rows[r])
            html += cell(text, header && r == 0 ? "th" : "td");
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

/// "caption: value" lines as a two-column table without a header.
QString pairs(const std::vector<std::pair<QString, QString>>& items)
{
    std::vector<QStringList> rows;
    for (const auto& [caption, value] : items)
        rows.push_back({caption, value});
    return table(rows, false);
}

/// The caption of the control `key` as the window shows it, without a closing colon.
QString captionText(const char* key, std::optional<Language> language)
{
    QString text = shownText(key, language).trimmed();
    while (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text.trimmed();
}

/// The records the measurement page shows, those that have arrived.
MeasureRecords shownRecords(const DeviceModel& model)
{
    return {model.netHeld() ? &model.net() : nullptr, model.countersHeld() ? &model.counters() : nullptr,
            model.versionHeld() ? &model.version() : nullptr, model.epHeld() ? &model.ep() : nullptr};
}

// --- sections --------------------------------------------------------------------------------

ReportSection aboutSection()
{
    const QDateTime now = QDateTime::currentDateTime();
    return {currentText("Report.About"),
            pairs({{currentText("Report.Date"), now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
                   {currentText("Report.ToolVersion"), QStringLiteral(KVAM_VERSION)},
                   {currentText("Report.User"), userLoginName()}})};
}

ReportSection identitySection(TForm1& window)
{
    const std::optional<Language> language = shownLanguage(&window);
    const MeasureRecords records = shownRecords(window.model());
    std::vector<std::pair<QString, QString>> items;
    // The version group of the measurement page, captions and texts as it shows them.
    for (const MeasureCell& cell : measureGroups()[kVersionGroup].cells)
        items.emplace_back(captionText(cell.name(), language), measureCellText(cell, records));
    const quint16 modules = get(window.memory().ram3, ram3::Modulconfig);
    items.emplace_back(currentText("Report.Modules"), QStringLiteral("1: %1; 2: %2")
                                                          .arg(itemTextOf("Modul1box", modules & 15),
                                                               itemTextOf("Modul2box", (modules >> 4) & 15)));
    return {currentText("Report.Identity"), pairs(items)};
}

FieldChange unchanged(MemoryRecord record, const FieldInfo& info, std::size_t index,
                      std::span<const std::uint8_t> image)
{
    const double value = readNumber(image, info, index);
    return FieldChange{record, &info, index, value, value};
}

/// The value of an element as its editor shows it; a lamp group's as the lamps lit, or "none".
QString shownValue(const ConfigField& field, const FieldChange& c, std::optional<Language> language)
{
    const QString text = fieldValueText(c.record, *c.field, c.index, c.before, language);
    return field.editor == EditorKind::Mask && text.isEmpty() ? currentText("Report.None") : text;
}

/// "Konfiguráció – Modul 1": the captions of the page's tabs.
QString pageCaption(FieldPage page, std::optional<Language> language)
{
    const FieldPageKeys keys = fieldPageKeys(page);
    QStringList captions{fieldText(keys.page, language)};
    if (keys.tab)
        captions << fieldText(keys.tab, language);
    return captions.join(QStringLiteral(" – "));
}

ReportSection configurationSection(TForm1& window)
{
    struct Group
    {
        QString caption;
        std::vector<QStringList> rows;
    };
    struct Page
    {
        QString caption;
        std::vector<Group> groups;
    };
    const std::optional<Language> language = shownLanguage(&window);
    // In the window's order of the pages; the fields no page shows come last.
    std::map<int, Page> pages;
    constexpr int kNoEditor = 1000;
    auto add = [&](MemoryRecord record, std::span<const ConfigField> table,
                   std::span<const std::uint8_t> image) {
        for (const ConfigField& field : table) {
            const FieldInfo& info = field.info();
            // The per-channel constants of RAM3 stand in the calibration table.
            if (record == MemoryRecord::Ram3 && info.count == 6)
                continue;
            for (std::size_t i = 0; i < info.count; ++i) {
                const FieldChange c = unchanged(record, info, i, image);
                const bool shown = field.shown(i) && field.page != FieldPage::None;
                Page& page = pages[shown ? int(field.page) : kNoEditor];
                page.caption = shown ? pageCaption(field.page, language) : currentText("Report.NoEditor");
                const QString group = shown ? fieldText(field.group(i), language) : QString();
                auto g = std::find_if(page.groups.begin(), page.groups.end(),
                                      [&](const Group& x) { return x.caption == group; });
                if (g == page.groups.end())
                    g = page.groups.insert(page.groups.end(), Group{group, {}});
                g->rows.push_back({fieldCaption(record, info, i, language),
                                   QLatin1String(memoryRecordName(record)) + QLatin1Char('.') +
                                       QString::fromStdString(c.name()),
                                   shownValue(field, c, language), fieldUnit(record, info, i)});
            }
        }
    };
    const DeviceMemory& memory = window.memory();
    add(MemoryRecord::Ram2, ram2ConfigFields(), bytesOf(memory.ram2));
    add(MemoryRecord::Ram3, ram3ConfigFields(), bytesOf(memory.ram3));

    const QStringList header{currentText("Report.Caption"), currentText("Report.Name"),
                             currentText("Report.Value"), currentText("Report.Unit")};
    QString body;
    for (const auto& [order, page] : pages) {
        body += QStringLiteral("<h3>%1</h3>").arg(esc(page.caption));
        body += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\"><tr>");
        for (const QString& h : header)
            body += cell(h, "th");
        body += QStringLiteral("</tr>");
        for (const Group& group : page.groups) {
            if (!group.caption.isEmpty())
                body += QStringLiteral("<tr><td colspan=\"4\"><b>%1</b></td></tr>").arg(esc(group.caption));
            for (const QStringList& row : group.rows) {
                body += QStringLiteral("<tr>");
                for (const QString& text : row)
                    body += cell(text);
                body += QStringLiteral("</tr>");
            }
        }
        body += QStringLiteral("</table>");
    }
    return {currentText("Report.Configuration"), body};
}

ReportSection calibrationSection(TForm1& window)
{
    static const char* const kChannels[] = {"ShowL1UHarm", "ShowL1IHarm", "ShowL2UHarm",
                                            "ShowL2IHarm", "ShowL3UHarm", "ShowL3IHarm"};
    std::vector<const ConfigField*> columns;
    for (const ConfigField& field : ram3ConfigFields())
        if (field.info().count == 6)
            columns.push_back(&field);
    const std::optional<Language> language = shownLanguage(&window);
    std::vector<QStringList> rows(1, QStringList{currentText("Report.Channel")});
    for (const ConfigField* field : columns) {
        const QString caption = field->shown(0) ? fieldText(field->group(0), language) : QString();
        const QString name = QStringLiteral("RAM3.") + QLatin1String(field->field);
        rows[0] << (caption.isEmpty() ? name : caption + QLatin1Char('\n') + name);
    }
    for (std::size_t channel = 0; channel < 6; ++channel) {
        QStringList row{currentText(kChannels[channel])};
        for (const ConfigField* field : columns) {
            const FieldChange c =
                unchanged(MemoryRecord::Ram3, field->info(), channel, bytesOf(window.memory().ram3));
            const QString value = shownValue(*field, c, language);
            const QString unit = fieldUnit(c.record, *c.field, c.index);
            row << (unit.isEmpty() ? value : value + QLatin1Char(' ') + unit);
        }
        rows.push_back(row);
    }
    QString body = table(rows);
    body.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return {currentText("Report.Calibration"), body};
}

/// The measurement page's groups as it shows them: the grid of measured values with its column
/// headers (the L2, L3 and sum columns only while the page shows them), then the version and demand
/// groups.
ReportSection measurementSection(TForm1& window)
{
    const std::optional<Language> language = shownLanguage(&window);
    const MeasureRecords records = shownRecords(window.model());
    const bool threePhase = window.measurementPage().threePhaseColumnsVisible();
    QString body;
    for (const MeasureGroup& group : measureGroups()) {
        const std::size_t columns = group.shownColumns(threePhase);
        body += QStringLiteral("<h3>%1</h3>").arg(esc(shownText(group.key, language).trimmed()));
        body += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">");
        if (!group.headers.empty()) {
            body += QStringLiteral("<tr>");
            for (std::size_t c = 0; c < columns; ++c)
                body += QStringLiteral("<th colspan=\"2\">%1</th>")
                            .arg(esc(shownText(group.headers[c], language)));
            body += QStringLiteral("</tr>");
        }
        for (std::size_t r = 0; r < group.rows(); ++r) {
            QString row;
            bool blank = true;
            for (std::size_t c = 0; c < columns; ++c) {
                const MeasureCell& field = group.at(r, c);
                blank = blank && field.blank();
                row += field.blank() ? QStringLiteral("<td></td><td></td>")
                                     : cell(captionText(field.name(), language)) +
                                           QStringLiteral("<td align=\"right\">%1</td>")
                                               .arg(esc(measureCellText(field, records).trimmed()));
            }
            if (!blank)
                body += QStringLiteral("<tr>") + row + QStringLiteral("</tr>");
        }
        body += QStringLiteral("</table>");
    }
    return {currentText("Report.Measurement"), body};
}

ReportSection errorsSection(TForm1& window)
{
    const StateRecord& st = window.model().state();
    auto list = [](const QStringList& names) {
        return names.isEmpty() ? currentText("Report.None") : names.join(QStringLiteral(", "));
    };
    // The lamps of the measurement page under their captions: the outputs or the inputs.
    const std::optional<Language> language = shownLanguage(&window);
    auto states = [&](bool outputs) {
        QStringList s;
        for (const IoLamp& lamp : ioLamps())
            if (lamp.output == outputs)
                s << QStringLiteral("%1: %2").arg(
                    shownText(lamp.caption, language).trimmed(),
                    currentText(ioActive(st, lamp.bit) ? "Report.On" : "Report.Off"));
        return s.join(QStringLiteral(", "));
    };
    return {
        currentText("Report.Errors"),
        pairs({{currentText("Report.DynamicErrors"), list(errorFlagNames(dynamicErrors(st)))},
               {currentText("Report.StaticErrors"), list(errorFlagNames(staticErrors(st)))},
               {currentText("Report.ErrorLed"), currentText(errorLedLit(st) ? "Report.Lit" : "Report.Dark")},
               {currentText("Report.Inputs"), states(false)},
               {currentText("Report.Outputs"), states(true)}})};
}

ReportSection journalSection(TForm1& window)
{
    const std::uint32_t meter = window.model().lineMeter().value_or(factoryNumber(window.model().version()));
    QString reason;
    const std::vector<JournalLine> lines = window.safeWrites().history().readJournal(meter, &reason);
    QString body;
    if (!reason.isEmpty())
        body += QStringLiteral("<p>%1</p>").arg(esc(reason));
    if (lines.empty())
        return {currentText("Report.Journal"),
                body + QStringLiteral("<p>%1</p>").arg(esc(currentText("Report.NoJournal")))};
    std::vector<QStringList> rows{{currentText("Report.Time"), currentText("Report.User"),
                                   currentText("Report.Record"), currentText("Report.Changes"),
                                   currentText("Report.Outcome")}};
    const std::size_t first = lines.size() > kJournalEntries ? lines.size() - kJournalEntries : 0;
    for (std::size_t i = first; i < lines.size(); ++i) {
        const JournalLine& l = lines[i];
        if (l.damaged)
            rows.push_back({QString(), QString(), QString(), l.text, QString()});
        else
            rows.push_back({l.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), l.user,
                            QLatin1String(memoryRecordName(l.record)), l.changes, l.outcomeText});
    }
    return {currentText("Report.Journal"), body + table(rows)};
}

QImage phasorPicture(TForm1& window)
{
    const auto* page = window.findChild<PhasorPage*>(QStringLiteral("TabSheet_Phasor"));
    QImage image(600, 600, QImage::Format_RGB32);
    const DeviceModel& model = window.model();
    DrawPhasorDiagram(image,
                      makePhasorInput(model.net(), model.caldata(), page ? page->zoomU() : 1.0f,
                                      page ? page->zoomI() : 1.0f),
                      page ? page->options() : PhasorOptions{});
    return image;
}

QImage harmonicsPicture(TForm1& window)
{
    return HarmonicsChart::picture(window.model().harmonics());
}

QString dataUri(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

} // namespace

std::optional<ReportSection> lineStatisticsSection(TForm1& window)
{
    // The engine's counts as the communication page shows them, under the page's own captions.
    const LineStats& stats = window.engine().lineStats();
    const LineTotals& t = stats.totals();
    const std::pair<const char*, std::uint64_t> totals[] = {
        {"LineStatsRequests", t.requests}, {"LineStatsAnswers", t.answers},
        {"LineStatsTimeouts", t.timeouts}, {"LineStatsCrcErrors", t.crcErrors},
        {"LineStatsTooShort", t.tooShort}, {"LineStatsLate", t.lateFrames},
        {"LineStatsStray", t.strayBytes}};
    std::vector<QStringList> totalRows;
    for (const auto& [key, value] : totals)
        totalRows.push_back({currentText(key), QString::number(value)});
    std::vector<QStringList> times{{currentText("LineStats.Command"), currentText("LineStats.Count"),
                                    currentText("LineStats.Least"), currentText("LineStats.Median"),
                                    currentText("LineStats.Most")}};
    auto ms = [](std::int64_t micros) { return QString::number(double(micros) / 1000, 'f', 1); };
    for (int code = 1; code <= kCommandCount; ++code) {
        const AnswerTimes& a = stats.command(code).times;
        if (a.count() == 0)
            continue;
        times.push_back({QLatin1String(commandName(code)), QString::number(a.count()), ms(a.least()),
                         ms(a.median()), ms(a.most())});
    }
    return ReportSection{currentText("LineStatsBox"),
                         table(totalRows, false) +
                             QStringLiteral("<p>%1</p>").arg(esc(currentText("LineStatsTimes"))) +
                             table(times)};
}

ReportContent buildReport(TForm1& window)
{
    ReportContent content;
    content.title = currentText("Report.Title");
    content.sections.push_back(aboutSection());
    content.sections.push_back(identitySection(window));
    content.sections.push_back(configurationSection(window));
    content.sections.push_back(calibrationSection(window));
    content.sections.push_back(measurementSection(window));
    content.sections.push_back({currentText("Report.Pictures"), QString(), true});
    content.sections.push_back(errorsSection(window));
    if (auto line = lineStatisticsSection(window))
        content.sections.push_back(*line);
    content.sections.push_back(journalSection(window));
    content.phasor = phasorPicture(window);
    content.harmonics = harmonicsPicture(window);
    return content;
}

QString ReportContent::html(bool embedded) const
{
    const QString phasorSrc = embedded ? dataUri(phasor) : QStringLiteral("report:phasor");
    const QString harmonicsSrc = embedded ? dataUri(harmonics) : QStringLiteral("report:harmonics");
    QString html = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title>"
                                  "<style>body{font-family:sans-serif;font-size:9pt} table{border-collapse:"
                                  "collapse} th{background:#e8e8e8} h2{margin-top:14px}</style></head><body>"
                                  "<h1>%1</h1>")
                       .arg(esc(title));
    for (const ReportSection& s : sections) {
        // The pictures start a page of their own, so their heading stays with them.
        html += (s.pictures ? QStringLiteral("<h2 style=\"page-break-before: always\">%1</h2>")
                            : QStringLiteral("<h2>%1</h2>"))
                    .arg(esc(s.heading));
        if (s.pictures) {
            const int phasorHeight = phasor.isNull() ? 0 : kPictureWidth * phasor.height() / phasor.width();
            const int harmonicsHeight =
                harmonics.isNull() ? 0 : kPictureWidth * harmonics.height() / std::max(1, harmonics.width());
            html += QStringLiteral(
                        "<table cellspacing=\"4\"><tr><td><img src=\"%1\" width=\"%2\" height=\"%3\"></td>"
                        "<td><img src=\"%4\" width=\"%2\" height=\"%5\"></td></tr></table>")
                        .arg(phasorSrc)
                        .arg(kPictureWidth)
                        .arg(phasorHeight)
                        .arg(harmonicsSrc)
                        .arg(harmonicsHeight);
        } else {
            html += s.body;
        }
    }
    return html + QStringLiteral("</body></html>");
}

bool writeReport(const QString& file, const ReportContent& content, QString* reason)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    const bool pdf = suffix == QLatin1String("pdf");
    if (!pdf && suffix != QLatin1String("html") && suffix != QLatin1String("htm")) {
        *reason = currentText("Report.UnknownType");
        return false;
    }
    // Made in memory and saved whole: a disk that cuts the file short leaves the old one and says so.
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (pdf) {
        QPdfWriter writer(&out);
        writer.setTitle(content.title);
        writer.setCreator(QStringLiteral("KVAM2100 %1").arg(QStringLiteral(KVAM_VERSION)));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        // Laid out at the screen's resolution, as text documents are, and drawn page by page scaled
        // to the writer's: the document keeps its pictures (QTextDocument::print lays out a copy
        // without them).
        const QRectF paint = writer.pageLayout().paintRectPixels(writer.resolution());
        const QScreen* screen = QGuiApplication::primaryScreen();
        const double scale = writer.resolution() / (screen ? screen->logicalDotsPerInchY() : 96.0);
        const QSizeF page(paint.width() / scale, paint.height() / scale);
        QTextDocument document;
        QFont font = document.defaultFont();
        // No ligatures: a reader of the PDF's text finds "fi" as two letters.
        font.setStyleStrategy(QFont::PreferNoShaping);
        document.setDefaultFont(font);
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("report:phasor")),
                             content.phasor);
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("report:harmonics")),
                             content.harmonics);
        document.setHtml(content.html(false));
        document.setPageSize(page);
        QPainter painter(&writer);
        painter.scale(scale, scale);
        for (int p = 0; p < document.pageCount(); ++p) {
            if (p > 0)
                writer.newPage();
            painter.save();
            painter.translate(0, -p * page.height());
            document.drawContents(&painter, QRectF(QPointF(0, p * page.height()), page));
            painter.restore();
        }
        painter.end(); // the whole PDF is in `out` now
    } else {
        out.write(content.html(true).toUtf8());
    }
    return saveWholeFile(file, out.data(), reason);
}

} // namespace kvam
