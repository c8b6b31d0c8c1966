// The commissioning report of the in-process virtual meter, read back as a person reads it: the PDF
// through pdftotext, the HTML as text, in both languages; its measurement, identity and I/O
// sections against what the measurement page shows; its file failures; its button.

#include "app/Report.h"
#include "app/ReportAction.h"
#include "app/TForm1.h"
#include "config/RecordEditor.h"
#include "device/FieldTable.h"
#include "device/MeterRules.h"
#include "platform/LabeledEdit.h"
#include "platform/Lamp.h"
#include "platform/LanguageSwitch.h"
#include "platform/UserPrompts.h"
#include "protocol/Commands.h"
#include "tests/FileSizeLimit.h"
#include "texts/UiTexts.h"
#include "views/HarmonicsPage.h"
#include "views/MeasurementPage.h"

#include <QAbstractSpinBox>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocumentFragment>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <map>

using namespace kvam;

namespace {

TForm1::Options unpaced()
{
    static const QTemporaryDir history;
    TForm1::Options options;
    options.demoPacing = false;
    options.historyRoot = history.path();
    return options;
}

/// Opens the demo meter on the measurement page and waits until the report has every record.
bool readMeter(TForm1& f)
{
    f.openPortByName(QStringLiteral("DEMO"));
    f.activatePage(QStringLiteral("TabSheet_Meres"));
    for (int i = 0; i < 200 && !f.report().missing().isEmpty(); ++i) {
        f.report().askMissing();
        QTest::qWait(50);
    }
    return f.report().missing().isEmpty();
}

/// The text a configuration control shows now: a spin's text, a drop-down's entry.
QString shown(TForm1& f, MemoryRecord record, const char* field, std::size_t index)
{
    const ConfigField* c =
        findConfigField(record == MemoryRecord::Ram2 ? ram2ConfigFields() : ram3ConfigFields(), field);
    const QList<QWidget*> controls = elementControls(&f, *c, index);
    if (controls.isEmpty())
        return {};
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(controls.first()))
        return spin->text().trimmed();
    if (auto* box = qobject_cast<QComboBox*>(controls.first()))
        return box->currentText().trimmed();
    return {};
}

QString pdfText(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

/// Whether one line of `text` holds both `a` and `b`.
bool oneLineHolds(const QString& text, const QString& a, const QString& b)
{
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.contains(a) && line.contains(b))
            return true;
    return false;
}

/// A table as a reader sees it: the heading above it and its rows of cell texts.
struct Table
{
    QString title;
    std::vector<QStringList> rows;
};

QString plain(const QString& html)
{
    return QTextDocumentFragment::fromHtml(html).toPlainText().trimmed();
}

/// The tables of a section's body, each under the <h3> heading right before it (if any).
std::vector<Table> tablesIn(const QString& html)
{
    static const QRegularExpression tableRe(QStringLiteral("(?:<h3>(.*?)</h3>)?<table[^>]*>(.*?)</table>"));
    static const QRegularExpression rowRe(QStringLiteral("<tr>(.*?)</tr>"));
    static const QRegularExpression cellRe(QStringLiteral("<(td|th)[^>]*>(.*?)</\\1>"));
    std::vector<Table> tables;
    for (const QRegularExpressionMatch& t : tableRe.globalMatch(html)) {
        Table table{plain(t.captured(1)), {}};
        for (const QRegularExpressionMatch& r : rowRe.globalMatch(t.captured(2))) {
            QStringList row;
            for (const QRegularExpressionMatch& c : cellRe.globalMatch(r.captured(1)))
                row << plain(c.captured(2));
            table.rows.push_back(row);
        }
        tables.push_back(table);
    }
    return tables;
}

/// The groups of value fields of the measurement page as they stand on the screen: each group's
/// title, the bold headers above its columns, then row by row (by height) and column by column (by
/// position) each visible field's caption and text; a column without a field in a row is blank.
std::vector<Table> pageTables(MeasurementPage& page)
{
    auto caption = [](const LabeledEdit* edit) {
        QString text = edit->caption().trimmed();
        while (text.endsWith(QLatin1Char(':')))
            text.chop(1);
        return text.trimmed();
    };
    std::vector<Table> tables;
    for (QGroupBox* group : page.findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
        std::map<int, std::map<int, const LabeledEdit*>> grid;
        std::map<int, QString> headers;
        std::vector<int> xs;
        for (const LabeledEdit* edit : group->findChildren<LabeledEdit*>()) {
            if (!edit->isVisibleTo(&page))
                continue;
            const QPoint at = edit->mapTo(group, QPoint(0, 0));
            grid[at.y()][at.x()] = edit;
            if (std::find(xs.begin(), xs.end(), at.x()) == xs.end())
                xs.push_back(at.x());
        }
        if (grid.empty())
            continue;
        std::sort(xs.begin(), xs.end());
        for (const QLabel* label : group->findChildren<QLabel*>())
            if (label->font().bold() && label->isVisibleTo(&page))
                headers[label->mapTo(group, QPoint(0, 0)).x()] = label->text().trimmed();
        Table table{group->title().trimmed(), {}};
        if (!headers.empty()) {
            QStringList row;
            for (int x : xs)
                row << headers[x];
            table.rows.push_back(row);
        }
        for (const auto& [y, fields] : grid) {
            QStringList row;
            for (int x : xs) {
                const auto it = fields.find(x);
                row << (it == fields.end() ? QString() : caption(it->second))
                    << (it == fields.end() ? QString() : it->second->text().trimmed());
            }
            table.rows.push_back(row);
        }
        tables.push_back(table);
    }
    return tables;
}

/// The lamps of the page's inputs and outputs, outputs (squares) or inputs (circles) from the top,
/// as "caption: on" for a lit lamp and "caption: off" for a white one, the caption being the label
/// beside the lamp.
QString pageLamps(MeasurementPage& page, bool outputs)
{
    std::map<int, QString> lamps;
    for (const Lamp* lamp : page.findChildren<Lamp*>()) {
        if ((lamp->shape() == Lamp::Shape::Square) != outputs)
            continue;
        const QRect at = lamp->geometry();
        QString caption;
        for (const QLabel* label : lamp->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
            if (label->geometry().top() <= at.center().y() && at.center().y() <= label->geometry().bottom() &&
                label->geometry().left() > at.right())
                caption = label->text().trimmed();
        const bool lit = lamp->color() != QColor(MeasurementPage::kIoInactive);
        lamps[at.top()] = caption + QStringLiteral(": ") + currentText(lit ? "Report.On" : "Report.Off");
    }
    QStringList texts;
    for (const auto& [top, text] : lamps)
        texts << text;
    return texts.join(QStringLiteral(", "));
}

/// The section of `content` under `heading`.
const ReportSection* sectionOf(const ReportContent& content, const QString& heading)
{
    for (const ReportSection& s : content.sections)
        if (s.heading == heading)
            return &s;
    return nullptr;
}

/// What the meter answers in one row of measurementSectionsShowThePage.
struct MeterAnswers
{
    int arrangement;  ///< RAM2 Elrendezes: 0..4 three-phase, 5 single-phase
    float netBase;    ///< the Net record's values are netBase times their number, every other negative
    qint64 energy;    ///< the first counter in Wh; the others follow
    const char* date; ///< 12 bytes of the program date
    quint32 factory;
    bool demand;     ///< whether a demand answer arrives
    bool energyOwed; ///< the counters arrive while a write of the RAM1 image waits
    quint8 io;       ///< IoBits
    quint8 channel;  ///< of the harmonics answer
};

/// Hands `a` to the window's model as the meter's answers.
void answer(TForm1& f, const MeterAnswers& a)
{
    DeviceModel& model = f.model();
    Ram2Image ram2;
    set(ram2, ram2::Elrendezes, std::uint16_t(a.arrangement));
    model.answerReceived(Read_RAM2, ram2.data());

    NetRecord net;
    for (std::size_t k = 0; k < netFields().size(); ++k)
        net.set<float>(netFields()[k].offset, a.netBase * float(k + 1) * (k % 2 ? -1.0f : 1.0f));
    model.answerReceived(Read_Net, net.data());

    Ram1Image ram1;
    for (std::size_t k = 0; k < energyFields().size(); ++k)
        set(ram1, energyFields()[k].field, energyFields()[k].index, a.energy + qint64(k) * 1000003);
    f.engine().setFlag(Write_RAM1, a.energyOwed);
    model.answerReceived(Read_RAM1, ram1.data());
    f.engine().setFlag(Write_RAM1, false);

    VersionRecord version;
    set(version, version::ProgramversionMajor, std::uint8_t(kSupportedMajorVersion));
    set(version, version::ProgramversionMinor, std::uint8_t(a.io));
    set(version, version::ProgramversionBuild, std::uint16_t(a.factory % 60000));
    std::memcpy(version.data() + version::Programdate.offset, a.date, version::Programdate.count);
    set(version, version::Gyartaseve, std::uint8_t(a.factory % 100));
    set(version, version::Gyartashonapja, std::uint8_t(a.arrangement + 7));
    set(version, version::Gyartasiszam, a.factory);
    model.answerReceived(Read_Version, version.data());

    if (a.demand) {
        EpRecord ep;
        set(ep, ep::EPprevious, a.factory / 3);
        set(ep, ep::EPestimated, a.factory / 5);
        set(ep, ep::EPenabled, a.factory);
        set(ep, ep::EPcurrent, 7u);
        set(ep, ep::EPtimeelapsed, std::uint16_t(a.factory % 65536));
        model.answerReceived(Read_EPdata, ep.data());
    }

    StateRecord state;
    set(state, state::IoBits, a.io);
    model.answerReceived(Read_State, state.data());

    HarmonicsRecord harmonics;
    set(harmonics, harmonics::Channel, a.channel);
    set(harmonics, harmonics::THD, a.netBase);
    for (std::size_t n = 0; n < harmonics::Amplitude.count; ++n)
        set(harmonics, harmonics::Amplitude, n, std::uint16_t(n == 0 ? 1000 : (n * 37 + a.channel) % 300));
    model.answerReceived(Read_Harmonics, harmonics.data());
}

} // namespace

Q_DECLARE_METATYPE(MeterAnswers)

class TstReport : public QObject
{
    Q_OBJECT

private slots:
    void showsWhatThePagesShow_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("Hungarian PDF") << false << "pdf";
        QTest::newRow("English PDF") << true << "pdf";
        QTest::newRow("Hungarian HTML") << false << "html";
        QTest::newRow("English HTML") << true << "html";
    }
    void showsWhatThePagesShow()
    {
        QFETCH(bool, english);
        QFETCH(QString, suffix);
        TForm1 f(unpaced());
        applyLanguage({&f}, english ? Language::English : Language::Hungarian);
        QVERIFY(readMeter(f));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("report.") + suffix);
        QString reason;
        QVERIFY2(f.report().write(file, &reason), qPrintable(reason));

        QString text;
        if (suffix == QLatin1String("pdf")) {
            text = pdfText(file);
            QVERIFY2(!text.isEmpty(), "pdftotext read nothing");
        } else {
            QFile html(file);
            QVERIFY(html.open(QIODevice::ReadOnly));
            text = QString::fromUtf8(html.readAll());
            QCOMPARE(text.count(QStringLiteral("src=\"data:image/png;base64,")), 2);
        }
        // The headings in the language shown, not in the other.
        QVERIFY(text.contains(currentText("Report.Configuration")));
        QVERIFY(!text.contains(english ? QStringLiteral("Kalibrációs állandók")
                                       : QStringLiteral("Calibration constants")));

        // The factory number as the measurement page shows it.
        const QString factory = f.measurementPage().field(QStringLiteral("Gyartasiszam"))->text().trimmed();
        QCOMPARE(factory, QStringLiteral("21001234"));
        QVERIFY(text.contains(factory));
        // Three configuration values on their record names' lines, as their editors show them.
        const struct
        {
            MemoryRecord record;
            const char* field;
            std::size_t index;
            const char* name;
        } fields[] = {{MemoryRecord::Ram2, "Ratio", 1, "RAM2.Ratio[1]"},
                      {MemoryRecord::Ram2, "Elrendezes", 0, "RAM2.Elrendezes"},
                      {MemoryRecord::Ram2, "Zajzar", 0, "RAM2.Zajzar"}};
        for (const auto& field : fields) {
            const QString value = shown(f, field.record, field.field, field.index);
            QVERIFY2(!value.isEmpty(), field.name);
            QVERIFY2(oneLineHolds(text, QLatin1String(field.name), value),
                     qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(field.name), value)));
        }
        // A calibration constant in its channel's row: the nominal value of L1 U.
        const QString calrms = shown(f, MemoryRecord::Ram3, "Calrms", 0);
        QVERIFY(!calrms.isEmpty());
        QVERIFY2(oneLineHolds(text, QStringLiteral("L1 U"), calrms + QStringLiteral(" V")),
                 qPrintable(calrms));
        // A measured voltage as the measurement page shows it, beside its caption.
        const LabeledEdit* u1 = f.measurementPage().field(QStringLiteral("L1urms"));
        QVERIFY(u1->text().trimmed() != QLatin1String("-"));
        QVERIFY2(oneLineHolds(text, u1->caption().remove(QLatin1Char(':')).trimmed(), u1->text().trimmed()),
                 qPrintable(u1->text()));
        // The line statistics under the communication page's captions, with the engine's count of
        // requests sent up to the report.
        QVERIFY(text.contains(currentText("LineStatsBox")));
        QVERIFY(f.engine().lineStats().totals().requests > 0);
        QVERIFY2(text.contains(currentText("LineStatsRequests")),
                 qPrintable(currentText("LineStatsRequests")));
        QVERIFY(text.contains(QStringLiteral("Read_RAM2")));
    }

    // The report's measurement, identity and I/O sections and its harmonics picture show what the
    // measurement and harmonics pages show for the same answers, in the language the window shows.
    void measurementSectionsShowThePage_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<MeterAnswers>("answers");
        const MeterAnswers threePhase{
            0, 123.4567f, 9007199254740000, "2024.02.29\0\0", 3000000001u, true, false, 0x21, 4};
        // A date that fills its field, with characters HTML must escape; no demand answer yet.
        const MeterAnswers singlePhase{5, 0.0125f, 0, "<td>&amp;</b", 7u, false, false, 0x52, 0};
        // The counters read while a write of the image waits: the page shows the counters read.
        const MeterAnswers energyOwed{3,    98765.4f, -4321987, "1.0\0zzzzzzzzz", 21001234u, true,
                                      true, 0x7F,     9};
        for (bool english : {false, true}) {
            const char* language = english ? "English" : "Hungarian";
            QTest::addRow("three-phase, %s", language) << english << threePhase;
            QTest::addRow("single-phase without demand, %s", language) << english << singlePhase;
            QTest::addRow("counters of a pending write, %s", language) << english << energyOwed;
        }
    }
    void measurementSectionsShowThePage()
    {
        QFETCH(bool, english);
        QFETCH(MeterAnswers, answers);
        TForm1 f(unpaced());
        if (english)
            applyLanguage({&f}, Language::English);
        answer(f, answers);
        MeasurementPage& page = f.measurementPage();
        QCOMPARE(page.threePhaseColumnsVisible(), threePhaseArrangement(answers.arrangement));

        const ReportContent content = buildReport(f);
        const ReportSection* measurement = sectionOf(content, currentText("Report.Measurement"));
        const ReportSection* identity = sectionOf(content, currentText("Report.Identity"));
        const ReportSection* errors = sectionOf(content, currentText("Report.Errors"));
        QVERIFY(measurement && identity && errors);

        // The measured values, the version and the demand, group by group and cell by cell.
        const std::vector<Table> shown = pageTables(page);
        const std::vector<Table> reported = tablesIn(measurement->body);
        QCOMPARE(reported.size(), shown.size());
        QCOMPARE(shown.size(), std::size_t(3));
        for (std::size_t t = 0; t < shown.size(); ++t) {
            QCOMPARE(reported[t].title, shown[t].title);
            QCOMPARE(reported[t].rows.size(), shown[t].rows.size());
            for (std::size_t r = 0; r < shown[t].rows.size(); ++r)
                QCOMPARE(reported[t].rows[r], shown[t].rows[r]);
        }
        // The version group heads the identity section.
        const std::vector<Table> ids = tablesIn(identity->body);
        QCOMPARE(ids.size(), std::size_t(1));
        const Table& version = shown[1];
        QVERIFY(ids[0].rows.size() > version.rows.size());
        for (std::size_t r = 0; r < version.rows.size(); ++r)
            QCOMPARE(ids[0].rows[r], version.rows[r]);

        // The lamps under their captions.
        const std::vector<Table> io = tablesIn(errors->body);
        QCOMPARE(io.size(), std::size_t(1));
        std::map<QString, QString> lamps;
        for (const QStringList& row : io[0].rows)
            if (row.size() == 2)
                lamps[row[0]] = row[1];
        QCOMPARE(lamps[currentText("Report.Outputs")], pageLamps(page, true));
        QCOMPARE(lamps[currentText("Report.Inputs")], pageLamps(page, false));

        // The harmonics picture is the page's chart, pixel for pixel.
        const auto* harmonics = f.findChild<HarmonicsPage*>(QStringLiteral("TabSheet_Harmonics"));
        QVERIFY(harmonics);
        const QImage chart = harmonics->chartView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(content.harmonics.convertToFormat(QImage::Format_RGB32), chart);
    }

    void failedWriteLeavesNothing_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("diskLeft"); // bytes a file may have before the disk is full; 0: no limit
        QTest::newRow("missing folder") << "missing/report.pdf" << qint64(0);
        QTest::newRow("folder is a file") << "plain.txt/report.html" << qint64(0);
        QTest::newRow("not a report type") << "report.txt" << qint64(0);
        QTest::newRow("name of a folder") << "folder.pdf" << qint64(0);
        QTest::newRow("a full disk, PDF") << "full.pdf" << qint64(4096);
        QTest::newRow("a full disk, HTML") << "full.html" << qint64(4096);
    }
    void failedWriteLeavesNothing()
    {
        QFETCH(QString, file);
        QFETCH(qint64, diskLeft);
        TForm1 f(unpaced());
        QVERIFY(readMeter(f));
        QTemporaryDir dir;
        QFile plain(dir.filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.pdf")));
        const QStringList before =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

        QString reason;
        {
            std::optional<FileSizeLimit> disk;
            if (diskLeft > 0)
                disk.emplace(diskLeft);
            QVERIFY(!f.report().write(dir.filePath(file), &reason));
        }
        QVERIFY(!reason.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
        QVERIFY(QDir(dir.filePath(QStringLiteral("folder.pdf"))).isEmpty());
    }

    void buttonNamesMissingRecordsThenWrites()
    {
        TForm1 f(unpaced());
        QStringList errors;
        QString offered;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("r.pdf"));
        f.prompts().showError = [&](const QString& text) { errors << text; };
        f.prompts().chooseFile = [&](const FileRequest& r) {
            offered = r.filter;
            return file;
        };
        QPushButton* button = f.measurementPage().reportButton();
        QCOMPARE(button->text(), uiText("ReportButton"));
        button->click();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QStringLiteral("RAM2")) && errors[0].contains(QStringLiteral("Net")),
                 qPrintable(errors[0]));
        QVERIFY(offered.isEmpty());
        QVERIFY(!QFile::exists(file));

        QVERIFY(readMeter(f));
        button->click();
        QCOMPARE(errors.size(), 1);
        QVERIFY(offered.contains(QStringLiteral("*.pdf")) && offered.contains(QStringLiteral("*.html")));
        QFile pdf(file);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
    }
};

QTEST_MAIN(TstReport)
#include "tst_report.moc"
