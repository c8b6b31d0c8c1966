// The device configuration through the whole window: access levels, the guarded write buttons, the
// write and read-back of RAM2 and RAM3 with the in-process meter and over a pseudo-terminal, short
// answers, the settings file and the record file.

#include "app/AccessLevel.h"
#include "app/MainPages.h"
#include "app/SafeWrites.h"
#include "app/TForm1.h"
#include "app/TPasswordForm.h"
#include "config/ConfigFiles.h"
#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "config/RestoreDialog.h"
#include "config/SettingsFile.h"
#include "config/TSectionForm.h"
#include "config/UserPasswordStore.h"
#include "link/LinkDriver.h"
#include "meter/VirtualMeterPort.h"
#include "platform/NumericSpin.h"
#include "protocol/Frame.h"
#include "records/Records.h"
#include "service/CommPage.h"
#include "tests/LinkFakes.h"
#include "tests/MeterSim.h"
#include "tests/ModelAccess.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <climits>

using namespace kvam;
using namespace kvam::test;

namespace {

/// An entry of the access tables that stands for the "Kilépés" button rather than a typed number.
constexpr int kKilepes = INT_MIN;

const QStringList kFactoryControls = {QStringLiteral("Commandbox"), QStringLiteral("Sendbutton"),
                                      QStringLiteral("Scan")};

/// The in-process meter answers at once, not at the line's pace.
TForm1::Options unpaced()
{
    TForm1::Options options;
    options.demoPacing = false;
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

template <std::size_t N> QByteArray rawOf(const ByteImage<N>& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(N));
}

/// The records an installed meter answers with, fed to the window as Read_RAM2 and Read_RAM3
/// answers.
void holdInstalledRecords(TForm1& f)
{
    feed(f, test::makeFrame(Read_RAM2, bytesOf(VirtualMeter::installedRam2())));
    feed(f, test::makeFrame(Read_RAM3, bytesOf(VirtualMeter::factoryRam3(21001234, 21, 6))));
}

/// Every editor value of `page`: spin values, list indexes and check marks, by control name.
QStringList editorState(const QWidget& page)
{
    QStringList out;
    for (const NumericSpin* s : page.findChildren<NumericSpin*>())
        out << s->objectName() + QLatin1Char('=') + QString::number(s->value(), 'g', 17);
    for (const QComboBox* c : page.findChildren<QComboBox*>())
        out << c->objectName() + QLatin1Char('#') + QString::number(c->currentIndex());
    for (const QCheckBox* c : page.findChildren<QCheckBox*>())
        out << c->objectName() + (c->isChecked() ? QStringLiteral(":on") : QStringLiteral(":off"));
    return out;
}

QStringList editorState(TForm1& f)
{
    return editorState(f.configPage()) + editorState(f.factoryPage());
}

/// Sets the control `name` of the configuration page as the user would leave it.
bool edit(TForm1& f, const QString& name, const QVariant& value)
{
    if (auto* s = f.configPage().findChild<NumericSpin*>(name)) {
        s->setValue(value.toDouble());
        return true;
    }
    if (auto* c = f.configPage().findChild<QComboBox*>(name)) {
        if (value.toInt() >= c->count())
            return false;
        c->setCurrentIndex(value.toInt());
        return true;
    }
    if (auto* c = f.configPage().findChild<QCheckBox*>(name)) {
        c->setChecked(value.toBool());
        return true;
    }
    return false;
}

/// What the control `name` of the configuration page shows, in the form `edit` takes.
QVariant shown(TForm1& f, const QString& name)
{
    if (auto* s = f.configPage().findChild<NumericSpin*>(name))
        return s->value();
    if (auto* c = f.configPage().findChild<QComboBox*>(name))
        return c->currentIndex();
    if (auto* c = f.configPage().findChild<QCheckBox*>(name))
        return c->isChecked();
    return {};
}

bool configQuiet(TForm1& f)
{
    LinkEngine& e = f.engine();
    return !e.flag(Read_RAM2) && !e.flag(Read_RAM3) && !e.flag(Write_RAM2) && !e.flag(Write_RAM3);
}

QTabWidget* tabs(TForm1& f)
{
    return f.findChild<QTabWidget*>(QStringLiteral("CoolPageControl1"));
}

QString currentPage(TForm1& f)
{
    return tabs(f)->currentWidget()->objectName();
}

/// The payload of the last request with `code` in a monitor log; empty when none was sent.
QByteArray lastRequestPayload(const QString& log, int code)
{
    const QString head = QStringLiteral("Command: \r\n");
    const QString first = QStringLiteral("%1 ").arg(code, 2, 16, QLatin1Char('0')).toUpper();
    const qsizetype at = log.lastIndexOf(head + first);
    if (at < 0)
        return {};
    const QStringList tokens = log.mid(at + head.size(), 3 * 520)
                                   .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    QByteArray frame;
    for (const QString& t : tokens) {
        bool ok = false;
        const uint b = t.toUInt(&ok, 16);
        if (!ok || t.size() != 2)
            break;
        frame.append(char(b));
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.constData());
    const std::optional<Frame> request = Frame::decode({bytes, std::size_t(frame.size())});
    if (!request)
        return {};
    return QByteArray(reinterpret_cast<const char*>(request->payload().data()),
                      qsizetype(request->payload().size()));
}

/// The in-process meter behind the open "DEMO" port.
const VirtualMeter* demoMeter(TForm1& f)
{
    auto* port = dynamic_cast<VirtualMeterPort*>(f.link().port());
    return port ? &port->meter() : nullptr;
}

using test::startMeter;
using test::stopMeter;

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

/// Collects every failure the window reports and answers every dialog.
struct Recorder
{
    QStringList errors;
    QStringList fileErrors;
    int dialogs = 0;

    void attach(TForm1& f)
    {
        f.prompts().showError = [this](const QString& t) { errors << t; };
        f.prompts().showFileError = [this](const QString& t, const QString&) { fileErrors << t; };
        f.prompts().refuseDevice = [this](const QString& t) { errors << t; };
    }
};

} // namespace

class TstConfigWindow : public QObject
{
    Q_OBJECT

private:
    using Flags = std::array<bool, kCommandCount + 1>;

    /// The polled commands follow the page now active, and the configuration records are read
    /// again unless a settings file was loaded. A page that only watches the traffic keeps the
    /// `previous` polls.
    static void checkPolls(TForm1& f, const Flags& previous)
    {
        const MainPage* page = findMainPage(qPrintable(currentPage(f)));
        QVERIFY(page);
        for (int k : kPagePolledCommands) {
            const bool expected = page->polls.keepsPrevious ? previous[std::size_t(k)] : page->polls.polls(k);
            QVERIFY2(
                f.engine().flag(k) == expected,
                qPrintable(QStringLiteral("%1 on %2").arg(QLatin1String(commandName(k)), currentPage(f))));
        }
        if (page->polls.keepsPrevious)
            return;
        QCOMPARE(f.engine().flag(Read_RAM2), !f.model().requests().SettingsLoaded);
        QCOMPARE(f.engine().flag(Read_RAM3), !f.model().requests().SettingsLoaded);
    }

    static Flags flagsOf(TForm1& f)
    {
        Flags out{};
        for (int k = 1; k <= kCommandCount; ++k)
            out[std::size_t(k)] = f.engine().flag(k);
        return out;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // "No stored password" is part of what the access tests start from.
        const QString store = UserPasswordStore().location();
        if (store.contains(QLatin1String("qttest")))
            QFile::remove(store);
    }

    // Access levels

    void accessLevels_data()
    {
        QTest::addColumn<QList<int>>("entries"); // typed in the password window one after the other
        QTest::addColumn<bool>("factory");
        QTest::addColumn<bool>("config");

        QTest::newRow("factory code") << QList<int>{52806} << true << true;
        QTest::newRow("wrong number after the factory code") << QList<int>{52806, 7} << false << false;
        QTest::newRow("0 with no stored password") << QList<int>{0} << false << true;
        QTest::newRow("window left untouched") << QList<int>{kNoEntry} << false << false;
        QTest::newRow("Kilépés after the factory code") << QList<int>{52806, kKilepes} << false << false;
        QTest::newRow("Kilépés after 0") << QList<int>{0, kKilepes} << false << false;
        QTest::newRow("0 after the factory code") << QList<int>{52806, 0} << false << true;
        QTest::newRow("factory code after a wrong number") << QList<int>{5, 52806} << true << true;
    }

    void accessLevels()
    {
        QFETCH(QList<int>, entries);
        QFETCH(bool, factory);
        QFETCH(bool, config);

        TForm1 f(unpaced());
        QCOMPARE(f.configPage().userPassword(), 0);
        int typed = kNoEntry;
        int shownDialogs = 0;
        f.prompts().runDialog = [&](QDialog& d) {
            if (&d == &f.passwordForm()) {
                ++shownDialogs;
                f.passwordForm().setEntered(typed);
            }
            return true;
        };
        auto* passwButton = f.findChild<QPushButton*>(QStringLiteral("Passwbutton"));
        QVERIFY(passwButton);
        int expectedDialogs = 0;
        // The start page only watches: while it stays active, the polls of the start stay.
        const Flags atStart = flagsOf(f);
        for (int entry : entries) {
            if (entry == kKilepes) {
                f.PasswbuttonClick(nullptr);
            } else {
                typed = entry;
                f.PasswbuttonClick(passwButton);
                ++expectedDialogs;
            }
        }
        // "Kilépés" never asks.
        QCOMPARE(shownDialogs, expectedDialogs);

        for (int i = 0; i < kMainPageCount; ++i) {
            const MainPage& p = mainPages()[std::size_t(i)];
            const bool expected = p.access == Access::Everyone || (p.access == Access::Factory && factory) ||
                                  (p.access == Access::UserOrAbove && config);
            QVERIFY2(tabs(f)->isTabVisible(i) == expected, p.objectName);
        }
        for (const QString& name : kFactoryControls) {
            auto* w = f.findChild<QWidget*>(name);
            QVERIFY2(w, qPrintable(name));
            QVERIFY2(w->isHidden() == !factory, qPrintable(name));
        }
        QVERIFY(tabs(f)->isTabVisible(tabs(f)->currentIndex()));
        if (config)
            QCOMPARE(currentPage(f), QStringLiteral("TabSheet_Config"));
        checkPolls(f, atStart);

        // Every page the level opens polls its own commands once chosen.
        for (int i = 0; i < kMainPageCount; ++i) {
            const MainPage& p = mainPages()[std::size_t(i)];
            if (p.polls.keepsPrevious)
                continue;
            QCOMPARE(f.activatePage(QLatin1String(p.objectName)), tabs(f)->isTabVisible(i));
            if (tabs(f)->isTabVisible(i)) {
                QCOMPARE(currentPage(f), QLatin1String(p.objectName));
                checkPolls(f, atStart);
            }
        }
    }

    // Write safety

    void writeButtonsWaitForRecords_data()
    {
        QTest::addColumn<bool>("ram2");
        QTest::addColumn<bool>("ram3");
        QTest::newRow("no record") << false << false;
        QTest::newRow("RAM2 only") << true << false;
        QTest::newRow("RAM3 only") << false << true;
        QTest::newRow("both records") << true << true;
    }

    void writeButtonsWaitForRecords()
    {
        QFETCH(bool, ram2);
        QFETCH(bool, ram3);
        TForm1 f(unpaced());
        if (ram2)
            feed(f, test::makeFrame(Read_RAM2, bytesOf(VirtualMeter::installedRam2())));
        if (ram3)
            feed(f, test::makeFrame(Read_RAM3, bytesOf(VirtualMeter::factoryRam3(21001234, 21, 6))));
        const bool writable = ram2 && ram3;
        for (const char* name : {"Button1", "Wr_velmar_cal"}) {
            auto* b = f.findChild<QPushButton*>(QLatin1String(name));
            QVERIFY2(b, name);
            QVERIFY2(b->isEnabled() == writable, name);
            QVERIFY2(b->toolTip().isEmpty() == writable, name);
        }
        // An edit that a refused write must not pack.
        QVERIFY(edit(f, QStringLiteral("MB1Address"), 99));
        const DeviceMemory before = f.memory();
        f.model().WriteRamClick();
        QCOMPARE(f.engine().flag(Write_RAM2), writable);
        QCOMPARE(f.engine().flag(Write_RAM3), writable);
        if (writable)
            QCOMPARE(get(f.memory().ram2, ram2::MB01Addr), std::uint8_t(99));
        else
            QVERIFY(f.memory().ram2 == before.ram2);
        QVERIFY(f.memory().ram3 == before.ram3 || writable);

        // No RAM1 record was read in any row: the energy clear stays refused.
        auto* clear = f.findChild<QPushButton*>(QStringLiteral("ClearEnergybutton"));
        QVERIFY(clear && !clear->isEnabled() && !clear->toolTip().isEmpty());
        f.model().clearEnergy();
        QVERIFY(!f.engine().flag(Write_RAM1));
        QVERIFY(f.memory().ram1 == before.ram1);
    }

    void writeButtonsEnabledByStartUpReads()
    {
        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        auto* write = f.findChild<QPushButton*>(QStringLiteral("Button1"));
        auto* factoryWrite = f.findChild<QPushButton*>(QStringLiteral("Wr_velmar_cal"));
        QVERIFY(!write->isEnabled() && !factoryWrite->isEnabled());
        f.openPortByName(QStringLiteral("DEMO"));
        QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable() && configQuiet(f), 10000);
        QVERIFY(write->isEnabled() && write->toolTip().isEmpty());
        QVERIFY(factoryWrite->isEnabled() && factoryWrite->toolTip().isEmpty());
        QVERIFY(r.errors.isEmpty());
    }

    void energyClearZeroesTheCounters()
    {
        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        QString log;
        connect(&f.link(), &LinkDriver::monitorText, this, [&](const QString& t) { log += t; });
        auto* clear = f.findChild<QPushButton*>(QStringLiteral("ClearEnergybutton"));
        f.openPortByName(QStringLiteral("DEMO"));
        QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable(), 10000);
        QVERIFY(!clear->isEnabled());
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
        QTRY_VERIFY_WITH_TIMEOUT(f.model().ram1Held(), 10000);
        QVERIFY(clear->isEnabled() && clear->toolTip().isEmpty());

        // The meter's record as last read, every byte telling where it stands; no event runs until
        // the check. The clear is built on it (not on an image another meter may have filled).
        Ram1Image& read = testMeterMemory(f.model()).ram1;
        for (std::size_t i = 0; i < ram1::kSize; ++i)
            read.data()[i] = std::uint8_t(i % 251 + 1);
        const Ram1Image before = read;
        const Ram1Image& ram1 = f.memory().ram1;
        f.model().clearEnergy();
        QVERIFY(f.engine().flag(Write_RAM1));
        for (std::size_t i = 0; i < ram1::kSize; ++i) {
            const std::uint8_t expected = (i >= 2 && i <= 177) ? 0 : before.data()[i];
            QVERIFY2(ram1.data()[i] == expected, qPrintable(QStringLiteral("byte %1").arg(i)));
        }
        const Ram1Image cleared = ram1;

        // Counters read while the write waits do not undo the clear: the whole cleared image goes out.
        QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Write_RAM1), 10000);
        QCOMPARE(lastRequestPayload(log, Write_RAM1), rawOf(cleared));
        QVERIFY(r.errors.isEmpty());
    }

    // Writing and reading back

    // Two writes, then "Restore": the list shows a backup before each write, the newest first
    // with what differs from the meter now; the one chosen goes back into the meter and is
    // verified; the journal lists every write. A damaged backup cannot be restored.
    void restoreWritesABackupBack()
    {
        QTemporaryDir history; // other tests write into the user's data folder meanwhile
        TForm1::Options options = unpaced();
        options.historyRoot = history.path();
        TForm1 f(options);
        Recorder r;
        r.attach(f);
        f.openPortByName(QStringLiteral("DEMO"));
        QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable() && configQuiet(f), 10000);
        const VirtualMeter* meter = demoMeter(f);
        QVERIFY(meter);
        const auto address = [&] { return int(get(meter->ram2(), ram2::MB01Addr)); };
        const int original = address();
        QStringList outcomes;
        connect(&f.model(), &DeviceModel::writeFinished, this,
                [&](const JournalEntry& e) { outcomes << QLatin1String(memoryRecordName(e.record)); });
        for (int value : {33, 44}) {
            QVERIFY(edit(f, QStringLiteral("MB1Address"), value));
            QVERIFY(f.model().WriteRamClick());
            QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f) && outcomes.size() % 2 == 0 && address() == value, 10000);
        }
        QCOMPARE(outcomes.size(), 4);

        int listed = 0;
        QString diffRow;
        f.prompts().runDialog = [&](QDialog& d) {
            auto* dialog = qobject_cast<RestoreDialog*>(&d);
            if (!dialog)
                return false;
            auto* list = d.findChild<QTableWidget*>(QStringLiteral("RestoreList"));
            auto* diff = d.findChild<QTableWidget*>(QStringLiteral("RestoreDiff"));
            listed = list->rowCount();
            // The newest backup, taken before the second write, holds 33; the meter holds 44.
            list->setCurrentCell(0, 0);
            for (int row = 0; row < diff->rowCount(); ++row)
                diffRow += diff->item(row, 0)->text() + QLatin1Char(' ') + diff->item(row, 1)->text() +
                           QLatin1Char(' ') + diff->item(row, 2)->text() + QLatin1Char(';');
            QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("RestoreWrite")), Qt::LeftButton);
            return d.result() == QDialog::Accepted;
        };
        f.evaluatePassword(52806);
        f.findChild<QPushButton*>(QStringLiteral("RestoreButton"))->click();
        QCOMPARE(listed, 4); // RAM2 and RAM3 before each of the two writes
        QVERIFY2(diffRow.contains(QStringLiteral("RAM2 MB01Addr 44 33;")), qPrintable(diffRow));
        QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f) && address() == 33, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 6, 10000); // without a review both records go
        QCOMPARE(shown(f, QStringLiteral("MB1Address")).toInt(), 33);
        const std::vector<JournalLine> journal =
            f.safeWrites().history().readJournal(meter->config().factoryNumber);
        QCOMPARE(int(journal.size()), 6);
        for (const JournalLine& line : journal)
            QVERIFY2(line.outcome == WriteOutcome::Verified, qPrintable(line.text));
        QVERIFY(std::any_of(journal.end() - 2, journal.end(), [](const JournalLine& l) {
            return l.changes.contains(QStringLiteral("MB01Addr 44 -> 33"));
        }));
        QVERIFY(original != 33 && original != 44);

        // A backup damaged on disk is listed as such and cannot be chosen.
        const QString folder = f.safeWrites().history().meterFolder(meter->config().factoryNumber);
        const QStringList raw = QDir(folder).entryList({QStringLiteral("*.ram2")}, QDir::Files, QDir::Name);
        QVERIFY(!raw.isEmpty());
        QVERIFY(writeFile(folder + QLatin1Char('/') + raw.last(), QByteArray(10, 'x')));
        bool restorable = true;
        QString state;
        f.prompts().runDialog = [&](QDialog& d) {
            auto* list = d.findChild<QTableWidget*>(QStringLiteral("RestoreList"));
            for (int row = 0; row < list->rowCount(); ++row)
                if (!list->item(row, 4)->text().isEmpty()) {
                    list->setCurrentCell(row, 0);
                    state = list->item(row, 4)->text();
                    restorable = d.findChild<QPushButton*>(QStringLiteral("RestoreWrite"))->isEnabled();
                }
            return false;
        };
        f.findChild<QPushButton*>(QStringLiteral("RestoreButton"))->click();
        QVERIFY2(!state.isEmpty() && !restorable, qPrintable(state));
        QVERIFY(r.errors.isEmpty());
    }

    void writeRoundTrip_data()
    {
        QTest::addColumn<QStringList>("controls");
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<int>("offset");          // where one of the edits lands in the record
        QTest::addColumn<QByteArray>("expected"); // its bytes there

        auto f32 = [](float v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
        QTest::newRow("Modbus address")
            << QStringList{"MB1Address"} << QVariantList{33} << 297 << QByteArray("\x21", 1);
        QTest::newRow("noise threshold") << QStringList{"Zajzar"} << QVariantList{7} << 38 << f32(0.07f);
        QTest::newRow("output 1 on F2 with its assign box")
            << QStringList{"D1functionbox", "D1F2Assignbox"} << QVariantList{2, 1} << 288
            << QByteArray("\x01", 1);
        QTest::newRow("output 2 switched off")
            << QStringList{"D2functionbox"} << QVariantList{0} << 280 << QByteArray("\x01\x00", 2);
        QTest::newRow("harmonics of L2 I and L3 U off")
            << QStringList{"HarmL2I", "HarmL3U"} << QVariantList{false, false} << 311
            << QByteArray("\x2B", 1);
        QTest::newRow("arrangement") << QStringList{"Elrendezesbox"} << QVariantList{5} << 176
                                     << QByteArray("\x05\x00", 2);
    }

    void writeRoundTrip()
    {
        QFETCH(QStringList, controls);
        QFETCH(QVariantList, values);
        QFETCH(int, offset);
        QFETCH(QByteArray, expected);

        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        QString log;
        connect(&f.link(), &LinkDriver::monitorText, this, [&](const QString& t) { log += t; });
        f.openPortByName(QStringLiteral("DEMO"));
        QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable() && configQuiet(f), 10000);
        const VirtualMeter* meter = demoMeter(f);
        QVERIFY(meter);
        const Ram2Image read = f.memory().ram2;
        QVERIFY(read == meter->ram2());

        for (int i = 0; i < controls.size(); ++i)
            QVERIFY2(edit(f, controls[i], values[i]), qPrintable(controls[i]));
        f.model().WriteRamClick();
        const Ram2Image packed = f.memory().ram2;
        const Ram3Image packed3 = f.memory().ram3;
        QVERIFY(f.engine().flag(Write_RAM2) && f.engine().flag(Write_RAM3));
        QVERIFY(packed != read); // the edit was packed
        if (!expected.isEmpty())
            QCOMPARE(rawOf(packed).mid(offset, expected.size()), expected);

        QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f), 10000);
        QCOMPARE(lastRequestPayload(log, Write_RAM2), rawOf(packed));
        QCOMPARE(lastRequestPayload(log, Write_RAM3), rawOf(packed3));
        QCOMPARE(rawOf(meter->ram2()), rawOf(packed));
        QCOMPARE(rawOf(f.memory().ram2), rawOf(packed)); // the read-back
        QCOMPARE(rawOf(f.memory().ram3), rawOf(packed3));
        for (int i = 0; i < controls.size(); ++i)
            QCOMPARE(shown(f, controls[i]), values[i]);
        // The editors show the whole record: packing them again changes no byte.
        Ram2Image again = f.memory().ram2;
        f.configPage().Ram2refresh(again);
        QCOMPARE(rawOf(again), rawOf(packed));
        QVERIFY(r.errors.isEmpty());
    }

    void readsBeforeAPendingWriteKeepTheEdits_data()
    {
        QTest::addColumn<QString>("page"); // opened right after the write button; empty: "Beolvasás"
        QTest::newRow("factory settings page") << "TabSheet_FactorySettings";
        QTest::newRow("calibration page") << "TabSheet_Calib";
        QTest::newRow("measurement page") << "TabSheet_Meres";
        QTest::newRow("configuration page again") << "TabSheet_Config";
        QTest::newRow("read button") << "";
    }

    void readsBeforeAPendingWriteKeepTheEdits()
    {
        QFETCH(QString, page);
        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        QString log;
        connect(&f.link(), &LinkDriver::monitorText, this, [&](const QString& t) { log += t; });
        f.openPortByName(QStringLiteral("DEMO"));
        f.evaluatePassword(kFactoryAccessCode);
        QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable() && configQuiet(f), 10000);
        const VirtualMeter* meter = demoMeter(f);
        QVERIFY(meter);
        QCOMPARE(int(get(meter->ram2(), ram2::MB01Addr)), 17);

        // Nothing is sent between the write button and the page change: no event runs.
        QVERIFY(edit(f, QStringLiteral("MB1Address"), 42));
        QVERIFY(edit(f, QStringLiteral("Zajzar"), 9));
        f.model().WriteRamClick();
        const Ram2Image packed = f.memory().ram2;
        log.clear();
        if (page.isEmpty())
            f.model().ReadRamClick();
        else
            QVERIFY(f.activatePage(page));
        QVERIFY(f.engine().flag(Read_RAM2) && f.engine().flag(Read_RAM3));
        QVERIFY(f.engine().flag(Write_RAM2) && f.engine().flag(Write_RAM3));

        QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f), 10000);
        // The reads went out first; their answers did not replace what was packed.
        const qsizetype read2 = log.indexOf(QStringLiteral("Command: \r\n06 02 00"));
        const qsizetype write2 = log.indexOf(QStringLiteral("Command: \r\n07 3C 01"));
        QVERIFY(read2 >= 0 && write2 > read2);
        QCOMPARE(lastRequestPayload(log, Write_RAM2), rawOf(packed));
        QCOMPARE(int(get(meter->ram2(), ram2::MB01Addr)), 42);
        QCOMPARE(rawOf(meter->ram2()), rawOf(packed));
        QCOMPARE(rawOf(f.memory().ram2), rawOf(packed));
        QCOMPARE(shown(f, QStringLiteral("MB1Address")).toInt(), 42);
        QCOMPARE(shown(f, QStringLiteral("Zajzar")).toInt(), 9);
        QVERIFY(r.errors.isEmpty());
    }

    // Short answers

    void shortRam2AnswerKeepsImageAndEditors_data()
    {
        QTest::addColumn<int>("payload");
        QTest::addColumn<bool>("decoded");
        QTest::newRow("no payload") << 0 << false;
        QTest::newRow("1 byte") << 1 << false;
        QTest::newRow("297 bytes: up to the Modbus address") << 297 << false;
        QTest::newRow("313 of 314") << 313 << false;
        QTest::newRow("whole record") << 314 << true;
        QTest::newRow("longer than the record") << 320 << true;
    }

    void shortRam2AnswerKeepsImageAndEditors()
    {
        QFETCH(int, payload);
        QFETCH(bool, decoded);
        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        holdInstalledRecords(f);
        QVERIFY(f.model().configWritable());
        f.model().ReadRamClick();
        const DeviceMemory before = f.memory();
        const QStringList editors = editorState(f);
        // An earlier, longer frame left its bytes behind the short one.
        f.engine().state().Rxbuff.fill(0x42);

        // Another valid configuration, so a decoded answer shows up in image and editors alike.
        Ram2Image other = VirtualMeter::factoryRam2();
        set(other, ram2::MB01Addr, std::uint8_t(201));
        test::Bytes bytes = bytesOf(other);
        bytes.resize(std::size_t(payload), 0x17);
        feed(f, test::makeFrame(Read_RAM2, bytes));
        QCoreApplication::processEvents();

        QCOMPARE(f.engine().flag(Read_RAM2), !decoded);
        QVERIFY(f.engine().flag(Read_RAM3));
        QVERIFY(f.memory().ram3 == before.ram3);
        if (decoded) {
            QCOMPARE(rawOf(f.memory().ram2), rawOf(other));
            QCOMPARE(shown(f, QStringLiteral("MB1Address")).toInt(), 201);
        } else {
            QCOMPARE(rawOf(f.memory().ram2), rawOf(before.ram2));
            QCOMPARE(editorState(f), editors);
        }
        QVERIFY(r.errors.isEmpty());
    }

    // The settings file

    void settingsFileRoundTrip_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QByteArray>("zajzarLine"); // as the file holds it
        QTest::newRow("decimal point") << QLocale::c() << QByteArray("Zajz\xe1r=0.0199999995529652\n");
        QTest::newRow("Hungarian decimal comma")
            << QLocale(QLocale::Hungarian, QLocale::Hungary) << QByteArray("Zajz\xe1r=0,0199999995529652\n");
    }

    void settingsFileRoundTrip()
    {
        QFETCH(QLocale, locale);
        QFETCH(QByteArray, zajzarLine);
        const QLocale previousLocale;
        QLocale::setDefault(locale);
        const auto restoreLocale = qScopeGuard([&] { QLocale::setDefault(previousLocale); });
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(dir.path());
        holdInstalledRecords(f);
        const Ram2Image saved2 = f.memory().ram2;
        const Ram3Image saved3 = f.memory().ram3;
        const QString section = f.factoryPage().factoryNumberText();
        QCOMPARE(section, QString::number(get(saved3, ram3::Gyartasiszam)));

        f.factoryPage().SaveSettingsButtonClick();
        QCOMPARE(r.fileErrors, QStringList());
        QCOMPARE(f.configFiles().settingsFile(), QDir(dir.path()).filePath(QStringLiteral("settings.ini")));
        QVERIFY(QFileInfo(f.configFiles().settingsFile()).isFile());
        QCOMPARE(settingsSections(f.configFiles().settingsFile()), QStringList{section});
        {
            QFile file(f.configFiles().settingsFile());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll().replace("\r\n", "\n");
            QVERIFY2(text.contains(zajzarLine), text.constData());
        }

        // Other values in both images, shown by the editors.
        Ram2Image& ram2 = testMemory(f.model()).ram2;
        Ram3Image& ram3 = testMemory(f.model()).ram3;
        set(ram2, ram2::MB01Addr, std::uint8_t(99));
        set(ram2, ram2::Zajzar, 0.33f);
        set(ram2, ram2::HarmEnabled, std::uint8_t(0x3F));
        set(ram2, ram2::Ratio, 1, 40.0f);
        set(ram3, ram3::Calrms, 0, 12.5f);
        set(ram3, ram3::RMSCoeff, 2, 0.5f);
        set(ram3, ram3::GyartasiHo, std::uint8_t(11));
        f.configPage().Display_RAM2(ram2);
        f.factoryPage().Display_RAM3(ram3);
        QCOMPARE(shown(f, QStringLiteral("MB1Address")).toInt(), 99);
        QVERIFY(ram2 != saved2 && ram3 != saved3);

        QStringList offered;
        f.prompts().runDialog = [&](QDialog& d) {
            if (&d != &f.sectionForm())
                return false;
            offered << f.sectionForm().selectedSection();
            return true;
        };
        f.factoryPage().ReadSettingsButtonClick();
        QCOMPARE(r.fileErrors, QStringList());
        QCOMPARE(offered, QStringList{section});
        QCOMPARE(rawOf(f.memory().ram2), rawOf(saved2));
        QCOMPARE(rawOf(f.memory().ram3), rawOf(saved3));
        QVERIFY(f.model().requests().SettingsLoaded);
        // Both editors show what was loaded: packing them changes no byte.
        QCOMPARE(shown(f, QStringLiteral("MB1Address")).toInt(), int(get(saved2, ram2::MB01Addr)));
        Ram2Image packed2 = f.memory().ram2;
        Ram3Image packed3 = f.memory().ram3;
        f.configPage().Ram2refresh(packed2);
        f.factoryPage().Ram3refresh(packed3);
        QCOMPARE(rawOf(packed2), rawOf(saved2));
        QCOMPARE(rawOf(packed3), rawOf(saved3));

        // Neither a page change nor a state answer on the factory page reads the meter's records
        // over the loaded ones.
        QVERIFY(!f.engine().flag(Read_RAM2) && !f.engine().flag(Read_RAM3));
        f.evaluatePassword(kFactoryAccessCode);
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_FactorySettings")));
        feed(f, test::makeFrame(Read_State, test::Bytes(16, 0)));
        QVERIFY(!f.engine().flag(Read_RAM2) && !f.engine().flag(Read_RAM3));

        f.model().ReadRamClick();
        QVERIFY(!f.model().requests().SettingsLoaded);
        QVERIFY(f.engine().flag(Read_RAM2) && f.engine().flag(Read_RAM3));
        QVERIFY(r.errors.isEmpty());
    }

    void pendingReadsDoNotReplaceLoadedSettings_data()
    {
        QTest::addColumn<QString>("before"); // what left the reads pending when the file was loaded
        QTest::newRow("start-up reads of a window with no port yet") << "start-up";
        QTest::newRow("read button with the port closed") << "read button";
        QTest::newRow("page change with the port closed") << "page change";
    }

    void pendingReadsDoNotReplaceLoadedSettings()
    {
        QFETCH(QString, before);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A settings section that differs from what the meter holds.
        Ram2Image loaded2;
        Ram3Image loaded3;
        QString section;
        {
            TForm1 g(unpaced());
            g.configFiles().setSettingsDir(dir.path());
            Recorder r;
            r.attach(g);
            holdInstalledRecords(g);
            set(testMemory(g.model()).ram2, ram2::MB01Addr, std::uint8_t(123));
            set(testMemory(g.model()).ram2, ram2::Elrendezes, std::uint16_t(3));
            set(testMemory(g.model()).ram3, ram3::Calrms, 1, 2.5f);
            g.factoryPage().SaveSettingsButtonClick();
            QCOMPARE(r.fileErrors, QStringList());
            loaded2 = g.memory().ram2;
            loaded3 = g.memory().ram3;
            section = g.factoryPage().factoryNumberText();
        }

        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(dir.path());
        f.evaluatePassword(kFactoryAccessCode);
        if (before != QLatin1String("start-up")) {
            holdInstalledRecords(f);
            QVERIFY(!f.engine().flag(Read_RAM2) && !f.engine().flag(Read_RAM3));
            if (before == QLatin1String("read button"))
                f.model().ReadRamClick();
            else
                QVERIFY(f.activatePage(QStringLiteral("TabSheet_FactorySettings")));
        }
        QVERIFY(f.engine().flag(Read_RAM2) && f.engine().flag(Read_RAM3));
        f.prompts().runDialog = [&](QDialog& d) {
            return &d == &f.sectionForm() && f.sectionForm().selectedSection() == section;
        };
        f.factoryPage().ReadSettingsButtonClick();
        QCOMPARE(r.fileErrors, QStringList());
        QVERIFY(f.model().requests().SettingsLoaded);
        QCOMPARE(int(get(f.memory().ram2, ram2::MB01Addr)), 123);
        QCOMPARE(get(f.memory().ram3, ram3::Calrms, 1), 2.5f);
        // Only the bytes the file does not hold can differ from the saved records.
        const Ram2Image expected2 = f.memory().ram2;
        const Ram3Image expected3 = f.memory().ram3;
        if (before != QLatin1String("start-up")) {
            QCOMPARE(rawOf(expected2), rawOf(loaded2));
            QCOMPARE(rawOf(expected3), rawOf(loaded3));
        }

        // The meter answers whatever is still asked for; the loaded records stay.
        f.openPortByName(QStringLiteral("DEMO"));
        f.engine().setFlag(Read_Version, true); // its slot comes after both configuration reads
        QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Read_Version), 10000);
        QVERIFY(f.model().configWritable());
        QCOMPARE(rawOf(f.memory().ram2), rawOf(expected2));
        QCOMPARE(rawOf(f.memory().ram3), rawOf(expected3));
        QCOMPARE(shown(f, QStringLiteral("MB1Address")).toInt(), 123);

        // Written, the loaded records reach the meter.
        f.model().WriteRamClick();
        QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f), 10000);
        QCOMPARE(int(get(demoMeter(f)->ram2(), ram2::MB01Addr)), 123);
        QCOMPARE(get(demoMeter(f)->ram3(), ram3::Calrms, 1), 2.5f);
        QVERIFY(r.errors.isEmpty());
    }

    void settingsFileRefused_data()
    {
        QTest::addColumn<QString>("kind"); // "file", "folder", "none"
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QStringList>("fileErrors");
        QTest::addColumn<int>("dialogs");

        const QStringList open{QStringLiteral("Open error")};
        QTest::newRow("no settings file") << "none" << QByteArray() << true << open << 0;
        QTest::newRow("empty file") << "file" << QByteArray() << true << open << 0;
        QTest::newRow("keys without a section")
            << "file" << QByteArray("; saved by hand\nMB01Addr=5\n") << true << open << 0;
        QTest::newRow("settings.ini is a folder") << "folder" << QByteArray() << true << open << 0;
        QTest::newRow("section window cancelled")
            << "file" << QByteArray("[21001234]\nMB01Addr=5\nZajz\xe1r=0,9\n") << false << QStringList() << 1;
    }

    void settingsFileRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, contents);
        QFETCH(bool, accept);
        QFETCH(QStringList, fileErrors);
        QFETCH(int, dialogs);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(dir.path());
        holdInstalledRecords(f);
        if (kind == QLatin1String("file"))
            QVERIFY(writeFile(f.configFiles().settingsFile(), contents));
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(f.configFiles().settingsFile()));
        f.prompts().runDialog = [&](QDialog&) {
            ++r.dialogs;
            return accept;
        };
        const DeviceMemory before = f.memory();
        const QStringList editors = editorState(f);
        f.factoryPage().ReadSettingsButtonClick();
        QCOMPARE(r.fileErrors, fileErrors);
        QCOMPARE(r.dialogs, dialogs);
        QVERIFY(f.memory().ram2 == before.ram2);
        QVERIFY(f.memory().ram3 == before.ram3);
        QCOMPARE(editorState(f), editors);
        QVERIFY(!f.model().requests().SettingsLoaded);
        QVERIFY(r.errors.isEmpty());
    }

    void settingsSaveRefused_data()
    {
        QTest::addColumn<bool>("records");
        QTest::addColumn<QString>("subdir"); // the settings folder under the temporary one
        QTest::newRow("settings folder missing") << true << "no/such/folder";
        QTest::newRow("no record held yet") << false << "";
    }

    void settingsSaveRefused()
    {
        QFETCH(bool, records);
        QFETCH(QString, subdir);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(subdir.isEmpty() ? dir.path() : QDir(dir.path()).filePath(subdir));
        if (records)
            holdInstalledRecords(f);
        f.factoryPage().SaveSettingsButtonClick();
        QCOMPARE(r.fileErrors, QStringList{QStringLiteral("Save error")});
        QVERIFY(!QFileInfo::exists(f.configFiles().settingsFile()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
    }

    // The record file

    void recordFileSave()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(dir.path());
        holdInstalledRecords(f);
        const QString path = QDir(dir.path()).filePath(QStringLiteral("meter.user"));
        QList<FileRequest> requests;
        QString answer;
        f.prompts().chooseFile = [&](const FileRequest& q) {
            requests << q;
            return answer;
        };

        // Cancelled: the controls are packed all the same, and no file appears.
        QVERIFY(edit(f, QStringLiteral("MB1Address"), 55));
        f.configFiles().ButtonSaveRecordClick();
        QCOMPARE(requests.size(), 1);
        QVERIFY(requests[0].save);
        QCOMPARE(requests[0].folder, dir.path());
        QCOMPARE(requests[0].defaultSuffix, QStringLiteral("user"));
        QCOMPARE(int(get(f.memory().ram2, ram2::MB01Addr)), 55);
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        QCOMPARE(r.fileErrors, QStringList());

        QVERIFY(edit(f, QStringLiteral("MB1Address"), 66));
        answer = path;
        f.configFiles().ButtonSaveRecordClick();
        QCOMPARE(r.fileErrors, QStringList());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QCOMPARE(written.size(), 314);
        QCOMPARE(written, rawOf(f.memory().ram2));
        QCOMPARE(int(quint8(written[297])), 66);

        // Into a folder that does not exist.
        answer = QDir(dir.path()).filePath(QStringLiteral("missing/meter.user"));
        f.configFiles().ButtonSaveRecordClick();
        QCOMPARE(r.fileErrors, QStringList{QStringLiteral("Save error")});
    }

    void recordFileRead_data()
    {
        QTest::addColumn<QString>("kind"); // "file", "missing", "cancel"
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QStringList>("fileErrors");

        const QStringList open{QStringLiteral("Open error")};
        QTest::newRow("313 bytes") << "file" << 313 << false << open;
        QTest::newRow("empty file") << "file" << 0 << false << open;
        QTest::newRow("314 bytes") << "file" << 314 << true << QStringList();
        QTest::newRow("400 bytes: the first 314 count") << "file" << 400 << true << QStringList();
        QTest::newRow("missing file") << "missing" << 0 << false << open;
        QTest::newRow("cancelled") << "cancel" << 0 << false << QStringList();
    }

    void recordFileRead()
    {
        QFETCH(QString, kind);
        QFETCH(int, size);
        QFETCH(bool, loaded);
        QFETCH(QStringList, fileErrors);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TForm1 f(unpaced());
        Recorder r;
        r.attach(f);
        f.configFiles().setSettingsDir(dir.path());
        holdInstalledRecords(f);

        // Another valid record, then bytes that are not part of one.
        Ram2Image other = VirtualMeter::installedRam2();
        set(other, ram2::MB01Addr, std::uint8_t(77));
        set(other, ram2::Elrendezes, std::uint16_t(2));
        QByteArray contents = rawOf(other);
        contents.resize(size, '\xEE');
        const QString path = QDir(dir.path()).filePath(QStringLiteral("other.user"));
        if (kind == QLatin1String("file"))
            QVERIFY(writeFile(path, contents));
        int asked = 0;
        f.prompts().chooseFile = [&](const FileRequest& q) {
            ++asked;
            return q.save || kind == QLatin1String("cancel") ? QString() : path;
        };

        const DeviceMemory before = f.memory();
        const QStringList editors = editorState(f);
        f.configFiles().ButtonReadRecordClick();
        QCOMPARE(asked, 1);
        QCOMPARE(r.fileErrors, fileErrors);
        QVERIFY(f.memory().ram3 == before.ram3);
        QVERIFY(!f.model().requests().SettingsLoaded);
        if (loaded) {
            QCOMPARE(rawOf(f.memory().ram2), rawOf(other));
            QCOMPARE(shown(f, QStringLiteral("MB1Address")).toInt(), 77);
            QCOMPARE(shown(f, QStringLiteral("Elrendezesbox")).toInt(), 2);
            Ram2Image packed = f.memory().ram2;
            f.configPage().Ram2refresh(packed);
            QCOMPARE(rawOf(packed), rawOf(other));
        } else {
            QCOMPARE(rawOf(f.memory().ram2), rawOf(before.ram2));
            QCOMPARE(editorState(f), editors);
        }
        QVERIFY(r.errors.isEmpty());
    }

    // End to end

    void writeOverPseudoTerminal()
    {
        QProcess sim;
        const QString path = startMeter(sim, {QStringLiteral("--installed"), QStringLiteral("--no-pacing")});
        QVERIFY2(path.startsWith(QStringLiteral("/dev/")), qPrintable(path));
        {
            TForm1 f;
            Recorder r;
            r.attach(f);
            QString log;
            connect(&f.link(), &LinkDriver::monitorText, this, [&](const QString& t) { log += t; });
            f.openPortByName(path);
            QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join('\n')));
            QTRY_VERIFY_WITH_TIMEOUT(f.model().configWritable() && configQuiet(f), 10000);
            QCOMPARE(rawOf(f.memory().ram2), rawOf(VirtualMeter::installedRam2()));
            const bool harm = shown(f, QStringLiteral("HarmL2I")).toBool();

            QVERIFY(edit(f, QStringLiteral("MB1Address"), 33));
            QVERIFY(edit(f, QStringLiteral("Zajzar"), 4));
            QVERIFY(edit(f, QStringLiteral("HarmL2I"), !harm));
            f.model().WriteRamClick();
            const Ram2Image packed = f.memory().ram2;
            const Ram3Image packed3 = f.memory().ram3;
            QCOMPARE(int(get(packed, ram2::MB01Addr)), 33);
            QCOMPARE(get(packed, ram2::Zajzar), 0.04f);
            QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f), 10000);
            QCOMPARE(lastRequestPayload(log, Write_RAM2), rawOf(packed));
            QCOMPARE(rawOf(f.memory().ram2), rawOf(packed));

            // A fresh read shows what the meter now holds.
            const qsizetype reads = log.count(QStringLiteral("Command: \r\n06 02 00"));
            f.model().ReadRamClick();
            QTRY_VERIFY_WITH_TIMEOUT(configQuiet(f), 10000);
            QVERIFY(log.count(QStringLiteral("Command: \r\n06 02 00")) > reads);
            QCOMPARE(rawOf(f.memory().ram2), rawOf(packed));
            QCOMPARE(rawOf(f.memory().ram3), rawOf(packed3));
            QCOMPARE(shown(f, QStringLiteral("MB1Address")).toInt(), 33);
            QCOMPARE(shown(f, QStringLiteral("Zajzar")).toInt(), 4);
            QCOMPARE(shown(f, QStringLiteral("HarmL2I")).toBool(), !harm);
            QVERIFY(!log.contains(QStringLiteral("CRC NOTOK")));
            QVERIFY(r.errors.isEmpty());
        }
        stopMeter(sim);
    }
};

QTEST_MAIN(TstConfigWindow)
#include "tst_config_window.moc"
