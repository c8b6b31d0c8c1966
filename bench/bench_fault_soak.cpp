// The whole window against the in-process meter on a bad line: answers dropped, broken, late, split
// and preceded by stray bytes, while a scripted user (seeded, so a run can be repeated) changes
// pages, edits and writes the configuration, presses the calibration buttons, tests the outputs,
// clears the energy counters, sends the service codes and saves and loads the settings.
//
//   bench_fault_soak [--seconds S] [--seed N] [--settle S] [--paced] [--verbose]
//
// Defaults: 75 s of user actions, seed 1, unpaced meter, at most 60 s to settle at the end with the
// faults switched off. Checked all along:
//   - every RAM2 / RAM3 write that goes out carries the image as the user last committed it (by
//     the write button, a calibration button or a settings load followed by a write);
//   - no write is flagged while its image holds no record;
//   - the monitor never holds 500 lines or more before a block is added.
// Checked whenever the one-shot requests have all been answered (checkpoints, and at the end):
//   - the meter's RAM2 and RAM3 equal, byte for byte, the last committed images (or the defaults
//     a service code restored after them);
//   - the window's images equal the meter's records (the read-back showed what the meter holds);
//   - the meter's output test byte, analog calibration code and test value are the window's last.
// Exit code 1 when any check failed or a one-shot request was still unanswered after the settle.

#include "app/TForm1.h"
#include "config/ConfigFiles.h"
#include "config/ConfigPage.h"
#include "config/FactoryPage.h"
#include "config/TSectionForm.h"
#include "link/CommPage.h"
#include "link/LinkDriver.h"
#include "meter/VirtualMeterPort.h"
#include "platform/NumericSpin.h"
#include "protocol/Commands.h"
#include "protocol/Frame.h"
#include "protocol/ServiceCodes.h"
#include "records/Records.h"
#include "service/CalibPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <random>

using namespace kvam;

namespace {

struct Options
{
    double seconds = 75;
    double settle = 60;
    unsigned seed = 1;
    bool paced = false;
    bool verbose = false;
};

std::optional<Options> parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--paced") == 0 || std::strcmp(a, "--verbose") == 0) {
            (a[2] == 'p' ? o.paced : o.verbose) = true;
            continue;
        }
        if (i + 1 >= argc)
            return std::nullopt;
        char* end = nullptr;
        const double x = std::strtod(argv[++i], &end);
        if (end == argv[i] || *end != '\0' || x < 0)
            return std::nullopt;
        if (std::strcmp(a, "--seconds") == 0)
            o.seconds = x;
        else if (std::strcmp(a, "--settle") == 0)
            o.settle = x;
        else if (std::strcmp(a, "--seed") == 0)
            o.seed = static_cast<unsigned>(x);
        else
            return std::nullopt;
    }
    if (o.seconds <= 0 || o.settle <= 0)
        return std::nullopt;
    return o;
}

/// The request flags that their answer clears, whatever the page.
constexpr int kOneShot[] = {Write_RAM1,   Read_RAM2,     Write_RAM2,   Read_RAM3,   Write_RAM3,
                            Write_Digout, Write_DAcalib, Write_DAtest, Read_Version};
/// Writes counted when their answer clears the flag.
constexpr int kWrites[] = {Write_RAM1, Write_RAM2, Write_RAM3, Write_Digout, Write_DAcalib, Write_DAtest};

const char* const kPages[] = {
    "TabSheet_Calib",     "TabSheet_FactorySettings", "TabSheet_Config", "TabSheet_Meres",
    "TabSheet_Harmonics", "TabSheet_Phasor",          "TabSheet_Errors", "TabSheet_Comm"};

/// The bytes of a "Command:" monitor block; empty for any other block.
QByteArray requestOf(const QString& block)
{
    static const QString head = QStringLiteral("Command: \r\n");
    if (!block.startsWith(head))
        return {};
    QByteArray out;
    for (const QString& t : block.mid(head.size()).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString hex = t.trimmed();
        if (hex.isEmpty())
            continue;
        bool ok = false;
        const uint b = hex.toUInt(&ok, 16);
        if (!ok || hex.size() != 2)
            break;
        out.append(char(b));
    }
    return out;
}

template <std::size_t N> bool payloadIs(const QByteArray& frame, const ByteImage<N>& image)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.constData());
    const std::optional<Frame> request = Frame::decode({bytes, std::size_t(frame.size())});
    return request && request->payload().size() == N &&
           std::memcmp(request->payload().data(), image.data(), N) == 0;
}

template <std::size_t N> int differingBytes(const ByteImage<N>& a, const ByteImage<N>& b)
{
    int n = 0;
    for (std::size_t i = 0; i < N; ++i)
        n += a[i] != b[i];
    return n;
}

double energySum(const Ram1Image& ram1)
{
    double s = 0;
    for (std::size_t i = 0; i < 4; ++i)
        s += std::fabs(get(ram1, ram1::EPplus, i)) + std::fabs(get(ram1, ram1::EPminus, i)) +
             std::fabs(get(ram1, ram1::EQplus, i)) + std::fabs(get(ram1, ram1::EQminus, i));
    return s;
}

class Soak
{
public:
    Soak(const Options& opt, TForm1& form) : m_opt(opt), f(form), m_rng(opt.seed) {}

    int run();

private:
    VirtualMeter& meter() { return dynamic_cast<VirtualMeterPort&>(*f.link().port()).meter(); }
    std::mt19937& rng() { return m_rng; }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_rng) < p; }
    double now() const { return double(m_clock.elapsed()) / 1000; }

    /// Runs the event loop for `ms`.
    static void pause(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    /// Runs the event loop until `done` holds or `seconds` have passed; returns `done()`.
    static bool waitFor(const std::function<bool()>& done, double seconds)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (double(t.elapsed()) / 1000 > seconds)
                return false;
            pause(10);
        }
        return true;
    }

    bool quiet() const
    {
        for (int k : kOneShot)
            if (f.engine().flag(k))
                return false;
        return f.model().requests().ServiceCode == 0;
    }

    void fail(const char* what, const QString& detail = {})
    {
        ++m_failures;
        if (m_failureLines < 40) {
            ++m_failureLines;
            std::printf("FAULT at %.1f s: %s%s%s\n", now(), what, detail.isEmpty() ? "" : ": ",
                        qPrintable(detail));
            std::fflush(stdout);
        }
    }

    void watch();
    void onMonitor(const QString& block);
    void onFlags();

    void commitImages()
    {
        m_committed2 = f.memory().ram2;
        m_committed3 = f.memory().ram3;
        m_expected2 = m_committed2;
        m_expected3 = m_committed3;
        m_imagesShowMeter = true;
    }

    // User actions.
    void changePage();
    void editAndWrite();
    void calibrate();
    void testOutputs();
    void analogTest();
    void clearEnergy();
    void service();
    void settingsRoundTrip();
    void readConfig();

    /// Compares the meter with what the window last sent; only meaningful while quiet().
    void verify(const char* when);

    Options m_opt;
    TForm1& f;
    std::mt19937 m_rng;
    QElapsedTimer m_clock;
    QTemporaryDir m_dir;

    Ram2Image m_committed2; // what the user last committed to be written
    Ram3Image m_committed3;
    Ram2Image m_expected2; // what the meter must hold once the writes are answered
    Ram3Image m_expected3;
    bool m_imagesShowMeter = true; // the window's images must equal the meter's once quiet
    std::array<bool, kCommandCount + 1> m_flags{};
    double m_lastClearAt = -1e9;

    int m_failures = 0;
    int m_failureLines = 0;
    int m_requests = 0;
    int m_frames = 0;
    int m_timeouts = 0;
    int m_badCrcFrames = 0;
    std::array<int, kCommandCount + 1> m_confirmed{};
    std::array<int, kCommandCount + 1> m_writeFrames{};
    int m_staleWrites = 0;
    int m_unheldWrites = 0;
    int m_monitorOverflows = 0;
    int m_maxMonitorLines = 0;
    int m_checkpoints = 0;
    int m_checkpointsMissed = 0;
    int m_mismatches = 0;
    int m_actions = 0;
    std::array<int, 9> m_actionCounts{};
    int m_errors = 0;
    int m_fileErrors = 0;
    int m_settingsRoundTripDiffs = 0;
};

void Soak::onMonitor(const QString& block)
{
    auto* memo = f.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    // The monitor appended this block after removing old lines: before it there were fewer than 500.
    const int lines = memo->document()->blockCount();
    m_maxMonitorLines = std::max(m_maxMonitorLines, lines);
    const int added = int(block.count(QStringLiteral("\r\n"))) + 1;
    if (lines - added >= 500 && ++m_monitorOverflows <= 3)
        fail("monitor held 500 lines before a block", QString::number(lines - added));

    if (block.startsWith(QLatin1String("Data received")))
        ++m_frames;
    if (block.contains(QLatin1String("CRC NOTOK")))
        ++m_badCrcFrames;
    if (block.startsWith(QLatin1String("Timeout")))
        ++m_timeouts;
    const QByteArray req = requestOf(block);
    if (req.isEmpty())
        return;
    ++m_requests;
    const int code = quint8(req[0]);
    if (code >= 1 && code <= kCommandCount)
        ++m_writeFrames[std::size_t(code)];
    if (code == Write_RAM2 && !payloadIs(req, m_committed2)) {
        ++m_staleWrites;
        fail("RAM2 write with an image other than the one committed");
    }
    if (code == Write_RAM3 && !payloadIs(req, m_committed3)) {
        ++m_staleWrites;
        fail("RAM3 write with an image other than the one committed");
    }
}

void Soak::onFlags()
{
    for (int k = 1; k <= kCommandCount; ++k) {
        const bool on = f.engine().flag(k);
        const bool was = m_flags[std::size_t(k)];
        m_flags[std::size_t(k)] = on;
        if (on == was)
            continue;
        if (on && ((k == Write_RAM2 && !f.model().ram2Held()) || (k == Write_RAM3 && !f.model().ram3Held()) ||
                   (k == Write_RAM1 && !f.model().ram1Held()))) {
            ++m_unheldWrites;
            fail("write flagged while its image holds no record", QLatin1String(commandName(k)));
        }
        if (!on && std::find(std::begin(kWrites), std::end(kWrites), k) != std::end(kWrites))
            ++m_confirmed[std::size_t(k)];
    }
}

void Soak::watch()
{
    QObject::connect(&f.link(), &LinkDriver::monitorText, &f, [this](const QString& b) { onMonitor(b); });
    QObject::connect(&f.link(), &LinkDriver::flagsUpdated, &f, [this] { onFlags(); });
    onFlags();
}

void Soak::changePage()
{
    f.activatePage(QLatin1String(kPages[pick(8)]));
}

void Soak::editAndWrite()
{
    // The configuration or the factory page, as the user would have it open for a write.
    const bool factory = chance(0.3);
    f.activatePage(QLatin1String(factory ? "TabSheet_FactorySettings" : "TabSheet_Config"));
    QWidget& page = factory ? static_cast<QWidget&>(f.factoryPage()) : static_cast<QWidget&>(f.configPage());
    QList<NumericSpin*> spins;
    for (NumericSpin* s : page.findChildren<NumericSpin*>())
        if (s != f.configPage().antestValue() && s->objectName() != QLatin1String("NewPassword") &&
            s->objectName() != QLatin1String("Factorynum"))
            spins << s;
    const QList<QComboBox*> boxes = page.findChildren<QComboBox*>();
    const QList<QCheckBox*> checks = page.findChildren<QCheckBox*>();
    const int edits = 1 + pick(5);
    for (int e = 0; e < edits; ++e) {
        const int kind = pick(3);
        if (kind == 0 && !spins.isEmpty()) {
            NumericSpin* s = spins[pick(int(spins.size()))];
            const double v = std::uniform_real_distribution<double>(s->minimum(), s->maximum())(m_rng);
            s->setValue(pick(2) ? std::round(v) : v);
        } else if (kind == 1 && !boxes.isEmpty()) {
            QComboBox* c = boxes[pick(int(boxes.size()))];
            if (c->count() > 0)
                c->setCurrentIndex(pick(c->count()));
        } else if (!checks.isEmpty()) {
            QCheckBox* c = checks[pick(int(checks.size()))];
            c->setChecked(!c->isChecked());
        }
    }
    const bool writable = f.model().configWritable();
    const Ram2Image before2 = f.memory().ram2;
    const Ram3Image before3 = f.memory().ram3;
    f.model().writeConfig();
    if (writable)
        commitImages();
    else if (!(f.memory().ram2 == before2 && f.memory().ram3 == before3))
        fail("a refused write packed the images");
}

void Soak::calibrate()
{
    f.activatePage(QStringLiteral("TabSheet_Calib"));
    // The buttons take the calibration data of this visit.
    int caldata = 0;
    const QMetaObject::Connection c =
        QObject::connect(&f.model(), &DeviceModel::caldataChanged, &f, [&caldata] { ++caldata; });
    const bool got = waitFor([&] { return caldata > 0; }, 10);
    QObject::disconnect(c);
    if (!got)
        return; // a run of lost answers; the user tries again later
    CalibPage& page = f.calibPage();
    const char* radios[] = {"Cal_L1U", "Cal_L1I", "Cal_L2U", "Cal_L2I", "Cal_L3U", "Cal_L3I"};
    if (auto* r = page.findChild<QAbstractButton*>(QLatin1String(radios[pick(6)])))
        r->setChecked(true);
    if (chance(0.3)) {
        if (auto* b = page.findChild<QPushButton*>(QStringLiteral("DAcalbutton")))
            b->click();
        return;
    }
    const char* buttons[] = {"Button_setnominal1", "Button_setoffset1", "Button_clearoffset1"};
    auto* b = page.findChild<QPushButton*>(QLatin1String(buttons[pick(3)]));
    if (!b || !b->isEnabled())
        return;
    b->click();
    // The button changed the RAM3 image and flagged its write: that image is now the one to go out.
    m_committed3 = f.memory().ram3;
    m_expected3 = m_committed3;
}

void Soak::testOutputs()
{
    if (chance(0.5))
        f.activatePage(QStringLiteral("TabSheet_Meres"));
    f.model().setDigout(std::uint8_t(pick(4)));
}

void Soak::analogTest()
{
    f.activatePage(QStringLiteral("TabSheet_Config"));
    NumericSpin* v = f.configPage().antestValue();
    auto* b = f.configPage().findChild<QPushButton*>(QStringLiteral("Antestbutton"));
    if (!v || !b)
        return;
    v->setValue(std::uniform_real_distribution<double>(v->minimum(), v->maximum())(m_rng));
    b->click();
}

void Soak::clearEnergy()
{
    // Counters cleared a short while ago are too small to tell a second clear.
    if (now() - m_lastClearAt < 30)
        return;
    f.activatePage(QStringLiteral("TabSheet_Meres"));
    if (!waitFor([&] { return f.model().ram1Held(); }, 10))
        return;
    pause(300 + pick(1000));
    f.activatePage(QStringLiteral("TabSheet_Config"));
    // After a time-out the meter must say who it is before its counters may be cleared.
    if (!waitFor([&] { return f.model().energyClearable(); }, 10))
        return;
    const double before = energySum(meter().ram1());
    f.model().clearEnergy();
    if (!f.engine().flag(Write_RAM1)) {
        fail("energy clear refused although RAM1 is held");
        return;
    }
    m_lastClearAt = now();
    if (!waitFor([&] { return !f.engine().flag(Write_RAM1); }, 30)) {
        fail("energy clear unanswered for 30 s");
        return;
    }
    const double after = energySum(meter().ram1());
    if (before > 0 && after >= before)
        fail("the energy clear did not reach the meter",
             QStringLiteral("counters %1 before, %2 after").arg(before).arg(after));
}

void Soak::service()
{
    // A code that restores defaults must not race a write of the same records.
    if (!waitFor([&] { return !f.engine().flag(Write_RAM2) && !f.engine().flag(Write_RAM3); }, 30))
        return;
    // The user presses one of the service buttons; each must ask for its own code.
    struct ServiceButton
    {
        std::uint8_t code;
        const char* page;
        const char* button;
    };
    static const ServiceButton kButtons[] = {
        {kServiceFactoryDefaults, "TabSheet_FactorySettings", "VelmarDefaultbutton"},
        {kServiceClearErrors, "TabSheet_Errors", "ClearErrorsbutton"},
        {kServiceUserDefaults, "TabSheet_Config", "UserDefaultButton"},
    };
    const ServiceButton& pressed = kButtons[pick(3)];
    const std::uint8_t code = pressed.code;
    f.activatePage(QLatin1String(pressed.page));
    f.findChild<QPushButton*>(QLatin1String(pressed.button))->click();
    if (f.model().requests().ServiceCode != code) {
        fail("a service button asked for another code", QStringLiteral("%1 asked for %2, not %3")
                                                            .arg(QLatin1String(pressed.button))
                                                            .arg(f.model().requests().ServiceCode)
                                                            .arg(code));
        return;
    }
    // Spent when its request goes out; taken by the meter when that request has reached it, that is
    // once the meter has seen every request sent so far.
    if (!waitFor([&] { return f.model().requests().ServiceCode == 0; }, 30)) {
        fail("service code not sent within 30 s",
             QStringLiteral("code %1, state request %2")
                 .arg(f.model().requests().ServiceCode)
                 .arg(f.engine().flag(Read_State) ? "flagged" : "not flagged"));
        return;
    }
    if (!waitFor([&] { return meter().stats().requests >= m_requests; }, 5)) {
        fail("requests sent never reached the meter");
        return;
    }
    const VirtualMeterConfig& mc = meter().config();
    if (code == kServiceFactoryDefaults) {
        m_expected2 = VirtualMeter::factoryRam2();
        m_expected3 = VirtualMeter::factoryRam3(mc.factoryNumber, mc.factoryYear, mc.factoryMonth);
        // The factory page reads both records back unless a settings file was loaded.
        if (f.model().requests().SettingsLoaded)
            m_imagesShowMeter = false;
    } else if (code == kServiceUserDefaults) {
        m_expected2 = VirtualMeter::factoryRam2();
        // The configuration page does not read the record back.
        m_imagesShowMeter = false;
    }
}

void Soak::settingsRoundTrip()
{
    if (!f.model().configWritable())
        return;
    f.activatePage(QStringLiteral("TabSheet_FactorySettings"));
    const QString section = f.factoryPage().factoryNumberText();
    const Ram2Image saved2 = f.memory().ram2;
    const Ram3Image saved3 = f.memory().ram3;
    const int fileErrors = m_fileErrors;
    f.factoryPage().SaveSettingsButtonClick();
    pause(50 + pick(500));
    // The images may have been read again meanwhile; the file holds what was saved.
    f.prompts().runDialog = [&](QDialog& d) {
        if (auto* box = d.findChild<QComboBox*>()) {
            const int i = box->findText(section);
            if (i < 0)
                return false;
            box->setCurrentIndex(i);
        }
        return true;
    };
    f.factoryPage().ReadSettingsButtonClick();
    f.prompts().runDialog = [](QDialog&) { return false; };
    if (m_fileErrors != fileErrors)
        return;
    if (!f.model().requests().SettingsLoaded) {
        fail("settings load did not take");
        return;
    }
    const int d2 = differingBytes(f.memory().ram2, saved2);
    const int d3 = differingBytes(f.memory().ram3, saved3);
    if (d2 + d3 > 0) {
        ++m_settingsRoundTripDiffs;
        fail("loaded settings differ from the saved images",
             QStringLiteral("RAM2 %1 bytes, RAM3 %2 bytes").arg(d2).arg(d3));
    }
    f.model().writeConfig();
    commitImages();
}

void Soak::readConfig()
{
    f.model().readRam();
    // The read answers replace the images unless a write is still waiting.
    if (!f.engine().flag(Write_RAM2) && !f.engine().flag(Write_RAM3))
        m_imagesShowMeter = true;
}

void Soak::verify(const char* when)
{
    const VirtualMeter& m = meter();
    const int d2 = differingBytes(m.ram2(), m_expected2);
    const int d3 = differingBytes(m.ram3(), m_expected3);
    if (d2 || d3) {
        ++m_mismatches;
        fail("meter memory differs from the last write",
             QStringLiteral("%1: RAM2 %2 bytes, RAM3 %3 bytes").arg(QLatin1String(when)).arg(d2).arg(d3));
    }
    if (m_imagesShowMeter) {
        const int s2 = differingBytes(f.memory().ram2, m.ram2());
        const int s3 = differingBytes(f.memory().ram3, m.ram3());
        if (s2 || s3) {
            ++m_mismatches;
            fail("the window's images differ from the meter's records",
                 QStringLiteral("%1: RAM2 %2 bytes, RAM3 %3 bytes").arg(QLatin1String(when)).arg(s2).arg(s3));
        }
    }
    if (m.digoutByte() != f.model().digoutByte()) {
        ++m_mismatches;
        fail("output test byte differs",
             QStringLiteral("meter %1, window %2").arg(m.digoutByte()).arg(f.model().digoutByte()));
    }
    if (m.daCalibCode() && *m.daCalibCode() != f.model().daCalCode()) {
        ++m_mismatches;
        fail("analog calibration code differs");
    }
    if (m.daTestValue() && *m.daTestValue() != static_cast<float>(f.configPage().antestValue()->value())) {
        ++m_mismatches;
        fail("analog test value differs");
    }
}

int Soak::run()
{
    f.configFiles().setSettingsDir(m_dir.path());
    f.prompts().showError = [this](const QString& t) {
        ++m_errors;
        fail("error shown", t);
    };
    f.prompts().refuseDevice = [this](const QString& t) {
        ++m_errors;
        fail("device refused", t);
    };
    f.prompts().showFileError = [this](const QString& t, const QString& reason) {
        ++m_fileErrors;
        fail("file error", t + QStringLiteral(" ") + reason);
    };
    f.prompts().runDialog = [](QDialog&) { return false; };
    f.prompts().chooseFile = [](const FileRequest&) { return QString(); };
    f.show();
    watch();
    m_clock.start();
    f.openPortByName(QStringLiteral("DEMO"));
    if (!dynamic_cast<VirtualMeterPort*>(f.link().port())) {
        std::fprintf(stderr, "DEMO did not open the in-process meter\n");
        return 2;
    }
    m_committed2 = meter().ram2();
    m_committed3 = meter().ram3();
    m_expected2 = m_committed2;
    m_expected3 = m_committed3;
    f.evaluatePassword(52806);
    if (!waitFor([&] { return f.model().configWritable(); }, 60)) {
        std::printf("FAIL: the configuration records were not read within 60 s\n");
        return 1;
    }

    std::printf("fault soak: %s meter, faults drop=%.2f crc=%.2f late=%.2f split=%.2f garbage=%.2f, "
                "seed %u, %.0f s\n",
                m_opt.paced ? "paced" : "unpaced", meter().config().faults.drop, meter().config().faults.crc,
                meter().config().faults.late, meter().config().faults.split, meter().config().faults.garbage,
                m_opt.seed, m_opt.seconds);
    std::fflush(stdout);

    double nextCheckpoint = 10;
    while (now() < m_opt.seconds) {
        const int action = pick(100);
        int kind = 0;
        if (action < 25)
            kind = 0, changePage();
        else if (action < 45)
            kind = 1, editAndWrite();
        else if (action < 55)
            kind = 2, calibrate();
        else if (action < 65)
            kind = 3, testOutputs();
        else if (action < 70)
            kind = 4, analogTest();
        else if (action < 75)
            kind = 5, clearEnergy();
        else if (action < 83)
            kind = 6, service();
        else if (action < 90)
            kind = 7, settingsRoundTrip();
        else
            kind = 8, readConfig();
        ++m_actionCounts[std::size_t(kind)];
        ++m_actions;
        if (m_opt.verbose)
            std::printf("%7.2f s  action %d done\n", now(), kind);
        pause(pick(2) ? pick(60) : 100 + pick(900));
        if (now() >= nextCheckpoint) {
            nextCheckpoint = now() + 10;
            if (waitFor([&] { return quiet(); }, 60)) {
                ++m_checkpoints;
                verify("checkpoint");
            } else {
                ++m_checkpointsMissed;
            }
        }
    }

    // The line heals; a page change reads the records once more (unless a file was loaded).
    const double settleFrom = now();
    meter().setFaults({});
    f.activatePage(QStringLiteral("TabSheet_Config"));
    const bool settled = waitFor([&] { return quiet(); }, m_opt.settle);
    pause(500); // late answers still on the way
    const bool stillQuiet = quiet();
    if (settled && stillQuiet)
        verify("end");
    QStringList pending;
    for (int k : kOneShot)
        if (f.engine().flag(k))
            pending << QLatin1String(commandName(k));
    if (f.model().requests().ServiceCode != 0)
        pending << QStringLiteral("service code");
    if (!pending.isEmpty())
        fail("one-shot requests unanswered after the settle", pending.join(QStringLiteral(", ")));

    const MeterStats& s = meter().stats();
    std::printf("actions %d: pages %d, writes %d, calibration %d, outputs %d, analog test %d, energy %d, "
                "service %d, settings %d, reads %d\n",
                m_actions, m_actionCounts[0], m_actionCounts[1], m_actionCounts[2], m_actionCounts[3],
                m_actionCounts[4], m_actionCounts[5], m_actionCounts[6], m_actionCounts[7],
                m_actionCounts[8]);
    std::printf("exchanges: %d requests sent, %d frames received (%d with a bad CRC), %d time-outs; "
                "the meter took %d requests\n",
                m_requests, m_frames, m_badCrcFrames, m_timeouts, s.requests);
    std::printf(
        "faults injected: %d dropped, %d bad CRC, %d late, %d split, %d with stray bytes (%d bytes the "
        "meter skipped, %d bad request CRCs)\n",
        s.dropped, s.corrupted, s.late, s.split, s.garbage, s.discardedBytes, s.badCrc);
    std::printf(
        "writes confirmed: RAM1 %d, RAM2 %d, RAM3 %d, outputs %d, analog calibration %d, analog test %d "
        "(write frames sent: RAM1 %d, RAM2 %d, RAM3 %d)\n",
        m_confirmed[Write_RAM1], m_confirmed[Write_RAM2], m_confirmed[Write_RAM3], m_confirmed[Write_Digout],
        m_confirmed[Write_DAcalib], m_confirmed[Write_DAtest], m_writeFrames[Write_RAM1],
        m_writeFrames[Write_RAM2], m_writeFrames[Write_RAM3]);
    std::printf("checkpoints verified %d (%d found requests still open after 60 s); settled in %.1f s%s\n",
                m_checkpoints, m_checkpointsMissed, now() - settleFrom, settled ? "" : " (did NOT settle)");
    std::printf(
        "mismatches %d, stale writes %d, writes without a record %d, monitor overflows %d (most lines "
        "%d), settings round trips differing %d, errors shown %d, file errors %d\n",
        m_mismatches, m_staleWrites, m_unheldWrites, m_monitorOverflows, m_maxMonitorLines,
        m_settingsRoundTripDiffs, m_errors, m_fileErrors);
    if (m_failures > 0 || !settled || !stillQuiet) {
        std::printf("FAIL: %d faults found\n", m_failures + (settled && stillQuiet ? 0 : 1));
        return 1;
    }
    std::printf("PASS\n");
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::optional<Options> parsed = parse(argc, argv);
    if (!parsed) {
        std::fprintf(stderr,
                     "usage: bench_fault_soak [--seconds S] [--seed N] [--settle S] [--paced] [--verbose]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The password store and the settings stay out of the user's own.
    QStandardPaths::setTestModeEnabled(true);

    VirtualMeterConfig meter;
    meter.installed = true;
    meter.faults = FaultProfile{0.10, 0.05, 0.05, 0.05, 0.05};
    meter.seed = parsed->seed;
    TForm1 form(TForm1::Options{parsed->paced, meter});
    return Soak(*parsed, form).run();
}
