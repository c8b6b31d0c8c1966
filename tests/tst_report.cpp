// The commissioning report of the in-process virtual meter, read back as a person reads it: the PDF
// through pdftotext, the HTML as text, in both languages; its file failures; its button.

#include "app/Report.h"
#include "app/ReportAction.h"
#include "app/TForm1.h"
#include "config/RecordEditor.h"
#include "device/FieldTable.h"
#include "platform/LabeledEdit.h"
#include "platform/LanguageSwitch.h"
#include "platform/UserPrompts.h"
#include "tests/FileSizeLimit.h"
#include "texts/UiTexts.h"
#include "views/MeasurementPage.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

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

} // namespace

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
