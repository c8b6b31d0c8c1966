// The calibration page and the service buttons: formats, the channel order, the analog output
// sequence, and what the buttons do to the images and to the virtual meter.
#include "app/TForm1.h"
#include "config/ConfigPage.h"
#include "link/LinkDriver.h"
#include "log/DataLogger.h"
#include "meter/VirtualMeterPort.h"
#include "platform/NumericSpin.h"
#include "service/CalibPage.h"
#include "tests/ModelAccess.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <QTimer>
#include <cstring>

using namespace kvam;
using namespace kvam::test;

namespace {

QString field(QWidget& page, const char* name)
{
    return page.findChild<QLineEdit*>(QLatin1String(name))->text();
}

void check(QWidget& page, const char* radio)
{
    page.findChild<QRadioButton*>(QLatin1String(radio))->setChecked(true);
}

QPushButton* button(QWidget& w, const char* name)
{
    return w.findChild<QPushButton*>(QLatin1String(name));
}

VirtualMeter& meterOf(TForm1& f)
{
    return dynamic_cast<VirtualMeterPort&>(*f.link().port()).meter();
}

/// The window on the unpaced in-process meter, unlocked, with the start-up reads answered.
void openDemo(TForm1& f)
{
    f.evaluatePassword(52806);
    f.openPortByName(QStringLiteral("DEMO"));
    QTRY_VERIFY_WITH_TIMEOUT(f.model().ram3Held() && f.model().ram2Held(), 10000);
}

} // namespace

class TstCalib : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::Hungarian));
    }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void caldataFormats_data();
    void caldataFormats();
    void channelOrder_data();
    void channelOrder();
    void analogSequence();
    void exitEndsTheSequence();
    void buttonsWaitForARecord();
    void buttonsChangeTheirBytes_data();
    void buttonsChangeTheirBytes();
    void offsetCalibrationReachesTheMeter();
    void analogTestValueReadWhenSent();
    void testOutputsSwitchTheMeter();
    void serviceCodesReachTheMeter();
    void energyClearZeroesTheMeter();
    void loggingThroughTheWindow();
};

void TstCalib::caldataFormats_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<float>("uirms");
    QTest::addColumn<int>("average");
    QTest::addColumn<int>("adrms");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("uirmsText");
    QTest::addColumn<QString>("averageText");
    QTest::addColumn<QString>("adrmsText");
    QTest::addColumn<QString>("offsetText");
    QTest::newRow("L1 U") << "Cal_L1U" << 230.0f << -3 << 11600 << 4 << "     230,0 V"
                          << "        -3"
                          << "     11600"
                          << "         4";
    QTest::newRow("L1 I") << "Cal_L1I" << 5.0f << 0 << 65535 << -200 << "     5,000 A"
                          << "         0"
                          << "     65535"
                          << "      -200";
    QTest::newRow("L3 I, average 0xFFFF") << "Cal_L3I" << 1.25f << -1 << 0 << 0 << "     1,250 A"
                                          << "        -1"
                                          << "         0"
                                          << "         0";
    QTest::newRow("L2 U") << "Cal_L2U" << 57.75f << 12 << 9000 << 1 << "      57,8 V"
                          << "        12"
                          << "      9000"
                          << "         1";
}

void TstCalib::caldataFormats()
{
    QFETCH(QString, radio);
    QFETCH(float, uirms);
    QFETCH(int, average);
    QFETCH(int, adrms);
    QFETCH(int, offset);
    CalibPage page;
    check(page, qPrintable(radio));
    const auto ch = static_cast<std::size_t>(page.GetCalChannel());
    CaldataRecord cal;
    set(cal, caldata::UIrms, ch, uirms);
    set(cal, caldata::Average, ch, std::int16_t(average));
    set(cal, caldata::ADrms, ch, std::uint16_t(adrms));
    Ram3Image ram3;
    set(ram3, ram3::Offset, ch, std::int16_t(offset));
    page.Display_Caldat(cal, ram3);
    QTEST(field(page, "Caldat_UIrms"), "uirmsText");
    QTEST(field(page, "Caldat_Average"), "averageText");
    QTEST(field(page, "Caldat_ADrms"), "adrmsText");
    QTEST(field(page, "RAM3_offset"), "offsetText");
}

void TstCalib::channelOrder_data()
{
    QTest::addColumn<QString>("radio");
    QTest::addColumn<int>("channel");
    QTest::newRow("L1 U") << "Cal_L1U" << 0;
    QTest::newRow("L1 I") << "Cal_L1I" << 1;
    QTest::newRow("L2 U") << "Cal_L2U" << 2;
    QTest::newRow("L2 I") << "Cal_L2I" << 3;
    QTest::newRow("L3 U") << "Cal_L3U" << 4;
    QTest::newRow("L3 I") << "Cal_L3I" << 5;
    QTest::newRow("none checked") << "" << 5;
}

void TstCalib::channelOrder()
{
    QFETCH(QString, radio);
    QFETCH(int, channel);
    CalibPage page;
    QCOMPARE(page.GetCalChannel(), 0); // L1 U at start
    if (radio.isEmpty()) {
        auto* r = page.findChild<QRadioButton*>(QStringLiteral("Cal_L1U"));
        r->setAutoExclusive(false);
        r->setChecked(false);
    } else {
        check(page, qPrintable(radio));
    }
    QCOMPARE(page.GetCalChannel(), channel);
}

void TstCalib::analogSequence()
{
    CalibPage page;
    QSignalSpy codes(&page, &CalibPage::daCalCodeChanged);
    QPushButton* start = button(page, "DAcalbutton");
    QCOMPARE(start->text(), QStringLiteral("Analóg kimenet kalibráció start"));
    const char* points[] = {"Ch1Pwm1", "Ch1Pwm2", "Ch2Pwm1", "Ch2Pwm2"};
    const QList<int> expected{0x01, 0x11, 0x02, 0x12, 0x00};
    const QStringList captions{"1.Analóg kimenet 1.pont kalibráció", "1.Analóg kimenet 2.pont kalibráció",
                               "2.Analóg kimenet 1.pont kalibráció", "2.Analóg kimenet 2.pont kalibráció",
                               "Analóg kimenet kalibrálás start"};
    for (int click = 0; click < 5; ++click) {
        QTest::mouseClick(start, Qt::LeftButton);
        QCOMPARE(codes.size(), click + 1);
        QCOMPARE(codes.last().value(0).toInt(), expected[click]);
        QCOMPARE(start->text(), captions[click]);
        for (int p = 0; p < 4; ++p)
            QCOMPARE(page.findChild<NumericSpin*>(QLatin1String(points[p]))->isEnabled(), p == click);
    }
    QCOMPARE(page.daCalStep(), 0);
}

void TstCalib::exitEndsTheSequence()
{
    TForm1 f(TForm1::Options{false});
    f.evaluatePassword(52806);
    QVERIFY(f.activatePage(QStringLiteral("TabSheet_Calib")));
    CalibPage& page = f.calibPage();
    page.DAcalbuttonClick();
    page.DAcalbuttonClick();
    QCOMPARE(f.model().requests().DAcalCode, std::uint8_t(0x11));
    QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
    QCOMPARE(f.model().requests().DAcalCode, std::uint8_t(0));
    QVERIFY(f.engine().flag(Write_DAcalib));
    QCOMPARE(page.daCalStep(), 0);
    QCOMPARE(button(page, "DAcalbutton")->text(), QStringLiteral("Analóg kimenet kalibrálás start"));
    // The next click starts again at output 1 point 1.
    page.DAcalbuttonClick();
    QCOMPARE(f.model().requests().DAcalCode, std::uint8_t(0x01));
}

void TstCalib::buttonsWaitForARecord()
{
    TForm1 f(TForm1::Options{false});
    f.evaluatePassword(52806);
    for (const char* name : {"Button_setnominal1", "Button_setoffset1", "Button_clearoffset1", "Button4"}) {
        QVERIFY2(!button(f.calibPage(), name)->isEnabled(), name);
        QVERIFY2(!button(f.calibPage(), name)->toolTip().isEmpty(), name);
    }
    // Even a click that reaches the model writes nothing.
    QVERIFY(!f.model().calibrateOffset(0));
    QVERIFY(!f.engine().flag(Write_RAM3));
    QCOMPARE(f.model().memory().ram3, Ram3Image{});
    openDemo(f);
    for (const char* name : {"Button_setnominal1", "Button_setoffset1", "Button_clearoffset1", "Button4"})
        QVERIFY2(button(f.calibPage(), name)->isEnabled(), name);
}

void TstCalib::buttonsChangeTheirBytes_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("radio");
    QTest::addColumn<int>("offset"); // image offset of the element changed
    QTest::addColumn<int>("value");  // what it then holds
    // The calibration data the meter answered is set by the test: ADrms 40000 + ch, Average -10 - ch.
    QTest::newRow("nominal L2 I") << "Button_setnominal1"
                                  << "Cal_L2I" << 40 + 2 * 3 << 40003;
    QTest::newRow("offset L3 U") << "Button_setoffset1"
                                 << "Cal_L3U" << 28 + 2 * 4 << -14;
    QTest::newRow("clear offset L1 U") << "Button_clearoffset1"
                                       << "Cal_L1U" << 28 << 0;
}

void TstCalib::buttonsChangeTheirBytes()
{
    QFETCH(QString, button);
    QFETCH(QString, radio);
    QFETCH(int, offset);
    QFETCH(int, value);
    TForm1 f(TForm1::Options{false});
    openDemo(f);
    f.link().closePort(); // nothing goes out, so the image stays as the button left it
    CaldataRecord cal;
    for (std::size_t ch = 0; ch < 6; ++ch) {
        set(cal, caldata::ADrms, ch, std::uint16_t(40000 + ch));
        set(cal, caldata::Average, ch, std::int16_t(-10 - int(ch)));
    }
    static_cast<LinkClient&>(f.model()).answerReceived(Read_Caldata, cal.data());
    set(testMemory(f.model()).ram3, ram3::Offset, 0, std::int16_t(33));
    const Ram3Image before = f.model().memory().ram3;
    check(f.calibPage(), qPrintable(radio));
    QTest::mouseClick(::button(f.calibPage(), qPrintable(button)), Qt::LeftButton);
    QVERIFY(f.engine().flag(Write_RAM3));
    Ram3Image expected = before;
    expected.set(std::size_t(offset), std::int16_t(value));
    QCOMPARE(f.model().memory().ram3, expected);
}

void TstCalib::offsetCalibrationReachesTheMeter()
{
    TForm1 f(TForm1::Options{false});
    openDemo(f);
    QVERIFY(f.activatePage(QStringLiteral("TabSheet_Calib")));
    QTRY_VERIFY_WITH_TIMEOUT(f.model().caldata() != CaldataRecord{}, 10000);
    check(f.calibPage(), "Cal_L2U");
    const std::int16_t average = get(f.model().caldata(), caldata::Average, 2);
    QTest::mouseClick(button(f.calibPage(), "Button_setoffset1"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Write_RAM3) && !f.engine().flag(Read_RAM3), 10000);
    QCOMPARE(get(meterOf(f).ram3(), ram3::Offset, 2), average);
}

void TstCalib::analogTestValueReadWhenSent()
{
    TForm1 f(TForm1::Options{false});
    openDemo(f);
    f.link().closePort();
    NumericSpin* value = f.configPage().antestValue();
    QCOMPARE(value->value(), 50.0);
    f.model().requestDaTest();
    // Changed after the click, before the send: the new value goes out.
    value->setValue(12.5);
    f.openPortByName(QStringLiteral("DEMO"));
    QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Write_DAtest), 10000);
    QCOMPARE(meterOf(f).daTestValue(), std::optional<float>(12.5f));
    // 50.0 travels as 00 00 48 42.
    value->setValue(50.0);
    std::uint8_t payload[4] = {};
    static_cast<LinkClient&>(f.model()).requestPayload(Write_DAtest, payload, 4);
    float sent = 0;
    std::memcpy(&sent, payload, 4);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(&sent), 4), QByteArray::fromHex("00004842"));
}

void TstCalib::testOutputsSwitchTheMeter()
{
    TForm1 f(TForm1::Options{false});
    openDemo(f);
    f.model().setDigout(0x02);
    QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Write_Digout), 10000);
    QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
    // The state answer reports output 2 on and output 1 off.
    QTRY_VERIFY_WITH_TIMEOUT((get(f.model().state(), state::IoBits) & 0x03) == 0x02, 10000);
}

void TstCalib::serviceCodesReachTheMeter()
{
    TForm1 f(TForm1::Options{false});
    openDemo(f);
    // The demo meter is configured (Modbus address 17); user defaults restore the factory's 1, and
    // on the factory page the state answer brings the restored record back.
    QCOMPARE(get(f.model().memory().ram2, ram2::MB01Addr), std::uint8_t(17));
    QVERIFY(f.activatePage(QStringLiteral("TabSheet_FactorySettings")));
    f.model().requestService(4);
    f.model().requestService(4); // twice before it goes out: sent once
    QTRY_VERIFY_WITH_TIMEOUT(f.model().requests().ServiceCode == 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(get(f.model().memory().ram2, ram2::MB01Addr) == 1, 10000);
    QCOMPARE(get(meterOf(f).ram2(), ram2::MB01Addr), std::uint8_t(1));
}

void TstCalib::energyClearZeroesTheMeter()
{
    TForm1 f(TForm1::Options{false});
    openDemo(f);
    auto* clear = button(f.configPage(), "ClearEnergybutton");
    QVERIFY(!clear->isEnabled());
    QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
    QTRY_VERIFY_WITH_TIMEOUT(f.model().ram1Held(), 10000);
    QVERIFY(clear->isEnabled());
    // The meter on the line is cleared (no event runs before the port closes and holds the write).
    const Ram1Image before = *f.model().meterRecords().ram1;
    QVERIFY(f.model().clearEnergy());
    f.link().closePort();
    QVERIFY(f.engine().flag(Write_RAM1));
    for (std::size_t i = 0; i < ram1::kSize; ++i) {
        if (i >= 2 && i <= 177)
            QCOMPARE(f.model().memory().ram1[i], std::uint8_t(0));
        else
            QCOMPARE(f.model().memory().ram1[i], before[i]);
    }
    // The counters read meanwhile do not undo the clear: the write goes out with the zeros.
    f.openPortByName(QStringLiteral("DEMO"));
    QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Write_RAM1), 10000);
    QVERIFY(get(meterOf(f).ram1(), ram1::EPplus, 3) < 1000); // zeroed, a moment of energy since
}

void TstCalib::loggingThroughTheWindow()
{
    QTemporaryDir dir;
    TForm1 f(TForm1::Options{false});
    QStringList errors;
    f.prompts().showError = [&](const QString& text) { errors << text; };
    QString proposed;
    f.prompts().chooseFile = [&](const FileRequest& r) {
        proposed = r.folder;
        return dir.filePath(QStringLiteral("sub/measured"));
    };
    auto* logButton = button(f, "Logbutton");
    auto* name = f.findChild<QLabel*>(QStringLiteral("SaveFilenameText"));
    auto* timer = f.findChild<QTimer*>(QStringLiteral("LogTimer"));
    QCOMPARE(logButton->text(), QStringLiteral("Log to file:"));
    QVERIFY(!timer->isActive());

    // The folder does not exist: the first failing tick says so once, the name turns red, logging
    // goes on; the next good tick clears the mark.
    QTest::mouseClick(logButton, Qt::LeftButton);
    QCOMPARE(logButton->text(), QStringLiteral("Stop log"));
    QCOMPARE(name->text(), QStringLiteral("measured.txt"));
    QVERIFY(timer->isActive());
    QVERIFY(!f.logger().tick(nullptr, QDateTime::currentDateTime()));
    QVERIFY(!f.logger().tick(nullptr, QDateTime::currentDateTime()));
    QCOMPARE(errors.size(), 1);
    QVERIFY(name->property("failing").toBool());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QVERIFY(f.logger().tick(nullptr, QDateTime::currentDateTime()));
    QVERIFY(!name->property("failing").toBool());
    QFile log(dir.filePath(QStringLiteral("sub/measured.txt")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    QCOMPARE(lines.size(), 3);           // header, one line, and the empty rest after the last CR LF
    QVERIFY(lines[1].contains("\"-\"")); // no measurement yet

    QTest::mouseClick(logButton, Qt::LeftButton);
    QCOMPARE(logButton->text(), QStringLiteral("Log to file:"));
    QVERIFY(!timer->isActive());
    // The next start proposes the previous file in its folder.
    f.prompts().chooseFile = [&](const FileRequest& r) {
        proposed = r.folder;
        return QString();
    };
    QTest::mouseClick(logButton, Qt::LeftButton);
    QCOMPARE(proposed, dir.filePath(QStringLiteral("sub/measured.txt")));
    QCOMPARE(logButton->text(), QStringLiteral("Log to file:")); // cancelled
}

QTEST_MAIN(TstCalib)
#include "tst_calib.moc"
