// The main window as a whole: start-up state, the monitor, port handling and the answers of the
// in-process virtual meter reaching the pages.

#include "app/CommandLine.h"
#include "app/TForm1.h"
#include "link/LinkDriver.h"
#include "service/CommPage.h"
#include "tests/LinkFakes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <cstring>

#include "app/MainPages.h"
#include "platform/ControlText.h"
#include "platform/Lamp.h"
#include "texts/UiTexts.h"
#include "views/PhasorPage.h"

#include <QFile>

#include <vector>

using namespace kvam;

namespace {

QString monitorText(TForm1& f)
{
    return f.findChild<CommPage*>(QStringLiteral("TabSheet_Comm"))->monitorText();
}

void feed(TForm1& f, const test::Bytes& frame)
{
    f.engine().ComPort1RxChar(frame.data(), static_cast<int>(frame.size()));
}

} // namespace

class TstForm : public QObject
{
    Q_OBJECT
private slots:
    // The window reads the user password at start: never the real user's store.
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The addresses remembered by an earlier run are not this run's.
        QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                      QStringLiteral("/Velmar/kvam2100.ini"));
    }
    void textTableNamesControls()
    {
        // Every entry of the text table names exactly one control, which shows that text.
        TForm1 f;
        for (const UiText& t : controlTexts()) {
            const QString name = QString::fromLatin1(t.control);
            const QList<QWidget*> found = ControlText::controls({&f}, name);
            QVERIFY2(found.size() == 1, qPrintable(name + QStringLiteral(": %1 controls").arg(found.size())));
            bool ok = false;
            const QString shown = ControlText::text(found.first(), &ok);
            QVERIFY2(ok, qPrintable(name + QStringLiteral(" shows no text")));
            if (name == QLatin1String("Form1"))
                QVERIFY(shown.startsWith(QString::fromUtf8(t.start)));
            else
                QCOMPARE(shown, QString::fromUtf8(t.start));
        }
    }

    void pageTableBuildsTheTabs()
    {
        TForm1 f;
        auto* tabs = f.findChild<QTabWidget*>(QStringLiteral("CoolPageControl1"));
        QCOMPARE(tabs->count(), kMainPageCount);
        for (int i = 0; i < kMainPageCount; ++i) {
            const MainPage& p = mainPages()[std::size_t(i)];
            QCOMPARE(tabs->widget(i)->objectName(), QLatin1String(p.objectName));
            QCOMPARE(tabs->isTabVisible(i), p.access == Access::Everyone);
        }
    }

    void simulatorLinksNoGui()
    {
        // The headless simulator must not drag in Qt Gui or Widgets.
        QFile link(QStringLiteral(KVAM_METER_SIM_LINK));
        QVERIFY2(link.open(QIODevice::ReadOnly), qPrintable(link.fileName()));
        const QByteArray line = link.readAll();
        QVERIFY(line.contains("Qt6Core") || line.contains("libQt6Core"));
        QVERIFY(!line.contains("Qt6Gui"));
        QVERIFY(!line.contains("Qt6Widgets"));
    }

    void titleAndSize()
    {
        TForm1 f;
        QCOMPARE(f.windowTitle(), QString::fromUtf8(" KVAM2100 beállító program                  VELMAR") +
                                      QString(12, QLatin1Char(' ')) +
                                      QStringLiteral("version 3   Rev 3.2.4."));
        QCOMPARE(f.size(), QSize(795, 672));
        auto* tx = f.findChild<Lamp*>(QStringLiteral("TxLed"));
        auto* rx = f.findChild<Lamp*>(QStringLiteral("RxLed"));
        QVERIFY(tx && rx);
        QCOMPARE(tx->geometry(), QRect(44, 8, 20, 12));
        QCOMPARE(rx->geometry(), QRect(112, 8, 20, 12));
        QCOMPARE(tx->color(), QColor(Qt::white));
        QVERIFY(f.findChild<QWidget*>(QStringLiteral("ImageMagyar")));
        QVERIFY(f.findChild<QWidget*>(QStringLiteral("ImageAngol")));
    }

    void pages()
    {
        TForm1 f;
        auto* tabs = f.findChild<QTabWidget*>(QStringLiteral("CoolPageControl1"));
        QVERIFY(tabs);
        QCOMPARE(tabs->geometry(), QRect(8, 28, 769, 601));
        const QStringList names{"TabSheet_Calib", "TabSheet_FactorySettings", "TabSheet_Config",
                                "TabSheet_Meres", "TabSheet_Harmonics",       "TabSheet_Phasor",
                                "TabSheet_Trend", "TabSheet_Errors",          "TabSheet_Comm"};
        const QStringList captions{"Kalibrálás",   "Gyári beállítások", "Konfiguráció",
                                   "Mért értékek", "Harmonikusok",      "Phasor",
                                   "Trend",        "Hibajelzések",      "Kommunikáció"};
        QCOMPARE(tabs->count(), 9);
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(tabs->widget(i)->objectName(), names[i]);
            QCOMPARE(tabs->tabText(i), captions[i]);
            QCOMPARE(tabs->isTabVisible(i), i >= 3);
        }
        QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("TabSheet_Comm"));
        // Hidden pages cannot be opened from the command line either.
        QVERIFY(!f.activatePage(QStringLiteral("TabSheet_Calib")));
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
        QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("TabSheet_Meres"));
        QVERIFY(f.engine().flag(Read_Net) && f.engine().flag(Read_State) && f.engine().flag(Read_EPdata));
        QVERIFY(!f.activatePage(QStringLiteral("NoSuchPage")));
    }

    void timers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("active");
        QTest::newRow("CommTimer") << "CommTimer" << 200 << true;
        QTest::newRow("TimeoutTimer") << "TimeoutTimer" << 300 << false;
        QTest::newRow("RecWatchdog") << "RecWatchdog" << 200 << false;
        QTest::newRow("TxTimer") << "TxTimer" << 150 << false;
        QTest::newRow("RxTimer") << "RxTimer" << 150 << false;
        QTest::newRow("LogTimer") << "LogTimer" << 1000 << false;
    }
    void timers()
    {
        QFETCH(QString, name);
        QFETCH(int, interval);
        QFETCH(bool, active);
        TForm1 f;
        auto* t = f.findChild<QTimer*>(name);
        QVERIFY(t);
        QCOMPARE(t->interval(), interval);
        QCOMPARE(t->isActive(), active);
    }

    void startState()
    {
        TForm1 f;
        for (int k = 1; k <= 16; ++k) {
            auto* box = f.findChild<QCheckBox*>(QLatin1String(commandName(k)));
            QVERIFY(box);
            QCOMPARE(box->text(), QStringLiteral("%1: %2").arg(k).arg(QLatin1String(commandName(k))));
            QCOMPARE(box->isChecked(), k == 6 || k == 8 || k == 15);
        }
        auto* commands = f.findChild<QGroupBox*>(QStringLiteral("Commandbox"));
        QVERIFY(commands->isHidden());
        QVERIFY(!commands->isEnabled());
        QCOMPARE(commands->title(), QStringLiteral(" Parancsok "));
        auto* scan = f.findChild<QCheckBox*>(QStringLiteral("Scan"));
        QVERIFY(scan->isChecked() && scan->isHidden());
        QVERIFY(f.findChild<QPushButton*>(QStringLiteral("Sendbutton"))->isHidden());
        QVERIFY(f.findChild<QCheckBox*>(QStringLiteral("Viewcomm"))->isChecked());
        auto* ports = f.findChild<QComboBox*>(QStringLiteral("Portsbox"));
        QCOMPARE(ports->currentText(), QStringLiteral("SELECT COM PORT"));
        QCOMPARE(ports->width(), 149);
        QCOMPARE(f.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->size(), QSize(505, 477));
        // The check boxes follow the engine's flags.
        f.engine().setFlag(Read_Net, true);
        QVERIFY(f.findChild<QCheckBox*>(QStringLiteral("Read_Net"))->isChecked());
    }

    void noTrafficWithoutPort()
    {
        TForm1 f;
        for (int i = 0; i < 40; ++i)
            f.engine().CommTimerTimer();
        QVERIFY(monitorText(f).isEmpty());
        QCOMPARE(f.findChild<Lamp*>(QStringLiteral("TxLed"))->color(), QColor(Qt::white));
        QVERIFY(f.engine().flag(Read_RAM2));
    }

    void monitorBound()
    {
        TForm1 f;
        auto* page = f.findChild<CommPage*>(QStringLiteral("TabSheet_Comm"));
        for (int i = 0; i < 340; ++i)
            page->DisplayCom(QStringLiteral("Command: \r\n%1").arg(i));
        QCOMPARE(page->monitorLineCount(), 500 - 1 + 2); // pruned below 500, then one block added
        const QStringList lines = monitorText(f).split(QLatin1Char('\n'));
        QCOMPARE(int(lines.size()), page->monitorLineCount());
        QCOMPARE(lines.last(), QStringLiteral("339"));
        QCOMPARE(lines.first(), QStringLiteral("89"));
        // With "View comm" off nothing is added, and nothing comes back when it is on again.
        f.findChild<QCheckBox*>(QStringLiteral("Viewcomm"))->setChecked(false);
        page->DisplayCom(QStringLiteral("Timeout"));
        f.findChild<QCheckBox*>(QStringLiteral("Viewcomm"))->setChecked(true);
        QVERIFY(!monitorText(f).contains(QStringLiteral("Timeout")));
    }

    // Memo1 is edited line by line while it is on screen and caught up when it is shown again:
    // either way it must hold exactly the monitor's lines, pruned where they are pruned.
    void monitorShownMatchesLines()
    {
        TForm1 f;
        f.show();
        auto* page = f.findChild<CommPage*>(QStringLiteral("TabSheet_Comm"));
        auto* memo = f.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Comm")));
        struct Step
        {
            bool shown;
            int blocks;
            int linesEach;
        };
        // Below the bound, across it, far past it while hidden, one-line and long blocks.
        const Step steps[] = {{true, 3, 2},    {false, 7, 3}, {true, 160, 3}, {true, 1, 1},
                              {false, 400, 4}, {true, 2, 45}, {false, 1, 1},  {true, 30, 17}};
        int serial = 0;
        for (const Step& step : steps) {
            QVERIFY(f.activatePage(step.shown ? QStringLiteral("TabSheet_Comm")
                                              : QStringLiteral("TabSheet_Meres")));
            for (int b = 0; b < step.blocks; ++b) {
                QStringList block;
                for (int l = 0; l < step.linesEach; ++l)
                    block << QString::number(serial++);
                page->DisplayCom(block.join(QStringLiteral("\r\n")));
            }
            QVERIFY(f.activatePage(QStringLiteral("TabSheet_Comm")));
            QVERIFY(page->monitorLineCount() < CommPage::kMaxMonitorLines + step.linesEach);
            QCOMPARE(memo->toPlainText(), page->monitorText());
            QCOMPARE(memo->document()->blockCount(), page->monitorLineCount());
            QCOMPARE(page->monitorText().section(QLatin1Char('\n'), -1), QString::number(serial - 1));
            // The newest line is in view.
            QCOMPARE(memo->verticalScrollBar()->value(), memo->verticalScrollBar()->maximum());
        }
    }

    void badPortIsReported()
    {
        TForm1 f;
        QStringList errors;
        f.prompts().showError = [&](const QString& t) { errors << t; };
        f.openPortByName(QStringLiteral("/dev/kvam-no-such-port"));
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].contains(QStringLiteral("/dev/kvam-no-such-port")));
        QVERIFY(!f.link().portOpen());
        QCOMPARE(f.findChild<QComboBox*>(QStringLiteral("Portsbox"))->currentText(),
                 QStringLiteral("/dev/kvam-no-such-port"));
    }

    void dropDownClosesAndRescans()
    {
        TForm1 f(TForm1::Options{false});
        f.openPortByName(QStringLiteral("DEMO"));
        QVERIFY(f.link().portOpen());
        f.commPage().PortsboxDropDown();
        QVERIFY(!f.link().portOpen());
        auto* ports = f.findChild<QComboBox*>(QStringLiteral("Portsbox"));
        QCOMPARE(ports->itemText(0), QStringLiteral("SELECT COM PORT"));
        QVERIFY(ports->findText(QStringLiteral("DEMO")) > 0);
        QCOMPARE(ports->itemText(ports->count() - 1), currentText("Portsbox.Network"));
        QCOMPARE(ports->currentIndex(), 0);
        f.commPage().PortsboxSelect(0); // "SELECT COM PORT" opens nothing
        QVERIFY(!f.link().portOpen());
        f.openPortByName(QStringLiteral("DEMO"));
        QVERIFY(f.link().portOpen());
        f.close(); // closing the window closes the port
        QVERIFY(!f.link().portOpen());
    }

    // The port list's last entry asks for a network address: what the user types, and what the
    // window makes of it. A server on loopback that takes the connection stands for a device
    // server; an address that answered is offered in the list from then on.
    void networkAddressEntry_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // what the error shown contains; empty: none
        QTest::addColumn<bool>("remembered");
        QTest::newRow("cancelled") << ""
                                   << "" << false;
        QTest::newRow("port out of range") << "tcp://127.0.0.1:70000"
                                           << "65535" << false;
        QTest::newRow("bare IPv6") << "tcp://::1:20001"
                                   << "tcp://::1:20001" << false;
        QTest::newRow("nobody listens") << "tcp://127.0.0.1:CLOSED"
                                        << "tcp://127.0.0.1:" << false;
        QTest::newRow("a server takes it") << "tcp://127.0.0.1:LISTENING"
                                           << "" << true;
    }
    void networkAddressEntry()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(bool, remembered);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 closedPort = closed.serverPort();
        closed.close();
        typed.replace(QStringLiteral("LISTENING"), QString::number(server.serverPort()));
        typed.replace(QStringLiteral("CLOSED"), QString::number(closedPort));
        message.replace(QStringLiteral("CLOSED"), QString::number(closedPort));

        TForm1 f(TForm1::Options{false});
        QStringList errors;
        f.prompts().showError = [&](const QString& t) { errors << t; };
        f.prompts().askText = [&](const QString&, const QString&, const QString&) { return typed; };
        auto* ports = f.findChild<QComboBox*>(QStringLiteral("Portsbox"));
        f.commPage().PortsboxDropDown();
        const int ask = ports->count() - 1;
        ports->setCurrentIndex(ask);
        f.commPage().PortsboxSelect(ask);
        if (remembered) {
            QTRY_COMPARE(f.link().portStatus(), PortStatus::Up);
            QCOMPARE(f.link().portName(), typed);
        } else if (!message.isEmpty()) {
            QTRY_COMPARE(errors.size(), 1);
            QVERIFY2(errors[0].contains(message), qPrintable(errors[0]));
            QTRY_COMPARE(f.link().portStatus(), PortStatus::Closed);
        } else {
            QCOMPARE(f.link().portStatus(), PortStatus::Closed);
        }
        QVERIFY2(remembered || errors.size() == (message.isEmpty() ? 0 : 1), qPrintable(errors.join('\n')));
        f.commPage().PortsboxDropDown();
        QStringList entries;
        for (int i = 0; i < ports->count(); ++i)
            entries << ports->itemText(i);
        QCOMPARE(entries.contains(typed), remembered && !typed.isEmpty());
        if (remembered)
            QCOMPARE(entries.indexOf(typed), entries.indexOf(QStringLiteral("DEMO")) + 1);
    }

    void startupReadsFromVirtualMeter()
    {
        TForm1 f(TForm1::Options{false});
        f.openPortByName(QStringLiteral("DEMO"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Read_Version), 5000);
        QVERIFY(!f.engine().flag(Read_RAM2));
        QVERIFY(!f.engine().flag(Read_RAM3));
        const QString text = monitorText(f);
        const qsizetype ram2 = text.indexOf(QStringLiteral("Command: \n06 02 00"));
        const qsizetype ram3 = text.indexOf(QStringLiteral("Command: \n08 02 00"));
        const qsizetype version = text.indexOf(QStringLiteral("Command: \n0F 02 00 40 A3"));
        QVERIFY(ram2 >= 0 && ram2 < ram3 && ram3 < version);
        QVERIFY(!text.contains(QStringLiteral("CRC NOTOK")));
        QCOMPARE(text.count(QStringLiteral("CRC OK")), 3);
        QVERIFY(f.memory().ram3 != decltype(f.memory().ram3){}); // the factory record arrived
    }

    void lineStatisticsOnTheCommunicationPage()
    {
        TForm1 f(TForm1::Options{false});
        f.show();
        auto* box = f.findChild<QGroupBox*>(QStringLiteral("LineStatsBox"));
        auto* table = f.findChild<QTableWidget*>(QStringLiteral("LineStatsTable"));
        auto* timer = f.findChild<QTimer*>(QStringLiteral("LineStatsTimer"));
        QVERIFY(box && table && timer);
        QVERIFY(box->isVisible() && timer->isActive());
        auto value = [&](const char* key) {
            return f.findChild<QLabel*>(QLatin1String(key) + QStringLiteral("Value"))->text();
        };
        f.openPortByName(QStringLiteral("DEMO"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.engine().flag(Read_Version), 5000);
        // The next refresh shows what the engine counted: the three start-up reads.
        // (The page refreshes on its own timer: the third answer may show a refresh after its request.)
        QTRY_COMPARE(value("LineStatsRequests"), QStringLiteral("3"));
        QTRY_COMPARE(value("LineStatsAnswers"), QStringLiteral("3"));
        QCOMPARE(value("LineStatsTimeouts"), QStringLiteral("0"));
        QCOMPARE(table->rowCount(), 3);
        const char* names[] = {"Read_RAM2", "Read_RAM3", "Read_Version"};
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(table->item(row, 0)->text(), QLatin1String(names[row]));
            QCOMPARE(table->item(row, 1)->text(), QStringLiteral("1"));
            QVERIFY(!table->item(row, 3)->text().isEmpty());
        }
        // Stray bytes and a broken frame with no request outstanding.
        test::Bytes broken = test::makeFrame(Read_Net, test::Bytes(180, 1));
        broken.back() ^= 0x5A;
        feed(f, broken);
        feed(f, {0xFF, 0xFF, 0xFF});
        f.engine().RecWatchdogTimer();
        QTRY_COMPARE(value("LineStatsCrcErrors"), QStringLiteral("1"));
        QCOMPARE(value("LineStatsLate"), QStringLiteral("1"));
        QCOMPARE(value("LineStatsStray"), QStringLiteral("3"));

        f.findChild<QPushButton*>(QStringLiteral("LineStatsReset"))->click();
        for (const char* key : {"LineStatsRequests", "LineStatsAnswers", "LineStatsCrcErrors",
                                "LineStatsLate", "LineStatsStray"})
            QCOMPARE(value(key), QStringLiteral("0"));
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(f.engine().lineStats().totals().requests, std::uint64_t(0));

        struct BackToHungarian
        {
            ~BackToHungarian() { setCurrentLanguage(Language::Hungarian); }
        } laterTests;
        f.switchToEnglish();
        QCOMPARE(box->title(), QStringLiteral("Line statistics"));
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Command"));
        // The service mode's command boxes take the column; the statistics step aside.
        f.evaluatePassword(52806);
        QVERIFY(!f.findChild<QGroupBox*>(QStringLiteral("Commandbox"))->isHidden());
        QVERIFY(box->isHidden());
        // Off screen the page refreshes nothing.
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
        QVERIFY(!timer->isActive());
    }

    void measurementPageFilledFromVirtualMeter()
    {
        TForm1 f(TForm1::Options{false});
        f.activatePage(QStringLiteral("TabSheet_Meres"));
        f.openPortByName(QStringLiteral("DEMO"));
        auto* u1 = f.findChild<QLineEdit*>(QStringLiteral("L1urms"));
        auto* version = f.findChild<QLineEdit*>(QStringLiteral("Programversion"));
        QVERIFY(u1 && version);
        QCOMPARE(u1->text(), QStringLiteral("-"));
        QTRY_VERIFY_WITH_TIMEOUT(u1->text() != QStringLiteral("-"), 8000);
        const double volts = QLocale().toDouble(u1->text().trimmed());
        QVERIFY2(volts > 180 && volts < 280, qPrintable(u1->text()));
        QTRY_VERIFY_WITH_TIMEOUT(version->text().startsWith(QStringLiteral("3.")), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(f.findChild<QLineEdit*>(QStringLiteral("EPtimeelapsed"))->text() != "-",
                                 8000);
    }

    void unsupportedVersionStopsPolling()
    {
        TForm1 f;
        QStringList refused;
        f.prompts().refuseDevice = [&](const QString& t) { refused << t; };
        test::Bytes version(22, 0);
        version[0] = 4;
        version[1] = 1;
        version[2] = 7;
        feed(f, test::makeFrame(15, version));
        QVERIFY(!f.findChild<QTimer*>(QStringLiteral("CommTimer"))->isActive());
        QVERIFY(!f.findChild<QTimer*>(QStringLiteral("TimeoutTimer"))->isActive());
        QTRY_COMPARE(refused.size(), 1);
        QCOMPARE(refused[0],
                 QString::fromUtf8("A készülék verziója 4.1.7\r\nEz a program csak a v3.x.x verziójú "
                                   "KVAM2100 készülékek beállítására alkalmas!"));
        // SCAN switches the scheduler's timer on again.
        f.findChild<QCheckBox*>(QStringLiteral("Scan"))->click();
        QVERIFY(f.findChild<QTimer*>(QStringLiteral("CommTimer"))->isActive());
    }

    void shortAnswerChangesNothing_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("payload");
        QTest::addColumn<QString>("shortLine");
        // A 10-byte version answer that names firmware 1.2: decoded, it would end the program.
        QTest::newRow("Read_Version 10 of 22")
            << 15 << 10 << "Answer too short for its record: 10 of 22 bytes";
        QTest::newRow("Read_RAM2 313 of 314")
            << 6 << 313 << "Answer too short for its record: 313 of 314 bytes";
        QTest::newRow("Read_RAM3 153 of 154")
            << 8 << 153 << "Answer too short for its record: 153 of 154 bytes";
        QTest::newRow("Read_RAM1 0 of 212") << 4 << 0 << "Answer too short for its record: 0 of 212 bytes";
        QTest::newRow("Read_Net 179 of 180")
            << 3 << 179 << "Answer too short for its record: 179 of 180 bytes";
        QTest::newRow("Read_EPdata 31 of 32")
            << 14 << 31 << "Answer too short for its record: 31 of 32 bytes";
    }
    void shortAnswerChangesNothing()
    {
        QFETCH(int, code);
        QFETCH(int, payload);
        QFETCH(QString, shortLine);
        TForm1 f;
        QStringList refused;
        f.prompts().refuseDevice = [&](const QString& t) { refused << t; };
        f.activatePage(QStringLiteral("TabSheet_Meres"));
        f.engine().setFlag(code, true);
        const DeviceMemory before = f.memory();
        QStringList fields;
        for (const QLineEdit* e : f.findChildren<QLineEdit*>())
            fields << e->objectName() + QLatin1Char('=') + e->text();
        // What an earlier, longer answer left in the buffer would be taken for the missing bytes.
        f.engine().state().Rxbuff.fill(0x42);
        test::Bytes bytes(static_cast<std::size_t>(payload));
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i + 1); // a version answer would read 1.2.1027
        feed(f, test::makeFrame(static_cast<std::uint8_t>(code), bytes));
        QCoreApplication::processEvents();

        QVERIFY(refused.isEmpty());
        QVERIFY(f.findChild<QTimer*>(QStringLiteral("CommTimer"))->isActive());
        QVERIFY(f.engine().flag(code)); // still asked for
        QVERIFY(f.memory().ram1 == before.ram1);
        QVERIFY(f.memory().ram2 == before.ram2);
        QVERIFY(f.memory().ram3 == before.ram3);
        QStringList after;
        for (const QLineEdit* e : f.findChildren<QLineEdit*>())
            after << e->objectName() + QLatin1Char('=') + e->text();
        QCOMPARE(after, fields);
        QVERIFY(monitorText(f).endsWith(QStringLiteral("CRC OK\n\n") + shortLine + QStringLiteral("\n")));
    }

    void arrangementShowsOrHidesColumns()
    {
        TForm1 f;
        auto* panel = f.findChild<QWidget*>(QStringLiteral("Panel1"));
        QVERIFY(panel && panel->isHidden()); // only L1 until an arrangement is known
        test::Bytes ram2(314, 0);
        ram2[176] = 4; // three-phase, four wires, one meter
        feed(f, test::makeFrame(6, ram2));
        QVERIFY(!panel->isHidden());
        ram2[176] = 5; // single-phase
        feed(f, test::makeFrame(6, ram2));
        QVERIFY(panel->isHidden());
    }

    void calibrationNominalsScaleThePhasorDiagram_data()
    {
        QTest::addColumn<float>("nominalU");
        QTest::addColumn<float>("nominalI");
        QTest::addColumn<float>("expectedU1Length");
        QTest::addColumn<float>("expectedI1Length");
        // 57.7 V on the 220-pixel reference circle; currents on the 165-pixel one.
        QTest::newRow("no calibration data")
            << 0.0f << 0.0f << 57.7f * 220.0f / 230.0f << 1.0f * 165.0f / 5.0f;
        QTest::newRow("57.7 V / 1 A nominal") << 57.7f << 1.0f << 220.0f << 165.0f;
        QTest::newRow("below 1.0 falls back")
            << 0.5f << 0.5f << 57.7f * 220.0f / 230.0f << 1.0f * 165.0f / 5.0f;
    }
    void calibrationNominalsScaleThePhasorDiagram()
    {
        QFETCH(float, nominalU);
        QFETCH(float, nominalI);
        QFETCH(float, expectedU1Length);
        QFETCH(float, expectedI1Length);
        TForm1 f;
        test::Bytes cal(48, 0);
        std::memcpy(&cal[12], &nominalU, 4);
        std::memcpy(&cal[16], &nominalI, 4);
        feed(f, test::makeFrame(10, cal));
        test::Bytes net(180, 0);
        const float u1 = 57.7f, i1 = 1.0f;
        std::memcpy(&net[12], &u1, 4);
        std::memcpy(&net[24], &i1, 4);
        feed(f, test::makeFrame(3, net));
        const PhasorResult& r = f.findChild<PhasorPage*>(QStringLiteral("TabSheet_Phasor"))->result();
        QVERIFY(qAbs(r.arrows[ArrowU1].length - expectedU1Length) < 0.01f);
        QVERIFY(qAbs(r.arrows[ArrowI1].length - expectedI1Length) < 0.01f);
    }

    // An answer while another page is open is drawn when the phasor page is shown: what appears
    // is the diagram of the last answer, with the zooms it came with, not the blank start or an
    // older answer.
    void phasorDrawnWhenShown()
    {
        TForm1 f;
        f.show();
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Meres")));
        auto* page = f.findChild<PhasorPage*>(QStringLiteral("TabSheet_Phasor"));
        auto* view = f.findChild<QWidget*>(QStringLiteral("VectorImage"));
        QVERIFY(page && view);
        const QImage blank = view->grab().toImage();
        test::Bytes net(180, 0);
        for (const float u : {120.0f, 230.0f}) {
            std::memcpy(&net[12], &u, 4);
            std::memcpy(&net[16], &u, 4);
            feed(f, test::makeFrame(3, net));
        }
        QVERIFY(f.activatePage(QStringLiteral("TabSheet_Phasor")));
        QCoreApplication::processEvents();
        // Nothing here may ask the page for its picture before the grab: that would draw it.
        const QImage shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QImage expected(view->size(), QImage::Format_RGB32);
        NetRecord rec;
        rec.copyFrom(net.data());
        PhasorGridCache grid; // the page draws its grid as a layer too
        DrawPhasorDiagram(expected, makePhasorInput(rec, f.model().caldata(), page->zoomU(), page->zoomI()),
                          page->options(), &grid);
        QVERIFY(shown != blank.convertToFormat(QImage::Format_RGB32));
        QCOMPARE(shown, expected);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("screenshot");
        QTest::newRow("none") << QStringList{} << true << ""
                              << ""
                              << "";
        QTest::newRow("demo") << QStringList{"--demo"} << true << "DEMO"
                              << ""
                              << "";
        QTest::newRow("port path") << QStringList{"--port", "/dev/pts/3"} << true << "/dev/pts/3"
                                   << ""
                                   << "";
        QTest::newRow("port=") << QStringList{"--port=ttyUSB0"} << true << "ttyUSB0"
                               << ""
                               << "";
        QTest::newRow("page and shot")
            << QStringList{"--page", "TabSheet_Phasor", "--screenshot", "a.png"} << true << ""
            << "TabSheet_Phasor"
            << "a.png";
        QTest::newRow("port without name") << QStringList{"--port"} << false << ""
                                           << ""
                                           << "";
        QTest::newRow("fast with the demo") << QStringList{"--fast", "--demo"} << true << "DEMO"
                                            << ""
                                            << "";
        QTest::newRow("fast with a value") << QStringList{"--fast=1"} << false << ""
                                           << ""
                                           << "";
        QTest::newRow("unknown") << QStringList{"--turbo"} << false << ""
                                 << ""
                                 << "";
        QTest::newRow("stray argument") << QStringList{"DEMO"} << false << ""
                                        << ""
                                        << "";
        QTest::newRow("english") << QStringList{"--english"} << true << ""
                                 << ""
                                 << "";
        QTest::newRow("no review with the demo") << QStringList{"--no-review", "--demo"} << true << "DEMO"
                                                 << ""
                                                 << "";
        QTest::newRow("no review with a value") << QStringList{"--no-review=1"} << false << ""
                                                << ""
                                                << "";
        QTest::newRow("password") << QStringList{"--password", "52806"} << true << ""
                                  << ""
                                  << "";
        QTest::newRow("password=-1") << QStringList{"--password=-1"} << true << ""
                                     << ""
                                     << "";
        QTest::newRow("password not a number") << QStringList{"--password", "abc"} << false << ""
                                               << ""
                                               << "";
        QTest::newRow("password missing") << QStringList{"--password"} << false << ""
                                          << ""
                                          << "";
        QTest::newRow("demo, then a port") << QStringList{"--demo", "--port", "ttyS0"} << true << "ttyS0"
                                           << ""
                                           << "";
        QTest::newRow("a port, then the demo") << QStringList{"--port", "ttyS0", "--demo"} << true << "DEMO"
                                               << ""
                                               << "";
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        QFETCH(QString, port);
        QFETCH(QString, page);
        QFETCH(QString, screenshot);
        const CommandLineResult r = parseCommandLine(QStringList{"kvam2100"} + args);
        QCOMPARE(r.options.has_value(), ok);
        if (!ok) {
            QVERIFY(!r.error.isEmpty());
            return;
        }
        QCOMPARE(r.options->port, port);
        QCOMPARE(r.options->page, page);
        QCOMPARE(r.options->screenshot, screenshot);
        QCOMPARE(r.options->english, args.contains(QStringLiteral("--english")));
        QCOMPARE(r.options->noReview, args.contains(QStringLiteral("--no-review")));
        const qsizetype at = args.indexOf(QStringLiteral("--password"));
        if (at >= 0)
            QCOMPARE(r.options->password, std::optional<int>(args[at + 1].toInt()));
        else if (!args.isEmpty() && args[0].startsWith(QLatin1String("--password=")))
            QCOMPARE(r.options->password, std::optional<int>(args[0].section('=', 1).toInt()));
        else
            QVERIFY(!r.options->password);
    }

    void commandLineErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown") << QStringList{"--turbo"} << "unknown option: --turbo";
        QTest::newRow("short unknown") << QStringList{"-x"} << "unknown option: -x";
        QTest::newRow("stray argument") << QStringList{"--demo", "DEMO"} << "unknown option: DEMO";
        QTest::newRow("switch with a value") << QStringList{"--fast=1"} << "unknown option: --fast=1";
        QTest::newRow("port at the end") << QStringList{"--demo", "--port"} << "--port needs a port name";
        QTest::newRow("port=") << QStringList{"--port="} << "--port needs a port name";
        QTest::newRow("report empty") << QStringList{"--report", ""} << "--report needs a file name";
        QTest::newRow("password") << QStringList{"--password", "1", "--password=x"}
                                  << "--password needs a whole number";
        QTest::newRow("shot and report") << QStringList{"--screenshot", "a.png", "--report", "r.pdf"}
                                         << "--screenshot and --report cannot be used together";
    }
    void commandLineErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const CommandLineResult r = parseCommandLine(QStringList{"kvam2100"} + args);
        QVERIFY(!r.options);
        QCOMPARE(r.error, error);
    }

    void flagsSwitchTheLanguage()
    {
        TForm1 f;
        auto* tabs = f.findChild<QTabWidget*>(QStringLiteral("CoolPageControl1"));
        const int meres = tabs->indexOf(f.findChild<QWidget*>(QStringLiteral("TabSheet_Meres")));
        QTest::mouseClick(f.findChild<QLabel*>(QStringLiteral("ImageAngol")), Qt::LeftButton);
        QCOMPARE(tabs->tabText(meres), QStringLiteral("Measuring"));
        QCOMPARE(f.windowTitle(), QStringLiteral("KVAM2100 settings              VELMAR"));
        QTest::mouseClick(f.findChild<QLabel*>(QStringLiteral("ImageMagyar")), Qt::LeftButton);
        QCOMPARE(tabs->tabText(meres), QStringLiteral("Mért értékek"));
        QCOMPARE(f.windowTitle(), QString::fromUtf8("KVAM2100 beállítás              VELMAR"));
    }

    void supportedVersionKeepsPolling()
    {
        TForm1 f;
        bool refused = false;
        f.prompts().refuseDevice = [&](const QString&) { refused = true; };
        test::Bytes version(22, 0);
        version[0] = 3;
        version[1] = 2;
        version[2] = 0x05;
        version[3] = 0x01;
        feed(f, test::makeFrame(15, version));
        QCoreApplication::processEvents();
        QVERIFY(!refused);
        QVERIFY(f.findChild<QTimer*>(QStringLiteral("CommTimer"))->isActive());
        QCOMPARE(f.findChild<QLineEdit*>(QStringLiteral("Programversion"))->text(),
                 QStringLiteral("3.2.261"));
    }
};

QTEST_MAIN(TstForm)
#include "tst_form.moc"
