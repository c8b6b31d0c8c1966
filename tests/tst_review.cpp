// The review of a write and the marks of fields the meter holds otherwise, in the whole window: the
// rows as the editors show each kind of field, the dialog answering for another meter's settings
// on the in-process meter, and the marks after the meter's verdict.

#include "app/SafeWrites.h"
#include "app/TForm1.h"
#include "config/ConfigFiles.h"
#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "config/FieldMarks.h"
#include "config/RecordEditor.h"
#include "config/ReviewForm.h"
#include "config/ReviewRows.h"
#include "config/TSectionForm.h"
#include "link/LinkDriver.h"
#include "meter/VirtualMeterPort.h"
#include "platform/ControlText.h"
#include "platform/LampGroup.h"
#include "platform/LanguageSwitch.h"
#include "platform/NumericSpin.h"
#include "records/FieldValue.h"
#include "records/RecordLayout.h"
#include "tests/LinkFakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace kvam;

Q_DECLARE_METATYPE(kvam::FieldChange)
Q_DECLARE_METATYPE(std::optional<kvam::Language>)

namespace {

constexpr std::uint32_t kDemoMeter = 21001234;  // the in-process meter's factory number
constexpr std::uint32_t kOtherMeter = 21009999; // the meter a settings section was saved from

/// The in-process meter answers at once; backups and journals go to a folder of the test's own.
TForm1::Options unpaced(bool review)
{
    static const QTemporaryDir history;
    TForm1::Options options;
    options.demoPacing = false;
    options.review = review;
    options.historyRoot = history.path();
    return options;
}

void feed(TForm1& f, const test::Bytes& frame)
{
    f.engine().ComPort1RxChar(frame.data(), static_cast<int>(frame.size()));
}

template <std::size_t N> test::Bytes bytesOf(const ByteImage<N>& image)
{
    return test::Bytes(image.data(), image.data() + N);
}

FieldChange change(MemoryRecord record, const char* field, int index, double before, double after)
{
    return {record, memoryRecordLayout(record).field(field), std::size_t(index), before, after};
}

bool configQuiet(TForm1& f)
{
    LinkEngine& e = f.engine();
    return !e.flag(Read_RAM2) && !e.flag(Read_RAM3) && !e.flag(Write_RAM2) && !e.flag(Write_RAM3);
}

const VirtualMeter& demoMeter(TForm1& f)
{
    return dynamic_cast<VirtualMeterPort&>(*f.link().port()).meter();
}

template <typename T> T* child(QWidget* form, const char* name)
{
    return form->findChild<T*>(QLatin1String(name));
}

/// What the review dialog showed when it was answered.
struct Shown
{
    bool foreign = false; ///< the warning and the IncludeFactory box shown, the box unticked
    QString warning;
    QStringList rows;     ///< "name: meter -> new" of every row
    bool nothing = false; ///< "nothing changes" and only the close button
};

/// Answers the review dialog by clicking its controls, as the user would.
struct Reviewer
{
    QString button = QStringLiteral("ReviewCancel");
    bool dontAsk = false;
    QList<Shown> shown;

    void attach(TForm1& f)
    {
        f.prompts().runDialog = [this, &f](QDialog& d) {
            if (&d == &f.sectionForm())
                return true;
            auto* form = qobject_cast<ReviewForm*>(&d);
            if (!form)
                return false;
            auto* include = child<QCheckBox>(form, "IncludeFactory");
            auto* warning = child<QLabel>(form, "ReviewForeign");
            const auto* table = child<QTableWidget>(form, "ReviewTable");
            Shown s;
            s.foreign = include->isVisibleTo(form) && warning->isVisibleTo(form) && !include->isChecked();
            s.warning = warning->isVisibleTo(form) ? warning->text() : QString();
            for (int r = 0; r < table->rowCount(); ++r)
                s.rows << QStringLiteral("%1: %2 -> %3")
                              .arg(table->item(r, 1)->text(), table->item(r, 2)->text(),
                                   table->item(r, 3)->text());
            s.nothing = child<QLabel>(form, "ReviewNothing")->isVisibleTo(form) &&
                        child<QPushButton>(form, "ReviewClose")->isVisibleTo(form) &&
                        !child<QPushButton>(form, "ReviewWrite")->isVisibleTo(form) &&
                        !table->isVisibleTo(form);
            shown << s;
            child<QCheckBox>(form, "ReviewDontAsk")->setChecked(dontAsk);
            auto* b = child<QPushButton>(form, s.nothing ? "ReviewClose" : qPrintable(button));
            if (!b)
                return false;
            b->click();
            return form->result() == QDialog::Accepted;
        };
    }
};

/// The three sets of texts a window shows: its start texts, and each language once switched to.
const std::pair<const char*, std::optional<Language>> kLanguages[] = {
    {"start", std::nullopt}, {"Hungarian", Language::Hungarian}, {"English", Language::English}};

/// Shows `language` in `f` (nothing for the start texts); the messages speak Hungarian again after.
auto showLanguage(TForm1& f, std::optional<Language> language)
{
    if (language)
        applyLanguage({&f}, *language);
    return qScopeGuard([language] {
        if (language)
            setCurrentLanguage(Language::Hungarian);
    });
}

/// Whether `control` stands inside a widget called `name`.
bool inside(const QWidget* control, const char* name)
{
    for (const QWidget* w = control; w; w = w->parentWidget())
        if (w->objectName() == QLatin1String(name))
            return true;
    return false;
}

} // namespace

class TstReview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale::c());
    }

    // Each kind of field as the editors show it: caption, name, the meter's value, the new one, unit.
    void rows_data()
    {
        QTest::addColumn<FieldChange>("change");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QStringList>("row"); // caption, name, meter, new, unit

        const auto r1 = MemoryRecord::Ram1;
        const auto r2 = MemoryRecord::Ram2;
        const auto r3 = MemoryRecord::Ram3;
        auto row = [](const char* name, FieldChange c, bool english, QStringList expected) {
            QTest::newRow(name) << c << english << expected;
        };
        row("float in its format", change(r2, "Ratio", 1, 1, 75.5), false,
            {"L1 I áttétel", "Ratio[1]", "1.0000", "75.5000", ""});
        row("integer", change(r2, "MB01Addr", 0, 1, 123), false, {"Modbus cím", "MB01Addr", "1", "123", ""});
        row("scaled percentage", change(r2, "Zajzar", 0, double(0.02f), double(0.07f)), false,
            {"Áram küszöbérték [%]", "Zajzar", "2", "7", "%"});
        row("milliseconds shown as seconds", change(r2, "MB01Delay", 0, 5, 20), false,
            {"Resp. delay [s]", "MB01Delay", "0.005", "0.02", "s"});
        row("milliamps of output 2", change(r2, "PWMFrommA", 1, 4000, 3500), false,
            {"Minimum [mA]", "PWMFrommA[1]", "4.000", "3.500", "mA"});
        row("composed of five boxes", change(r2, "DinPolarity", 0, 0, 33), false,
            {"Lekötött teljesítmény", "DinPolarity", "0", "33", ""});
        row("composed, second output", change(r2, "DoutAssign", 1, 3, 5), false,
            {"Digitális kimenet 2", "DoutAssign[1]", "3", "5", ""});
        row("list index", change(r2, "Elrendezes", 0, 0, 5), false,
            {"Mérési elrendezés", "Elrendezes", "3fázis 3/4vezeték 3mérő", "1fázis 2vezeték 1mérő", ""});
        row("list index in English", change(r2, "Elrendezes", 0, 0, 5), true,
            {"Measure layout", "Elrendezes", "3phase 3/4wire 3meas", "1phase 2wire 1meas", ""});
        row("list index plus one", change(r2, "IntegrationLength", 0, 2, 5), false,
            {"Mintavételi idő [ms]", "IntegrationLength", "160 ms", "400 ms", ""});
        row("code without an item", change(r2, "Elrendezes", 0, 0, 17), false,
            {"Mérési elrendezés", "Elrendezes", "3fázis 3/4vezeték 3mérő", "17", ""});
        row("bit lamps", change(r2, "LedErrorMask", 0, 1, 2), false,
            {"Hiba LED maszk", "LedErrorMask", "+ L1 letörés, \u2212 L2 letörés",
             "\u2212 L1 letörés, + L2 letörés", ""});
        row("bit lamps in English", change(r2, "LedErrorMask", 0, 1, 2), true,
            {"Error LED mask", "LedErrorMask", "+ L1 dip, \u2212 L2 dip", "\u2212 L1 dip, + L2 dip", ""});
        row("bit lamps of output 2 and a bit without a lamp",
            change(r2, "DoutErrormask1", 1, 0, double((1u << 13) | (1u << 20))), false,
            {"Hibajelzések", "DoutErrormask1[1]", "\u2212 Frekvencia hiba, \u2212 20. bit",
             "+ Frekvencia hiba, + 20. bit", ""});
        row("calibration constant", change(r3, "RMSCoeff", 2, double(0.001f), 0.5), false,
            {"RMSCoeff", "RMSCoeff[2]", "0.001", "0.5", ""});
        row("current channel's nominal value", change(r3, "Calrms", 1, 5, 4.25), false,
            {"L1 I [A]", "Calrms[1]", "5.000", "4.250", "A"});
        row("phase correction in degrees", change(r3, "Delay", 0, 0, 1.25), false,
            {"L1 U [°]", "Delay[0]", "0.00", "1.25", "°"});
        row("energy counter", change(r1, "EPplus", 0, 1234567, 0), false,
            {"EPplus", "EPplus[0]", "1234567", "0", ""});
    }

    void rows()
    {
        QFETCH(FieldChange, change);
        QFETCH(bool, english);
        QFETCH(QStringList, row);
        TForm1 f(unpaced(false));
        const auto hungarianAgain =
            qScopeGuard([&f] { f.ImageAngolClick(f.findChild<QLabel*>("ImageMagyar")); });
        if (english)
            f.switchToEnglish();
        const std::vector<ReviewRow> rows =
            reviewRows(std::span<const FieldChange>(&change, 1), shownLanguage(&f));
        QCOMPARE(rows.size(), std::size_t(1));
        const ReviewRow& r = rows.front();
        QCOMPARE((QStringList{r.caption, r.name, r.meter, r.proposed, r.unit}), row);
        QCOMPARE(r.record, change.record);
    }

    // Every kind of field, in each set of texts: the editor shows the stored value as the field
    // table renders it, and the review dialog's row reads the same (caption, value, unit).
    void tableRendersAsTheWindowShows_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("stored");
        QTest::addColumn<std::optional<Language>>("language");
        const struct
        {
            const char* kind;
            int record;
            const char* field;
            int index;
            double stored;
        } kinds[] = {
            {"float", 2, "Ratio", 1, 75.5},
            {"float of a current channel", 3, "Calrms", 1, 4.25},
            {"degrees", 3, "Delay", 0, 1.25},
            {"scaled percentage", 2, "Zajzar", 0, double(0.07f)},
            {"thousandths of a second", 2, "MB01Delay", 0, 20},
            {"thousandths of a tariff", 2, "MaxEP", 2, 1500},
            {"microamps", 2, "PWMFrommA", 1, 3500},
            {"integer", 2, "MB01Addr", 0, 123},
            {"signed integer", 3, "Offset", 3, -17},
            {"list", 2, "Elrendezes", 0, 5},
            {"list plus one", 2, "IntegrationLength", 0, 5},
            {"list plus one, second output", 2, "PWMMode", 1, 3},
            {"list of output 2 copied from output 1", 2, "DoutLimitType", 1, 2},
            {"list no switch replaces", 2, "MB01Baud", 0, 7},
            {"lamps whose texts differ from the start", 2, "LedErrorMask", 0, double(1 | 1 << 15 | 1 << 17)},
            {"lamps of output 2", 2, "DoutErrormask1", 1, double(1 << 3 | 1 << 19)},
            {"composed of five boxes", 2, "DinPolarity", 0, 0xE3},
            {"composed, second output", 2, "DoutAssign", 1, 9},
            {"composed of check boxes", 2, "HarmEnabled", 0, 0x2A},
            {"composed modules", 3, "Modulconfig", 0, 0x12},
            {"float without an editor", 3, "RMSCoeff", 2, 0.5},
            {"integer without an editor", 3, "ADrms", 4, 12345},
        };
        for (const auto& k : kinds)
            for (const auto& [name, language] : kLanguages)
                QTest::addRow("%s, %s", k.kind, name)
                    << k.record << QString::fromLatin1(k.field) << k.index << k.stored << language;
    }

    void tableRendersAsTheWindowShows()
    {
        QFETCH(int, record);
        QFETCH(QString, field);
        QFETCH(int, index);
        QFETCH(double, stored);
        QFETCH(std::optional<Language>, language);
        TForm1 f(unpaced(false));
        const auto hungarianAgain = showLanguage(f, language);
        const MemoryRecord r = record == 2 ? MemoryRecord::Ram2 : MemoryRecord::Ram3;
        const FieldInfo* info = memoryRecordLayout(r).field(qPrintable(field));
        QVERIFY(info);
        Ram2Image ram2 = VirtualMeter::installedRam2();
        Ram3Image ram3 = VirtualMeter::factoryRam3(kDemoMeter, 22, 3);
        if (r == MemoryRecord::Ram2)
            writeNumber(std::span<std::uint8_t>(ram2.data(), ram2.size()), *info, std::size_t(index), stored);
        else
            writeNumber(std::span<std::uint8_t>(ram3.data(), ram3.size()), *info, std::size_t(index), stored);
        feed(f, test::makeFrame(Read_RAM3, bytesOf(ram3)));
        feed(f, test::makeFrame(Read_RAM2, bytesOf(ram2)));

        const QString text = fieldValueText(r, *info, std::size_t(index), stored, language);
        QVERIFY(!text.isEmpty());
        const ConfigField* entry = configFieldOf(r, info);
        const QList<QWidget*> controls =
            entry ? elementControls(&f, *entry, std::size_t(index)) : QList<QWidget*>();
        switch (entry ? entry->editor : EditorKind::None) {
        case EditorKind::Number:
            QCOMPARE(qobject_cast<NumericSpin*>(controls.value(0))->text(), text);
            break;
        case EditorKind::Choice:
        case EditorKind::ChoicePlus1:
            QCOMPARE(qobject_cast<QComboBox*>(controls.value(0))->currentText().trimmed(), text);
            break;
        case EditorKind::Mask: {
            const auto* lamps = qobject_cast<LampGroup*>(controls.value(0));
            QVERIFY(lamps);
            QStringList lit;
            for (int bit = 0; bit < 32; ++bit)
                if (lamps->status() & (1u << bit))
                    lit << QStringLiteral("+ ") + lamps->captionLabel(bit)->text().trimmed();
            QCOMPARE(lit.join(QStringLiteral(", ")), text);
            break;
        }
        case EditorKind::Composed: {
            // Its controls hold the value: packed again, they give it back.
            QVERIFY(!controls.isEmpty());
            Ram2Image packed2 = ram2;
            Ram3Image packed3 = ram3;
            f.configPage().Ram2refresh(packed2);
            f.factoryPage().Ram3refresh(packed3);
            const double back =
                r == MemoryRecord::Ram2
                    ? readNumber(std::span<const std::uint8_t>(packed2.data(), packed2.size()), *info, index)
                    : readNumber(std::span<const std::uint8_t>(packed3.data(), packed3.size()), *info, index);
            QCOMPARE(back, stored);
            QCOMPARE(text, QString::number(stored));
            break;
        }
        case EditorKind::None:
            QVERIFY(controls.isEmpty());
            break;
        }

        // The review of a write from the stored value to 0 lists it so (of a mask: the lamps lit).
        WriteProposal proposal;
        proposal.changes = {FieldChange{r, info, std::size_t(index), stored, 0}};
        ReviewForm form(proposal, &f);
        const auto* table = child<QTableWidget>(&form, "ReviewTable");
        QCOMPARE(table->rowCount(), 1);
        auto cell = [&](int column) { return table->item(0, column)->text().replace(QChar::Nbsp, u' '); };
        QCOMPARE(cell(2), text);
        QCOMPARE(cell(0), fieldCaption(r, *info, std::size_t(index), language));
        QCOMPARE(cell(4), fieldUnit(r, *info, std::size_t(index)));
    }

    // Every element a page shows has a caption in each set of texts, the one its page shows, stands
    // in the group and on the page the table names (the report's headings), and has the unit its
    // caption shows in brackets (a list's entries carry their own).
    void everyFieldAsItsPageNamesIt_data()
    {
        QTest::addColumn<std::optional<Language>>("language");
        for (const auto& [name, language] : kLanguages)
            QTest::newRow(name) << language;
    }

    void everyFieldAsItsPageNamesIt()
    {
        QFETCH(std::optional<Language>, language);
        TForm1 f(unpaced(false));
        const auto hungarianAgain = showLanguage(f, language);
        const QRegularExpression bracket(QStringLiteral("\\[([^\\]]+)\\]"));
        int shown = 0;
        for (const auto& [record, table] : {std::pair{MemoryRecord::Ram2, ram2ConfigFields()},
                                            std::pair{MemoryRecord::Ram3, ram3ConfigFields()}}) {
            for (const ConfigField& field : table) {
                const FieldInfo& info = field.info();
                for (std::size_t i = 0; i < info.count; ++i) {
                    const QByteArray where =
                        QByteArray(field.field) + '[' + QByteArray::number(qulonglong(i)) + ']';
                    if (field.editor != EditorKind::Composed && i < kMaxControls && field.controls[i])
                        QVERIFY2(field.shown(i), where);
                    if (!field.shown(i))
                        continue;
                    ++shown;
                    const QString caption = fieldCaption(record, info, i, language);
                    QVERIFY2(!caption.isEmpty() && caption != QLatin1String(field.field), where);
                    // The caption's own widget shows it.
                    const char* key = field.captions[i];
                    const QString name = field.editor != EditorKind::Composed && field.controls[i] &&
                                                 qstrcmp(key, field.controls[i]) == 0
                                             ? QLatin1String(key) + QStringLiteral("Label")
                                             : QString::fromLatin1(key);
                    const QList<QWidget*> captions = ControlText::controls({&f}, name);
                    QVERIFY2(captions.size() == 1, where);
                    QString onPage = ControlText::text(captions.first()).trimmed();
                    while (onPage.endsWith(QLatin1Char(':')))
                        onPage = onPage.chopped(1).trimmed();
                    QCOMPARE(onPage, caption);
                    // Its controls stand in the group and on the pages the table names.
                    const QList<QWidget*> controls = elementControls(&f, field, i);
                    QVERIFY2(!controls.isEmpty(), where);
                    const FieldPageKeys page = fieldPageKeys(field.page);
                    for (const QWidget* control : controls) {
                        QVERIFY2(inside(control, field.group(i)), where);
                        QVERIFY2(inside(control, page.page), where);
                        QVERIFY2(!page.tab || inside(control, page.tab), where);
                    }
                    const QString unit = fieldUnit(record, info, i);
                    const bool list =
                        field.editor == EditorKind::Choice || field.editor == EditorKind::ChoicePlus1;
                    QCOMPARE(unit, list ? QString() : bracket.match(caption).captured(1));
                }
            }
        }
        QCOMPARE(shown, 92); // every control of the three pages that edit the records
    }

    // Another meter's settings section written to the in-process meter: the dialog warns, Cancel
    // writes nothing, Write without the factory data writes only RAM2, and once the user asks not to
    // be asked the next write goes without the dialog.
    void foreignSettingsReviewed()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        {
            TForm1 g(unpaced(false));
            g.configFiles().setSettingsDir(dir.path());
            Ram2Image ram2 = VirtualMeter::installedRam2();
            set(ram2, ram2::MB01Addr, std::uint8_t(123));
            feed(g, test::makeFrame(Read_RAM2, bytesOf(ram2)));
            feed(g, test::makeFrame(Read_RAM3, bytesOf(VirtualMeter::factoryRam3(kOtherMeter, 22, 3))));
            g.factoryPage().SaveSettingsButtonClick();
        }

        TForm1 f(unpaced(true));
        f.configFiles().setSettingsDir(dir.path());
        QStringList errors;
        f.prompts().showError = [&](const QString& t) { errors << t; };
        Reviewer reviewer;
        reviewer.attach(f);
        f.openPortByName(QStringLiteral("DEMO"));
        QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable() && configQuiet(f) && f.model().lineMeter(),
                                 10000);
        const Ram2Image meter2 = demoMeter(f).ram2();
        const Ram3Image meter3 = demoMeter(f).ram3();
        f.factoryPage().ReadSettingsButtonClick();
        QCOMPARE(f.model().imageOwner(MemoryRecord::Ram2), std::optional<std::uint32_t>(kOtherMeter));
        QVERIFY(reviewer.shown.isEmpty());

        auto* write = f.findChild<QPushButton*>(QStringLiteral("Button1"));
        QVERIFY(write && write->isEnabled());
        write->click();
        QCOMPARE(reviewer.shown.size(), 1);
        const Shown& first = reviewer.shown.front();
        QVERIFY(first.foreign);
        QVERIFY2(first.warning.contains(QString::number(kOtherMeter)) &&
                     first.warning.contains(QString::number(kDemoMeter)),
                 qPrintable(first.warning));
        QVERIFY2(first.rows.contains(QStringLiteral("MB01Addr: %1 -> 123").arg(get(meter2, ram2::MB01Addr))),
                 qPrintable(first.rows.join('\n')));
        QVERIFY2(
            first.rows.contains(QStringLiteral("Gyartasiszam: %1 -> %2").arg(kDemoMeter).arg(kOtherMeter)),
            qPrintable(first.rows.join('\n')));
        // Cancelled: nothing is flagged and nothing reaches the meter.
        QVERIFY(!f.engine().flag(Write_RAM2) && !f.engine().flag(Write_RAM3));

        reviewer.button = QStringLiteral("ReviewWrite");
        write->click();
        QCOMPARE(reviewer.shown.size(), 2);
        QVERIFY(f.engine().flag(Write_RAM2));
        QVERIFY(!f.engine().flag(Write_RAM3));
        QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f), 10000);
        QCOMPARE(int(get(demoMeter(f).ram2(), ram2::MB01Addr)), 123);
        QVERIFY(demoMeter(f).ram3() == meter3);

        // Asked not to be asked: this write is the last one reviewed.
        reviewer.dontAsk = true;
        f.findChild<NumericSpin*>(QStringLiteral("MB1Address"))->setValue(77);
        write->click();
        QCOMPARE(reviewer.shown.size(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f), 10000);
        QCOMPARE(int(get(demoMeter(f).ram2(), ram2::MB01Addr)), 77);
        QVERIFY(!f.safeWrites().reviewing());
        f.findChild<NumericSpin*>(QStringLiteral("MB1Address"))->setValue(78);
        write->click();
        QCOMPARE(reviewer.shown.size(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f), 10000);
        QCOMPARE(int(get(demoMeter(f).ram2(), ram2::MB01Addr)), 78);
        // Without a review another meter's factory data never go.
        QVERIFY(demoMeter(f).ram3() == meter3);
        QCOMPARE(errors, QStringList());
    }

    // A write that changes nothing says so, offers only to close, and writes nothing even when
    // the dialog is accepted.
    void nothingToWrite()
    {
        TForm1 f(unpaced(true));
        Reviewer reviewer;
        reviewer.attach(f);
        f.openPortByName(QStringLiteral("DEMO"));
        QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable() && configQuiet(f) && f.model().lineMeter(),
                                 10000);
        QVERIFY(!f.model().WriteRamClick());
        QCOMPARE(reviewer.shown.size(), 1);
        QVERIFY(reviewer.shown.front().nothing);
        QVERIFY(!reviewer.shown.front().foreign);
        QVERIFY(!f.engine().flag(Write_RAM2) && !f.engine().flag(Write_RAM3));
        f.prompts().runDialog = [](QDialog&) { return true; };
        QVERIFY(!f.model().WriteRamClick());
        QVERIFY(!f.engine().flag(Write_RAM2) && !f.engine().flag(Write_RAM3));
        // A whole cycle later still nothing was written.
        f.engine().setFlag(Read_Version, true);
        QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Read_Version), 10000);
        QCOMPARE(demoMeter(f).stats().byCode[Write_RAM2], 0);
        QCOMPARE(demoMeter(f).stats().byCode[Write_RAM3], 0);
    }

    // The meter's verdict marks the editors of what it holds otherwise, with what was written; a
    // verdict on the record again or the user's read takes the marks away, anything else keeps them.
    void differingFieldsMarked_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("kept");
        QTest::newRow("RAM2 verified") << "verified RAM2" << false;
        QTest::newRow("RAM2 differs elsewhere") << "differs RAM2" << false;
        QTest::newRow("RAM3 verified") << "verified RAM3" << true;
        QTest::newRow("RAM2 not acknowledged") << "not acknowledged" << true;
        QTest::newRow("RAM2 of another meter") << "other meter" << true;
        QTest::newRow("read button") << "read" << false;
    }

    void differingFieldsMarked()
    {
        QFETCH(QString, then);
        QFETCH(bool, kept);
        TForm1 f(unpaced(false));
        f.prompts().showError = [](const QString&) {};
        auto* address = f.findChild<NumericSpin*>(QStringLiteral("MB1Address"));
        auto* ratio = f.findChild<NumericSpin*>(QStringLiteral("L1Iat"));
        auto* lamps = f.findChild<QWidget*>(QStringLiteral("LedMask0Group"));
        address->setToolTip(QStringLiteral("own tip"));

        JournalEntry e;
        e.Gyartasiszam = kDemoMeter;
        e.record = MemoryRecord::Ram2;
        e.outcome = WriteOutcome::Differs;
        e.differences = {change(MemoryRecord::Ram2, "MB01Addr", 0, 123, 1),
                         change(MemoryRecord::Ram2, "LedErrorMask", 0, 2, 0),
                         change(MemoryRecord::Ram2, "Carried310", 0, 1, 0)};
        emit f.model().writeFinished(e);
        QCOMPARE(f.safeWrites().marks().marked(), (QList<QWidget*>{address, lamps}));
        QCOMPARE(address->property(FieldMarks::kProperty).toString(), QStringLiteral("123"));
        QCOMPARE(address->toolTip(), QStringLiteral("Beírva: 123"));
        QVERIFY(!address->styleSheet().isEmpty());
        QCOMPARE(lamps->toolTip(), QStringLiteral("Beírva: + L2 letörés"));

        JournalEntry next = e;
        next.differences.clear();
        if (then == QLatin1String("verified RAM2")) {
            next.outcome = WriteOutcome::Verified;
        } else if (then == QLatin1String("differs RAM2")) {
            next.differences = {change(MemoryRecord::Ram2, "Ratio", 1, 40, 70)};
        } else if (then == QLatin1String("verified RAM3")) {
            next.record = MemoryRecord::Ram3;
            next.outcome = WriteOutcome::Verified;
        } else if (then == QLatin1String("not acknowledged")) {
            next.outcome = WriteOutcome::NotAcknowledged;
        } else if (then == QLatin1String("other meter")) {
            next.outcome = WriteOutcome::OtherMeter;
            next.otherMeter = kOtherMeter;
        }
        if (then == QLatin1String("read"))
            f.model().ReadRamClick();
        else
            emit f.model().writeFinished(next);

        QCOMPARE(address->property(FieldMarks::kProperty).isValid(), kept);
        QCOMPARE(f.safeWrites().marks().marked().contains(lamps), kept);
        if (!kept) {
            // The control's own look and tooltip are back.
            QCOMPARE(address->toolTip(), QStringLiteral("own tip"));
            QVERIFY(address->styleSheet().isEmpty() && lamps->styleSheet().isEmpty());
        }
        const bool ratioMarked = then == QLatin1String("differs RAM2");
        QCOMPARE(f.safeWrites().marks().marked().contains(ratio), ratioMarked);
        if (ratioMarked)
            QCOMPARE(ratio->toolTip(), QStringLiteral("Beírva: 40.0000"));
    }
};

QTEST_MAIN(TstReview)
#include "tst_review.moc"
