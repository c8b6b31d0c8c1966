// The virtual meter: record layouts and their consistency, the receiver, memory, service codes,
// counters, faults, the in-process port and the stand-alone simulator on a pseudo-terminal.

#include "meter/AnswerSchedule.h"
#include "meter/FaultProfile.h"
#include "meter/FieldClamp.h"
#include "meter/FirmwareVersion.h"
#include "meter/VirtualMeter.h"
#include "meter/VirtualMeterPort.h"
#include "protocol/Commands.h"
#include "protocol/Frame.h"
#include "records/FieldValue.h"
#include "records/RecordLayout.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace kvam;

namespace {

std::span<const std::uint8_t> spanOf(const QByteArray& b)
{
    return {reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size())};
}

QByteArray makeFrame(std::uint8_t code, const QByteArray& payload = {})
{
    const auto p = spanOf(payload);
    const std::vector<std::uint8_t> f = Frame(code, std::vector<std::uint8_t>(p.begin(), p.end())).encode();
    return QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size()));
}

bool crcOk(const QByteArray& frame)
{
    return frameCrcOk(spanOf(frame));
}

template <typename T> T at(const QByteArray& payload, int offset)
{
    T v;
    std::memcpy(&v, payload.constData() + offset, sizeof v);
    return v;
}

float f32(const QByteArray& p, int o)
{
    return at<float>(p, o);
}

QByteArray pattern(int size, int seed)
{
    QByteArray b(size, '\0');
    for (int k = 0; k < size; ++k)
        b[k] = char((k * 37 + seed * 11 + 5) & 0xFF);
    return b;
}

template <std::size_t N> QByteArray bytesOf(const ByteImage<N>& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(N));
}

constexpr double kDeg = 3.141592653589793 / 180.0;

} // namespace

class TestMeter : public QObject
{
    Q_OBJECT

    double m_now = 0.0;
    std::unique_ptr<VirtualMeter> m_meter;

    VirtualMeter& freshMeter(VirtualMeterConfig config = {})
    {
        m_now = 0.0;
        m_meter = std::make_unique<VirtualMeter>(config, [this] { return m_now; });
        return *m_meter;
    }

    /// Sends one request and returns the payload of its one well-formed answer (empty on failure,
    /// after a failed check).
    QByteArray ask(std::uint8_t code, const QByteArray& payload = {})
    {
        const auto answers = m_meter->receive(makeFrame(code, payload));
        if (answers.size() != 1) {
            qWarning("expected one answer to command %d, got %d", code, int(answers.size()));
            return {};
        }
        const QByteArray& f = answers.front().bytes;
        const std::optional<Frame> frame = Frame::decode(spanOf(f));
        if (!frame || !crcOk(f) || frame->code() != code) {
            qWarning("malformed answer to command %d", code);
            return {};
        }
        return QByteArray(reinterpret_cast<const char*>(frame->payload().data()),
                          qsizetype(frame->payload().size()));
    }

    QByteArray askAt(double t, std::uint8_t code, const QByteArray& payload = {})
    {
        m_now = t;
        return ask(code, payload);
    }

private slots:
    void answersEveryCommand_data();
    void answersEveryCommand();
    void netRecordIsConsistent_data();
    void netRecordIsConsistent();
    void harmonicsMatchTheSpectrum_data();
    void harmonicsMatchTheSpectrum();
    void harmonicsOfDisabledAndUnknownChannels();
    void requestInPieces_data();
    void requestInPieces();
    void corruptRequestsGetNoAnswer_data();
    void corruptRequestsGetNoAnswer();
    void ramWriteThenRead_data();
    void ramWriteThenRead();
    void factoryContents();
    void serviceCodes_data();
    void serviceCodes();
    void errorFlagsFollowTheNetwork_data();
    void errorFlagsFollowTheNetwork();
    void staticErrorsLatchAndErrorMaskFollowsRam2();
    void energyIntegratesOverTime();
    void energyIgnoresAStoppedOrBackwardClock();
    void demandProgresses();
    void versionRecord_data();
    void versionRecord();
    void caldataFollowsRam3();
    void ioBitsAndServiceWrites();
    void firmwareVersionParser_data();
    void firmwareVersionParser();
    void faultProfileParser_data();
    void faultProfileParser();
    void faultInjection_data();
    void faultInjection();
    void lateWriteAcknowledgements_data();
    void lateWriteAcknowledgements();
    void fieldClampParser_data();
    void fieldClampParser();
    void clampedWrites_data();
    void clampedWrites();
    void answerSchedule_data();
    void answerSchedule();
    void portAnswersThroughTheEventLoop();
    void portLateAndSplitAnswers();
    void portPacedAnswerArrivesInChunks();
    void portOnAMovedCable_data();
    void portOnAMovedCable();
    void simulatorOverPseudoTerminal_data();
    void simulatorOverPseudoTerminal();
    void simulatorRejectsBadOptions_data();
    void simulatorRejectsBadOptions();
};

void TestMeter::answersEveryCommand_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("answerSize");

    QTest::newRow("Read_State") << 1 << QByteArray(1, '\0') << 16;
    QTest::newRow("Write_State") << 2 << QByteArray(1, '\0') << 1;
    QTest::newRow("Read_Net") << 3 << QByteArray() << 180;
    QTest::newRow("Read_RAM1") << 4 << QByteArray() << 212;
    QTest::newRow("Write_RAM1") << 5 << pattern(212, 1) << 1;
    QTest::newRow("Read_RAM2") << 6 << QByteArray() << 314;
    QTest::newRow("Write_RAM2") << 7 << pattern(314, 2) << 1;
    QTest::newRow("Read_RAM3") << 8 << QByteArray() << 154;
    QTest::newRow("Write_RAM3") << 9 << pattern(154, 3) << 1;
    QTest::newRow("Read_Caldata") << 10 << QByteArray() << 48;
    QTest::newRow("Write_Digout") << 11 << QByteArray(1, '\x01') << 1;
    QTest::newRow("Write_DAcalib") << 12 << QByteArray(1, '\x11') << 1;
    QTest::newRow("Write_DAtest") << 13 << QByteArray::fromHex("00004842") << 1;
    QTest::newRow("Read_EPdata") << 14 << QByteArray(1, '\0') << 32;
    QTest::newRow("Read_Version") << 15 << QByteArray() << 22;
    QTest::newRow("Read_Harmonics") << 16 << QByteArray(1, '\x03') << 45;
}

void TestMeter::answersEveryCommand()
{
    QFETCH(int, code);
    QFETCH(QByteArray, request);
    QFETCH(int, answerSize);

    freshMeter();
    m_now = 17.0;
    const auto answers = m_meter->receive(makeFrame(std::uint8_t(code), request));
    QCOMPARE(answers.size(), std::size_t(1));
    const QByteArray& f = answers.front().bytes;
    QCOMPARE(answers.front().code, std::uint8_t(code));
    QCOMPARE(int(std::uint8_t(f[0])), code);
    QCOMPARE(std::uint8_t(f[1]) | (std::uint8_t(f[2]) << 8), answerSize + 2);
    QCOMPARE(int(f.size()), answerSize + 5);
    QVERIFY(crcOk(f));
    QVERIFY(answers.front().pieces.empty());
    QCOMPARE(answers.front().delayMs, 0);
}

void TestMeter::netRecordIsConsistent_data()
{
    QTest::addColumn<double>("t");
    QTest::newRow("start") << 0.0;
    QTest::newRow("t=12.3") << 12.3;
    QTest::newRow("L2 dip") << 31.0;
    QTest::newRow("L3 surge") << 41.0;
    QTest::newRow("L1 dip") << 50.7;
    QTest::newRow("hours later") << 18000.7;
}

void TestMeter::netRecordIsConsistent()
{
    QFETCH(double, t);
    freshMeter();
    const QByteArray n = askAt(t, Read_Net);
    QCOMPARE(n.size(), 180);

    double u[3], i[3], fi[3];
    double sumP = 0, sumQ = 0, sumS = 0;
    for (int ph = 0; ph < 3; ++ph) {
        u[ph] = f32(n, 12 + 4 * ph);
        i[ph] = f32(n, 24 + 4 * ph);
        fi[ph] = f32(n, 88 + 4 * ph);
        QVERIFY2(u[ph] > 150 && u[ph] < 260, qPrintable(QString::number(u[ph])));
        QVERIFY2(i[ph] > 0.5 && i[ph] < 8, qPrintable(QString::number(i[ph])));
        QVERIFY(fi[ph] > -60 && fi[ph] < 60);
        const double f = f32(n, 120 + 4 * ph);
        QVERIFY2(f > 49.9 && f < 50.1, qPrintable(QString::number(f)));

        const double p = f32(n, 40 + 4 * ph), q = f32(n, 52 + 4 * ph), s = f32(n, 64 + 4 * ph);
        QVERIFY(std::abs(s - u[ph] * i[ph]) < 1e-4 * s);
        QVERIFY(std::abs(p - s * std::cos(fi[ph] * kDeg)) < 1e-3 * s);
        QVERIFY(std::abs(q - s * std::sin(fi[ph] * kDeg)) < 1e-3 * s);
        QVERIFY(std::abs(f32(n, 76 + 4 * ph) - p / s) < 1e-5);
        sumP += p;
        sumQ += q;
        sumS += s;
    }
    QVERIFY(std::abs(f32(n, 100) - sumP) < 1e-4 * sumS);
    QVERIFY(std::abs(f32(n, 104) - sumQ) < 1e-4 * sumS);
    QVERIFY(std::abs(f32(n, 108) - sumS) < 1e-4 * sumS);
    QVERIFY(std::abs(f32(n, 112) - sumP / sumS) < 1e-5);

    // Positive phase order: L2 at 240 degrees, L3 at 120 degrees from L1.
    const double a2 = f32(n, 132), a3 = f32(n, 136);
    QVERIFY2(std::abs(a2 - 240) < 3, qPrintable(QString::number(a2)));
    QVERIFY2(std::abs(a3 - 120) < 3, qPrintable(QString::number(a3)));
    auto line = [](double ua, double ub, double angle) {
        return std::sqrt(ua * ua + ub * ub - 2 * ua * ub * std::cos(angle * kDeg));
    };
    QVERIFY(std::abs(f32(n, 0) - line(u[0], u[1], a2)) < 1e-3 * f32(n, 0));
    QVERIFY(std::abs(f32(n, 4) - line(u[1], u[2], a2 - a3)) < 1e-3 * f32(n, 4));
    QVERIFY(std::abs(f32(n, 8) - line(u[0], u[2], a3)) < 1e-3 * f32(n, 8));

    for (int ch = 0; ch < 6; ++ch) {
        const double thd = f32(n, 156 + 4 * ch);
        if (ch < 3)
            QVERIFY2(thd > 0.5 && thd < 6, qPrintable(QString::number(thd)));
        else
            QVERIFY2(thd > 6 && thd < 30, qPrintable(QString::number(thd)));
    }
}

void TestMeter::harmonicsMatchTheSpectrum_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<double>("t");
    const char* names[] = {"L1 U", "L2 U", "L3 U", "L1 I", "L2 I", "L3 I"};
    for (int ch = 0; ch < 6; ++ch) {
        QTest::addRow("%s t=0", names[ch]) << ch << 0.0;
        QTest::addRow("%s t=123.4", names[ch]) << ch << 123.4;
    }
}

void TestMeter::harmonicsMatchTheSpectrum()
{
    QFETCH(int, channel);
    QFETCH(double, t);
    freshMeter();
    const QByteArray h = askAt(t, Read_Harmonics, QByteArray(1, char(channel)));
    QCOMPARE(h.size(), 45);
    QCOMPARE(int(std::uint8_t(h[0])), channel);
    std::uint16_t bars[20];
    for (int k = 0; k < 20; ++k)
        bars[k] = at<std::uint16_t>(h, 5 + 2 * k);
    QCOMPARE(bars[0], std::uint16_t(1000));
    double sq = 0;
    for (int k = 1; k < 20; ++k) {
        sq += double(bars[k]) * bars[k];
        const int order = k + 1;
        if (order % 2 == 0)
            QCOMPARE(bars[k], std::uint16_t(0));
        else if (order >= 5)
            QVERIFY(bars[k] <= bars[k - 2]);
    }
    QVERIFY(bars[2] > 0);
    const double thd = at<float>(h, 1); // unaligned on purpose
    QVERIFY(std::abs(thd - std::sqrt(sq) / 10.0) < 1e-3);

    const QByteArray n = ask(Read_Net);
    QVERIFY(std::abs(f32(n, 156 + 4 * channel) - thd) < 1e-4);
}

void TestMeter::harmonicsOfDisabledAndUnknownChannels()
{
    freshMeter();
    QByteArray ram2 = ask(Read_RAM2);
    ram2[311] = char(0x3F & ~(1 << 4)); // L2 I off
    QCOMPARE(ask(Write_RAM2, ram2).size(), 1);

    const QByteArray off = ask(Read_Harmonics, QByteArray(1, '\x04'));
    QCOMPARE(off, QByteArray(1, '\x04') + QByteArray(44, '\0'));
    const QByteArray on = ask(Read_Harmonics, QByteArray(1, '\x03'));
    QCOMPARE(at<std::uint16_t>(on, 5), std::uint16_t(1000));
    const QByteArray unknown = ask(Read_Harmonics, QByteArray(1, '\x09'));
    QCOMPARE(unknown, QByteArray(1, '\x09') + QByteArray(44, '\0'));
}

void TestMeter::requestInPieces_data()
{
    QTest::addColumn<QList<QByteArray>>("parts");
    QTest::addColumn<int>("answers");

    const QByteArray version = makeFrame(Read_Version);
    const QByteArray ram2 = makeFrame(Write_RAM2, pattern(314, 4));
    QList<QByteArray> bytewise;
    for (char c : version)
        bytewise << QByteArray(1, c);
    QTest::newRow("byte by byte") << bytewise << 1;
    QTest::newRow("long request in three")
        << QList<QByteArray>{ram2.left(2), ram2.mid(2, 200), ram2.mid(202)} << 1;
    QTest::newRow("garbage in front") << QList<QByteArray>{QByteArray::fromHex("00ff7e"), version} << 1;
    QTest::newRow("stray header in front") << QList<QByteArray>{QByteArray::fromHex("0103") + version} << 1;
    QTest::newRow("stray header overlapping a request")
        << QList<QByteArray>{QByteArray::fromHex("0F0200") + version} << 1;
    QTest::newRow("code of a long request in front")
        << QList<QByteArray>{QByteArray::fromHex("07") + version.left(3), version.mid(3)} << 1;
    QTest::newRow("two requests in one write")
        << QList<QByteArray>{version + makeFrame(Read_State, QByteArray(1, 0))} << 2;
}

void TestMeter::requestInPieces()
{
    QFETCH(QList<QByteArray>, parts);
    QFETCH(int, answers);
    freshMeter();
    for (int k = 0; k < parts.size() - 1; ++k)
        QVERIFY(m_meter->receive(parts[k]).empty());
    const auto got = m_meter->receive(parts.last());
    QCOMPARE(int(got.size()), answers);
    for (const MeterAnswer& a : got)
        QVERIFY(crcOk(a.bytes));
    QCOMPARE(m_meter->pendingBytes(), qsizetype(0));
}

void TestMeter::corruptRequestsGetNoAnswer_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("flipAt");
    QTest::addColumn<bool>("countsAsBadCrc");

    const QByteArray version = makeFrame(Read_Version);
    const QByteArray ram2 = makeFrame(Write_RAM2, pattern(314, 5));
    QTest::newRow("CRC low byte") << version << 3 << true;
    QTest::newRow("CRC high byte") << version << 4 << true;
    QTest::newRow("length") << version << 1 << false;
    QTest::newRow("code") << version << 0 << false;
    QTest::newRow("RAM2 payload byte") << ram2 << 100 << true;
}

void TestMeter::corruptRequestsGetNoAnswer()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, flipAt);
    QFETCH(bool, countsAsBadCrc);
    freshMeter();
    const QByteArray ram2Before = bytesOf(m_meter->ram2());

    frame[flipAt] = char(frame[flipAt] ^ 0x01);
    QVERIFY(m_meter->receive(frame).empty());
    QCOMPARE(m_meter->stats().badCrc > 0, countsAsBadCrc);
    QCOMPARE(bytesOf(m_meter->ram2()), ram2Before);
    // The receiver is in step again for the next good request.
    const auto next = m_meter->receive(makeFrame(Read_Version));
    QCOMPARE(next.size(), std::size_t(1));
    QCOMPARE(m_meter->stats().requests, 1);
}

void TestMeter::ramWriteThenRead_data()
{
    QTest::addColumn<int>("writeCode");
    QTest::addColumn<int>("readCode");
    QTest::addColumn<int>("size");
    QTest::newRow("RAM1") << 5 << 4 << 212;
    QTest::newRow("RAM2") << 7 << 6 << 314;
    QTest::newRow("RAM3") << 9 << 8 << 154;
}

void TestMeter::ramWriteThenRead()
{
    QFETCH(int, writeCode);
    QFETCH(int, readCode);
    QFETCH(int, size);
    freshMeter();
    const QByteArray before = askAt(10.0, std::uint8_t(readCode));
    QCOMPARE(before.size(), size);
    const QByteArray image = pattern(size, writeCode);
    QVERIFY(image != before);
    QCOMPARE(ask(std::uint8_t(writeCode), image), QByteArray(1, '\0'));
    QCOMPARE(ask(std::uint8_t(readCode)), image);
}

void TestMeter::factoryContents()
{
    freshMeter();
    const QByteArray r2 = ask(Read_RAM2);
    for (int k = 0; k < 6; ++k)
        QCOMPARE(f32(r2, 2 + 4 * k), 1.0f);
    QCOMPARE(at<std::uint16_t>(r2, 176), std::uint16_t(0)); // arrangement
    QCOMPARE(int(std::uint8_t(r2[297])), 1);                // Modbus address
    QVERIFY(f32(r2, 58) > f32(r2, 42));                     // upper limit above the lower one
    QCOMPARE(at<std::uint16_t>(r2, 206), std::uint16_t(4000));
    QCOMPARE(at<std::uint16_t>(r2, 214), std::uint16_t(20000));
    const std::uint16_t integration = at<std::uint16_t>(r2, 174);
    QVERIFY(integration >= 1 && integration <= 10);

    const QByteArray r3 = ask(Read_RAM3);
    QCOMPARE(at<std::uint32_t>(r3, 4), 21001234u);
    QVERIFY(std::uint8_t(r3[3]) >= 1 && std::uint8_t(r3[3]) <= 12);
    QCOMPARE(at<std::uint16_t>(r3, 8), std::uint16_t(0x12)); // 2 outputs 3 inputs; 2 analog outputs
    QCOMPARE(at<std::uint16_t>(r3, 10), std::uint16_t(4000));
    QCOMPARE(at<std::uint16_t>(r3, 18), std::uint16_t(20000));
    for (int ch = 0; ch < 6; ++ch) {
        QCOMPARE(f32(r3, 52 + 4 * ch), ch % 2 ? 5.0f : 230.0f);
        QVERIFY(at<std::uint16_t>(r3, 40 + 2 * ch) > 1000);
        QVERIFY(std::abs(at<std::int16_t>(r3, 28 + 2 * ch)) <= 200);
    }

    const QByteArray r1 = ask(Read_RAM1);
    for (int kind = 0; kind < 4; ++kind) {
        const int base = 2 + 32 * kind;
        QCOMPARE(at<std::int64_t>(r1, base + 24), at<std::int64_t>(r1, base) +
                                                      at<std::int64_t>(r1, base + 8) +
                                                      at<std::int64_t>(r1, base + 16));
    }
}

void TestMeter::serviceCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("ram2Restored");
    QTest::addColumn<bool>("ram3Restored");
    QTest::addColumn<bool>("errorsCleared");
    QTest::newRow("none") << 0 << false << false << false;
    QTest::newRow("factory defaults") << 1 << true << true << false;
    QTest::newRow("clear errors") << 2 << false << false << true;
    QTest::newRow("user defaults") << 4 << true << false << false;
}

void TestMeter::serviceCodes()
{
    QFETCH(int, code);
    QFETCH(bool, ram2Restored);
    QFETCH(bool, ram3Restored);
    QFETCH(bool, errorsCleared);
    freshMeter();
    const QByteArray factory2 = askAt(31.0, Read_RAM2); // during the L2 dip: an error is latched
    const QByteArray factory3 = ask(Read_RAM3);
    QByteArray ram2 = factory2, ram3 = factory3;
    ram2[297] = 17;              // Modbus address
    ram3[4] = char(ram3[4] + 1); // factory number
    ask(Write_RAM2, ram2);
    ask(Write_RAM3, ram3);

    const QByteArray state = askAt(36.0, Read_State, QByteArray(1, char(code)));
    QCOMPARE(state.size(), 16);
    QCOMPARE(at<std::uint32_t>(state, 0) == 0, errorsCleared);
    QCOMPARE(ask(Read_RAM2), ram2Restored ? factory2 : ram2);
    QCOMPARE(ask(Read_RAM3), ram3Restored ? factory3 : ram3);
    // The code is one-shot: the next plain state request changes nothing.
    QCOMPARE(ask(Read_State, QByteArray(1, '\0')).size(), 16);
    QCOMPARE(ask(Read_RAM2), ram2Restored ? factory2 : ram2);
}

void TestMeter::errorFlagsFollowTheNetwork_data()
{
    QTest::addColumn<double>("t");
    QTest::addColumn<quint32>("dynamic");
    QTest::newRow("quiet network") << 5.0 << quint32(0);
    QTest::newRow("L1 dip") << 50.7 << quint32(1u << 0);
    QTest::newRow("L2 dip") << 31.0 << quint32(1u << 1);
    QTest::newRow("L3 over-current") << 41.0 << quint32(1u << 11);
}

void TestMeter::errorFlagsFollowTheNetwork()
{
    QFETCH(double, t);
    QFETCH(quint32, dynamic);
    freshMeter();
    const QByteArray s = askAt(t, Read_State, QByteArray(1, '\0'));
    QCOMPARE(at<std::uint32_t>(s, 4), dynamic);
    QCOMPARE(at<std::uint32_t>(s, 0) & dynamic, dynamic);
}

void TestMeter::staticErrorsLatchAndErrorMaskFollowsRam2()
{
    freshMeter();
    askAt(0.0, Read_Net);
    // The meter is polled only before and after the dip; the dip is still caught in between.
    const QByteArray s = askAt(36.0, Read_State, QByteArray(1, '\0'));
    QCOMPARE(at<std::uint32_t>(s, 4), 0u);
    QVERIFY(at<std::uint32_t>(s, 0) & (1u << 1));
    const QByteArray cleared = ask(Read_State, QByteArray(1, '\x02'));
    QCOMPARE(at<std::uint32_t>(cleared, 0), 0u);

    QByteArray ram2 = ask(Read_RAM2);
    QCOMPARE(at<std::uint32_t>(s, 8), at<std::uint32_t>(ram2, 154));
    const std::uint32_t mask = 0x00012345;
    std::memcpy(ram2.data() + 154, &mask, 4);
    ask(Write_RAM2, ram2);
    QCOMPARE(at<std::uint32_t>(ask(Read_State, QByteArray(1, '\0')), 8), mask);
}

void TestMeter::energyIntegratesOverTime()
{
    freshMeter();
    const QByteArray start = askAt(0.0, Read_RAM1);
    double meanP[3] = {}, meanQ2 = 0, meanSum = 0;
    int samples = 0;
    for (double t = 0.5; t < 3600.0; t += 1.0, ++samples) {
        const QByteArray n = askAt(t, Read_Net);
        for (int ph = 0; ph < 3; ++ph)
            meanP[ph] += f32(n, 40 + 4 * ph);
        meanQ2 += f32(n, 56);
        meanSum += f32(n, 100);
    }
    const QByteArray end = askAt(3600.0, Read_RAM1);
    auto delta = [&](int offset) {
        return double(at<std::int64_t>(end, offset) - at<std::int64_t>(start, offset));
    };

    for (int ph = 0; ph < 3; ++ph) {
        const double expected = meanP[ph] / samples; // Wh in one hour
        QVERIFY2(
            std::abs(delta(2 + 8 * ph) - expected) < 0.01 * expected,
            qPrintable(
                QStringLiteral("L%1: %2 Wh, expected %3").arg(ph + 1).arg(delta(2 + 8 * ph)).arg(expected)));
        QCOMPARE(delta(34 + 8 * ph), 0.0); // no export
    }
    QVERIFY(std::abs(delta(26) - meanSum / samples) < 0.01 * meanSum / samples);
    QVERIFY(std::abs(delta(26) - (delta(2) + delta(10) + delta(18))) <= 3);
    // L2 swings between inductive and capacitive: both reactive counters move, net as measured.
    QVERIFY(delta(66 + 8) > 0);
    QVERIFY(delta(98 + 8) > 0);
    QVERIFY(std::abs((delta(66 + 8) - delta(98 + 8)) - meanQ2 / samples) <
            0.02 * std::abs(delta(66 + 8)) + 2);
}

void TestMeter::energyIgnoresAStoppedOrBackwardClock()
{
    freshMeter();
    const QByteArray first = askAt(500.0, Read_RAM1);
    QCOMPARE(askAt(500.0, Read_RAM1), first);
    QCOMPARE(askAt(100.0, Read_RAM1), first);
    QVERIFY(askAt(600.0, Read_RAM1) != first);
}

void TestMeter::demandProgresses()
{
    freshMeter();
    const QByteArray e1 = askAt(100.0, Read_EPdata, QByteArray(1, '\0'));
    const QByteArray e2 = askAt(400.0, Read_EPdata, QByteArray(1, '\0'));
    QCOMPARE(at<std::uint16_t>(e1, 24), std::uint16_t(1000));
    QCOMPARE(at<std::uint16_t>(e2, 24), std::uint16_t(4000));
    QVERIFY(at<std::uint32_t>(e2, 20) > at<std::uint32_t>(e1, 20));
    QCOMPARE(at<std::uint32_t>(e2, 16), 5000u); // contracted: RAM2 MaxEP[0] / 1000
    const double current = at<std::uint32_t>(e2, 20), estimated = at<std::uint32_t>(e2, 12);
    QVERIFY(std::abs(estimated - current * 900.0 / 400.0) < 0.01 * estimated);
    QVERIFY(estimated > 1000 && estimated < 10000);

    const QByteArray end = askAt(899.0, Read_EPdata, QByteArray(1, '\0'));
    const QByteArray next = askAt(950.0, Read_EPdata, QByteArray(1, '\0'));
    QCOMPARE(at<std::uint16_t>(next, 24), std::uint16_t(500));
    QVERIFY(at<std::uint32_t>(next, 20) < at<std::uint32_t>(end, 20));
    QVERIFY(std::abs(double(at<std::uint32_t>(next, 8)) - at<std::uint32_t>(end, 20)) <
            0.01 * at<std::uint32_t>(end, 20));

    QByteArray ram2 = ask(Read_RAM2);
    const std::uint32_t maxEp = 1234567;
    std::memcpy(ram2.data() + 158, &maxEp, 4);
    ask(Write_RAM2, ram2);
    QCOMPARE(at<std::uint32_t>(ask(Read_EPdata, QByteArray(1, '\0')), 16), 1235u);
}

void TestMeter::versionRecord_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("build");
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QByteArray>("dateField");
    QTest::newRow("default 3.x.x") << 3 << 2 << 7 << QByteArray("2023.05.17")
                                   << QByteArray("2023.05.17\0\0", 12);
    QTest::newRow("unsupported 4.0.0")
        << 4 << 0 << 0 << QByteArray("2024.01.02") << QByteArray("2024.01.02\0\0", 12);
    QTest::newRow("largest build") << 3 << 255 << 65535 << QByteArray("2023.05.17ab")
                                   << QByteArray("2023.05.17ab");
    QTest::newRow("long date cut") << 3 << 1 << 12 << QByteArray("2023.05.17 12:00")
                                   << QByteArray("2023.05.17 1");
}

void TestMeter::versionRecord()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, build);
    QFETCH(QByteArray, date);
    QFETCH(QByteArray, dateField);
    VirtualMeterConfig config;
    config.version = {std::uint8_t(major), std::uint8_t(minor), std::uint16_t(build)};
    config.firmwareDate = date;
    config.factoryNumber = 0xFFFFFFF0u;
    config.factoryYear = 23;
    config.factoryMonth = 5;
    freshMeter(config);

    const QByteArray v = ask(Read_Version);
    QCOMPARE(int(std::uint8_t(v[0])), major);
    QCOMPARE(int(std::uint8_t(v[1])), minor);
    QCOMPARE(int(at<std::uint16_t>(v, 2)), build);
    QCOMPARE(v.mid(4, 12), dateField);
    QCOMPARE(int(std::uint8_t(v[16])), 23);
    QCOMPARE(int(std::uint8_t(v[17])), 5);
    QCOMPARE(at<std::uint32_t>(v, 18), 0xFFFFFFF0u);

    // The identity is RAM3's: a new factory number written there is reported at once.
    QByteArray ram3 = ask(Read_RAM3);
    const std::uint32_t number = 21009999;
    std::memcpy(ram3.data() + 4, &number, 4);
    ram3[2] = 24;
    ask(Write_RAM3, ram3);
    const QByteArray after = ask(Read_Version);
    QCOMPARE(at<std::uint32_t>(after, 18), number);
    QCOMPARE(int(std::uint8_t(after[16])), 24);
}

void TestMeter::caldataFollowsRam3()
{
    freshMeter();
    const QByteArray ram3 = askAt(20.0, Read_RAM3);
    const QByteArray net = ask(Read_Net);
    const QByteArray cal = ask(Read_Caldata);
    QCOMPARE(cal.size(), 48);
    // Caldata runs L1 U, L1 I, L2 U, L2 I, L3 U, L3 I; the net record keeps voltages and currents apart.
    for (int ch = 0; ch < 6; ++ch) {
        QCOMPARE(cal.mid(12 + 4 * ch, 4), ram3.mid(52 + 4 * ch, 4));
        const double measured = f32(net, (ch % 2 ? 24 : 12) + 4 * (ch / 2));
        const double expectedAd = at<std::uint16_t>(ram3, 40 + 2 * ch) * measured / f32(ram3, 52 + 4 * ch);
        QVERIFY2(std::abs(at<std::uint16_t>(cal, 2 * ch) - expectedAd) <= 1.0,
                 qPrintable(QStringLiteral("channel %1: %2 vs %3")
                                .arg(ch)
                                .arg(at<std::uint16_t>(cal, 2 * ch))
                                .arg(expectedAd)));
        QVERIFY(std::abs(at<std::int16_t>(cal, 36 + 2 * ch)) <= 10);
    }

    QByteArray changed = ram3;
    const float nominal = 100.0f;
    std::memcpy(changed.data() + 52, &nominal, 4);
    ask(Write_RAM3, changed);
    const QByteArray cal2 = ask(Read_Caldata);
    QCOMPARE(f32(cal2, 12), 100.0f);
    QVERIFY(std::abs(at<std::uint16_t>(cal2, 0) - at<std::uint16_t>(cal, 0) * 2.3) < 4);
}

void TestMeter::ioBitsAndServiceWrites()
{
    freshMeter();
    QCOMPARE(m_meter->daCalibCode(), std::nullopt);
    QCOMPARE(m_meter->daTestValue(), std::nullopt);

    const std::uint8_t digouts[] = {0x02, 0x03, 0x01, 0x00};
    for (std::uint8_t d : digouts) {
        ask(Write_Digout, QByteArray(1, char(d)));
        QCOMPARE(m_meter->digoutByte(), d);
        QCOMPARE(std::uint8_t(ask(Read_State, QByteArray(1, '\0'))[13]) & 0x03, int(d));
    }
    // Inputs move slowly: over a minute each is seen both on and off; unused bits stay clear.
    int seenOn[3] = {}, seenOff[3] = {};
    for (int t = 0; t < 60; ++t) {
        const std::uint8_t io = std::uint8_t(askAt(t, Read_State, QByteArray(1, '\0'))[13]);
        QCOMPARE(io & 0x8C, 0);
        for (int k = 0; k < 3; ++k)
            (io & (0x10 << k) ? seenOn : seenOff)[k]++;
    }
    for (int k = 0; k < 3; ++k)
        QVERIFY(seenOn[k] > 0 && seenOff[k] > 0);

    ask(Write_DAcalib, QByteArray(1, '\x11'));
    QCOMPARE(m_meter->daCalibCode(), std::optional<std::uint8_t>(0x11));
    ask(Write_DAtest, QByteArray::fromHex("00004842"));
    QCOMPARE(m_meter->daTestValue(), std::optional<float>(50.0f));

    // Without the input/output module there is nothing to report.
    ask(Write_Digout, QByteArray(1, '\x03'));
    QByteArray ram3 = ask(Read_RAM3);
    ram3[8] = 0;
    ask(Write_RAM3, ram3);
    QCOMPARE(int(ask(Read_State, QByteArray(1, '\0'))[13]), 0);
}

void TestMeter::firmwareVersionParser_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("normalised");
    QTest::newRow("3.2.7") << "3.2.7" << true << "3.2.7";
    QTest::newRow("4.0.0") << "4.0.0" << true << "4.0.0";
    QTest::newRow("limits") << "255.255.65535" << true << "255.255.65535";
    QTest::newRow("leading zeros") << "03.01.0012" << true << "3.1.12";
    QTest::newRow("two parts") << "3.2" << false << "";
    QTest::newRow("four parts") << "3.2.1.0" << false << "";
    QTest::newRow("letters") << "3.x.1" << false << "";
    QTest::newRow("negative") << "3.-1.1" << false << "";
    QTest::newRow("major too big") << "256.0.0" << false << "";
    QTest::newRow("build too big") << "3.0.65536" << false << "";
    QTest::newRow("empty part") << "3..1" << false << "";
    QTest::newRow("empty") << "" << false << "";
}

void TestMeter::firmwareVersionParser()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, normalised);
    const auto result = parseFirmwareVersion(text);
    QCOMPARE(bool(result), ok);
    if (ok)
        QCOMPARE(result.value->toString(), normalised);
    else
        QVERIFY(!result.error.isEmpty());
}

void TestMeter::faultProfileParser_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<double>>("expected"); // drop, crc, late, split, garbage, latewrite

    QTest::newRow("all five") << "drop=0.1,crc=0.05,late=0.05,split=0.3,garbage=0.1" << true
                              << QList<double>{0.1, 0.05, 0.05, 0.3, 0.1, 0};
    QTest::newRow("some, any order, blanks")
        << " split = 1 , drop=0 " << true << QList<double>{0, 0, 0, 1, 0, 0};
    QTest::newRow("late write acknowledgements")
        << "latewrite=0.25,late=0.05" << true << QList<double>{0, 0, 0.05, 0, 0, 0.25};
    QTest::newRow("empty") << "" << true << QList<double>{0, 0, 0, 0, 0, 0};
    QTest::newRow("unknown key") << "drop=0.1,noise=0.2" << false << QList<double>{};
    QTest::newRow("no value") << "drop" << false << QList<double>{};
    QTest::newRow("not a number") << "crc=often" << false << QList<double>{};
    QTest::newRow("above one") << "late=1.5" << false << QList<double>{};
    QTest::newRow("negative") << "late=-0.1" << false << QList<double>{};
    QTest::newRow("nan") << "late=nan" << false << QList<double>{};
    QTest::newRow("repeated") << "drop=0.1,drop=0.2" << false << QList<double>{};
    QTest::newRow("empty item") << "drop=0.1,,crc=0.1" << false << QList<double>{};
}

void TestMeter::faultProfileParser()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QList<double>, expected);
    const auto result = parseFaultProfile(text);
    QCOMPARE(bool(result), ok);
    if (!ok) {
        QVERIFY(!result.error.isEmpty());
        return;
    }
    const FaultProfile& f = *result.value;
    QCOMPARE(QList<double>({f.drop, f.crc, f.late, f.split, f.garbage, f.lateWrite}), expected);
}

void TestMeter::faultInjection_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("probability");
    for (const char* kind : {"drop", "crc", "late", "split", "garbage"}) {
        QTest::addRow("%s always", kind) << QString::fromLatin1(kind) << 1.0;
        QTest::addRow("%s never", kind) << QString::fromLatin1(kind) << 0.0;
    }
}

void TestMeter::faultInjection()
{
    QFETCH(QString, kind);
    QFETCH(double, probability);
    VirtualMeterConfig config;
    const auto profile = parseFaultProfile(QStringLiteral("%1=%2").arg(kind).arg(probability));
    QVERIFY(profile);
    config.faults = *profile.value;
    freshMeter(config);

    const QByteArray frame = makeFrame(Read_Version);
    const bool always = probability == 1.0;
    int answered = 0;
    for (int k = 0; k < 20; ++k) {
        const auto answers = m_meter->receive(frame);
        for (const MeterAnswer& a : answers) {
            ++answered;
            const QByteArray tail = a.bytes.right(27);
            QCOMPARE(int(std::uint8_t(tail[0])), int(Read_Version));
            bool faulty = false;
            if (kind == QLatin1String("crc"))
                faulty = !crcOk(a.bytes);
            else if (kind == QLatin1String("late"))
                faulty = a.delayMs > 300;
            else if (kind == QLatin1String("split")) {
                faulty = a.pieces.size() >= 2;
                if (faulty)
                    QCOMPARE(std::accumulate(a.pieces.begin(), a.pieces.end(), 0), int(a.bytes.size()));
            } else if (kind == QLatin1String("garbage")) {
                faulty = a.bytes.size() > 27;
                QVERIFY(crcOk(tail));
            }
            QCOMPARE(faulty, always);
        }
    }
    QCOMPARE(answered, kind == QLatin1String("drop") && always ? 0 : 20);
    QCOMPARE(m_meter->stats().requests, 20);
}

void TestMeter::lateWriteAcknowledgements_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<double>("probability");
    QTest::addColumn<bool>("late");
    for (int code : {Write_RAM1, Write_RAM2, Write_RAM3}) {
        QTest::addRow("%s always", commandName(code)) << code << 1.0 << true;
        QTest::addRow("%s never", commandName(code)) << code << 0.0 << false;
    }
    for (int code : {Read_RAM2, Write_Digout, Write_DAtest, Read_Net})
        QTest::addRow("%s, not a memory write", commandName(code)) << code << 1.0 << false;
}

void TestMeter::lateWriteAcknowledgements()
{
    QFETCH(int, code);
    QFETCH(double, probability);
    QFETCH(bool, late);
    VirtualMeterConfig config;
    config.faults.lateWrite = probability;
    freshMeter(config);
    const auto c = std::uint8_t(code);
    for (int k = 0; k < 10; ++k) {
        const auto answers = m_meter->receive(makeFrame(c, QByteArray(requestPayloadSize(c), '\0')));
        QCOMPARE(answers.size(), std::size_t(1));
        QCOMPARE(answers.front().delayMs > 300, late);
        QVERIFY(crcOk(answers.front().bytes));
    }
    QCOMPARE(m_meter->stats().lateWrites, late ? 10 : 0);
}

void TestMeter::fieldClampParser_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed"); // toString(); empty: refused

    QTest::newRow("every element") << "RAM2.Ratio=70"
                                   << "RAM2.Ratio=70";
    QTest::newRow("one element, blanks, lower case record") << " ram2.Ratio [ 1 ] = 70.5 "
                                                            << "RAM2.Ratio[1]=70.5";
    QTest::newRow("negative threshold") << "RAM2.DoutHighLimit[0]=-12.25"
                                        << "RAM2.DoutHighLimit[0]=-12.25";
    QTest::newRow("scaled integer") << "RAM2.MaxEP[3]=4000"
                                    << "RAM2.MaxEP[3]=4000";
    QTest::newRow("RAM1 counter") << "RAM1.EPplus=1e9"
                                  << "RAM1.EPplus=1000000000";
    QTest::newRow("RAM3 single value") << "RAM3.Adhist=100"
                                       << "RAM3.Adhist=100";
    QTest::newRow("answer record") << "Net.L1urms=100"
                                   << "";
    QTest::newRow("unknown record") << "RAM4.Ratio=70"
                                    << "";
    QTest::newRow("unknown field") << "RAM2.Bogus=1"
                                   << "";
    QTest::newRow("field name's case") << "RAM2.ratio=70"
                                       << "";
    QTest::newRow("field of another record") << "RAM3.Ratio=1"
                                             << "";
    QTest::newRow("element past the field") << "RAM2.Ratio[6]=70"
                                            << "";
    QTest::newRow("single value indexed past") << "RAM2.Zajzar[1]=0.5"
                                               << "";
    QTest::newRow("no maximum") << "RAM2.Ratio="
                                << "";
    QTest::newRow("not a number") << "RAM2.Ratio=many"
                                  << "";
    QTest::newRow("nan") << "RAM2.Ratio=nan"
                         << "";
    QTest::newRow("infinite") << "RAM2.Ratio=inf"
                              << "";
    QTest::newRow("negative for an unsigned field") << "RAM2.MB01Addr=-1"
                                                    << "";
    QTest::newRow("beyond the type") << "RAM2.MB01Addr=256"
                                     << "";
    QTest::newRow("beyond the type once scaled") << "RAM2.MaxEP=4294968"
                                                 << "";
    QTest::newRow("no record") << "Ratio=70"
                               << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestMeter::fieldClampParser()
{
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    const auto result = parseFieldClamp(text);
    QCOMPARE(bool(result), !parsed.isEmpty());
    if (parsed.isEmpty()) {
        QVERIFY(!result.error.isEmpty());
        return;
    }
    QCOMPARE(result.value->toString(), parsed);
}

void TestMeter::clampedWrites_data()
{
    QTest::addColumn<QStringList>("clamps");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("written"); // in the field's units
    QTest::addColumn<double>("stored");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QStringList ratio1{"RAM2.Ratio[1]=70"};
    QTest::newRow("capped element") << ratio1 << "RAM2"
                                    << "Ratio" << 1 << 200.0 << 70.0;
    QTest::newRow("other element of the field") << ratio1 << "RAM2"
                                                << "Ratio" << 0 << 200.0 << 200.0;
    QTest::newRow("every element") << QStringList{"RAM2.Ratio=70"} << "RAM2"
                                   << "Ratio" << 4 << 150.0 << 70.0;
    QTest::newRow("at the maximum") << ratio1 << "RAM2"
                                    << "Ratio" << 1 << 70.0 << 70.0;
    QTest::newRow("below") << ratio1 << "RAM2"
                           << "Ratio" << 1 << 12.5 << 12.5;
    QTest::newRow("not a number stays") << ratio1 << "RAM2"
                                        << "Ratio" << 1 << nan << nan;
    QTest::newRow("negative maximum") << QStringList{"RAM2.DoutHighLimit[1]=-5"} << "RAM2"
                                      << "DoutHighLimit" << 1 << 1e6 << -5.0;
    QTest::newRow("scaled integer") << QStringList{"RAM2.MaxEP[2]=4000"} << "RAM2"
                                    << "MaxEP" << 2 << 5000.0 << 4000.0;
    QTest::newRow("scaled integer, fraction cut off") << QStringList{"RAM2.MaxEP[0]=1.2345"} << "RAM2"
                                                      << "MaxEP" << 0 << 10.0 << 1.234;
    QTest::newRow("byte") << QStringList{"RAM2.MB01Addr=100"} << "RAM2"
                          << "MB01Addr" << 0 << 200.0 << 100.0;
    QTest::newRow("RAM3 calibration") << QStringList{"RAM3.Calrms[0]=300"} << "RAM3"
                                      << "Calrms" << 0 << 400.0 << 300.0;
    QTest::newRow("RAM1 counter") << QStringList{"RAM1.EPplus[3]=1000"} << "RAM1"
                                  << "EPplus" << 3 << 5000.0 << 1000.0;
    QTest::newRow("the lower of two") << QStringList{"RAM2.Ratio=70", "RAM2.Ratio[1]=50"} << "RAM2"
                                      << "Ratio" << 1 << 200.0 << 50.0;
    QTest::newRow("clamp of another record") << QStringList{"RAM3.Calrms=1"} << "RAM2"
                                             << "Ratio" << 1 << 200.0 << 200.0;
}

void TestMeter::clampedWrites()
{
    QFETCH(QStringList, clamps);
    QFETCH(QString, record);
    QFETCH(QString, field);
    QFETCH(int, index);
    QFETCH(double, written);
    QFETCH(double, stored);
    VirtualMeterConfig config;
    for (const QString& c : clamps) {
        const auto clamp = parseFieldClamp(c);
        QVERIFY2(clamp, qPrintable(clamp.error));
        config.clamps.push_back(*clamp.value);
    }
    freshMeter(config);
    const int number = record.right(1).toInt(); // RAM1 4/5, RAM2 6/7, RAM3 8/9
    const auto readCode = std::uint8_t(2 + 2 * number), writeCode = std::uint8_t(3 + 2 * number);
    const FieldInfo* info = findRecordLayout(record.toStdString())->field(field.toStdString());
    QVERIFY(info);

    QByteArray image = askAt(5.0, readCode);
    auto bytes =
        std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(image.data()), std::size_t(image.size()));
    writeNumber(bytes, *info, std::size_t(index), written * info->scale);
    QCOMPARE(ask(writeCode, image), QByteArray(1, '\0')); // acknowledged as any write
    const QByteArray back = ask(readCode);
    const auto backBytes = spanOf(back);
    QCOMPARE(readNumber(backBytes, *info, std::size_t(index)) / info->scale, stored);
    // Only the capped element differs from what was written.
    const std::size_t at = info->offset + std::size_t(index) * info->width();
    QCOMPARE(back.left(qsizetype(at)), image.left(qsizetype(at)));
    QCOMPARE(back.mid(qsizetype(at + info->width())), image.mid(qsizetype(at + info->width())));
    const bool capped = !(written == stored || (std::isnan(written) && std::isnan(stored)));
    QCOMPARE(m_meter->stats().clamped, capped ? 1 : 0);
}

void TestMeter::answerSchedule_data()
{
    QTest::addColumn<bool>("pacing");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QList<int>>("pieces");
    QTest::newRow("unpaced whole") << false << 0 << QList<int>{};
    QTest::newRow("unpaced split") << false << 0 << QList<int>{5, 100, 214};
    QTest::newRow("unpaced late") << false << 400 << QList<int>{};
    QTest::newRow("paced whole") << true << 0 << QList<int>{};
    QTest::newRow("paced split") << true << 0 << QList<int>{5, 100, 214};
    QTest::newRow("paced late split") << true << 400 << QList<int>{300, 19};
}

void TestMeter::answerSchedule()
{
    QFETCH(bool, pacing);
    QFETCH(int, delayMs);
    QFETCH(QList<int>, pieces);
    MeterAnswer answer;
    answer.bytes = pattern(319, 9);
    answer.delayMs = delayMs;
    answer.pieces.assign(pieces.begin(), pieces.end());

    const auto chunks = scheduleAnswer(answer, pacing);
    QByteArray joined;
    QList<int> boundaries; // piece ends that no chunk may straddle
    int end = 0;
    for (int p : pieces)
        boundaries << (end += p);
    int last = 0;
    for (const TimedChunk& c : chunks) {
        QVERIFY(c.atMs >= last);
        last = c.atMs;
        QVERIFY(c.atMs >= delayMs);
        for (int b : boundaries)
            QVERIFY(!(joined.size() < b && joined.size() + c.bytes.size() > b));
        joined += c.bytes;
        if (pacing) {
            QVERIFY(c.bytes.size() <= kPacedChunkBytes);
            QVERIFY(c.atMs >= delayMs + lineTimeMs(joined.size()));
        } else {
            QCOMPARE(c.atMs, delayMs);
        }
    }
    QCOMPARE(joined, answer.bytes);
    if (!pacing)
        QCOMPARE(int(chunks.size()), std::max<int>(1, int(pieces.size())));
}

void TestMeter::portAnswersThroughTheEventLoop()
{
    VirtualMeterPort port(false);
    QVERIFY(!port.isOpen());
    QVERIFY(!port.write(makeFrame(Read_Version)));
    QVERIFY(port.open(QStringLiteral("COM3")).has_value());
    QVERIFY(!port.isOpen());
    QCOMPARE(port.open(QStringLiteral("DEMO")), std::nullopt);
    QVERIFY(port.isOpen());

    QStringList events;
    QByteArray rx;
    connect(&port, &SerialPort::txEmpty, this, [&] { events << QStringLiteral("tx"); });
    connect(&port, &SerialPort::received, this, [&](const QByteArray& b) {
        events << QStringLiteral("rx");
        rx += b;
    });
    QVERIFY(port.write(makeFrame(Read_Version)));
    QVERIFY(events.isEmpty()); // nothing happens inside write()
    QTRY_COMPARE(rx.size(), 27);
    QCOMPARE(events, QStringList({"tx", "rx"}));
    QVERIFY(crcOk(rx));
    QCOMPARE(int(std::uint8_t(rx[3])), 3); // firmware major

    // Closing drops what is still under way; the port then refuses writes.
    events.clear();
    rx.clear();
    QVERIFY(port.write(makeFrame(Read_Net)));
    port.close();
    QVERIFY(!port.write(makeFrame(Read_Net)));
    QCOMPARE(port.open(QStringLiteral("DEMO")), std::nullopt);
    QVERIFY(port.write(makeFrame(Read_State, QByteArray(1, '\0'))));
    QTRY_COMPARE(rx.size(), 21);
    QCOMPARE(int(std::uint8_t(rx[0])), int(Read_State));
}

void TestMeter::portLateAndSplitAnswers()
{
    VirtualMeterConfig config;
    config.faults.late = 1.0;
    config.faults.split = 1.0;
    VirtualMeterPort port(false, config);
    QCOMPARE(port.open(QStringLiteral("DEMO")), std::nullopt);
    QSignalSpy tx(&port, &SerialPort::txEmpty);
    QSignalSpy rx(&port, &SerialPort::received);
    QVERIFY(port.write(makeFrame(Read_Version)));
    QTRY_COMPARE(tx.count(), 1);
    QCOMPARE(rx.count(), 0); // held back past the answer time-out
    QTRY_VERIFY_WITH_TIMEOUT(rx.count() >= 2, 5000);
    QByteArray joined;
    QTRY_VERIFY([&] {
        joined.clear();
        for (const auto& args : rx)
            joined += args.at(0).toByteArray();
        return joined.size() == 27;
    }());
    QVERIFY(crcOk(joined));

    // An answer still held back when the port is closed never arrives after it is reopened.
    QVERIFY(port.write(makeFrame(Read_Version)));
    QTRY_COMPARE(tx.count(), 2);
    port.close();
    QCOMPARE(port.open(QStringLiteral("DEMO")), std::nullopt);
    rx.clear();
    QVERIFY(port.write(makeFrame(Read_State, QByteArray(1, '\0'))));
    QTRY_VERIFY_WITH_TIMEOUT(!rx.isEmpty(), 5000);
    QCOMPARE(int(std::uint8_t(rx.first().at(0).toByteArray().at(0))), int(Read_State));
}

void TestMeter::portPacedAnswerArrivesInChunks()
{
    VirtualMeterPort port(true);
    QVERIFY(port.pacing());
    QCOMPARE(port.open(QStringLiteral("DEMO")), std::nullopt);
    QStringList events;
    QByteArray rx;
    int reads = 0;
    connect(&port, &SerialPort::txEmpty, this, [&] { events << QStringLiteral("tx"); });
    connect(&port, &SerialPort::received, this, [&](const QByteArray& b) {
        if (events.isEmpty() || events.last() != QLatin1String("rx"))
            events << QStringLiteral("rx");
        rx += b;
        ++reads;
    });
    QVERIFY(port.write(makeFrame(Read_RAM2)));
    QTRY_COMPARE_WITH_TIMEOUT(rx.size(), 319, 5000);
    QCOMPARE(events, QStringList({"tx", "rx"}));
    QVERIFY(reads >= 319 / kPacedChunkBytes);
    QVERIFY(crcOk(rx));
}

void TestMeter::portOnAMovedCable_data()
{
    QTest::addColumn<bool>("pacing");
    QTest::newRow("unpaced") << false;
    QTest::newRow("paced") << true;
}

void TestMeter::portOnAMovedCable()
{
    QFETCH(bool, pacing);
    VirtualMeterConfig a, b;
    b.factoryNumber = 21005678;
    VirtualMeter meterA(a), meterB(b);
    QList<std::uint32_t> reached; // factory numbers of the meters requests reached, in order
    meterA.setRequestWatcher([&](std::uint8_t, std::span<const std::uint8_t>) { reached << 21001234u; });
    meterB.setRequestWatcher([&](std::uint8_t, std::span<const std::uint8_t>) { reached << 21005678u; });
    VirtualMeterPort::Cable cable(&meterA);
    VirtualMeterPort port(pacing, QStringLiteral("LINE2"), cable);
    QVERIFY(port.open(QStringLiteral("DEMO")).has_value());
    QCOMPARE(port.open(QStringLiteral("LINE2")), std::nullopt);

    QSignalSpy tx(&port, &SerialPort::txEmpty);
    QByteArray rx;
    connect(&port, &SerialPort::received, this, [&](const QByteArray& bytes) { rx += bytes; });
    auto factoryNumberAnswered = [&] {
        rx.clear();
        if (!port.write(makeFrame(Read_Version)) || !QTest::qWaitFor([&] { return rx.size() >= 27; }, 5000))
            return 0u;
        return at<std::uint32_t>(rx, 3 + 18);
    };
    QCOMPARE(factoryNumberAnswered(), 21001234u);

    // Unplugged: the request leaves the line and nobody answers.
    cable.plug(nullptr);
    rx.clear();
    QVERIFY(port.write(makeFrame(Read_Version)));
    QTRY_COMPARE(tx.count(), 2);
    QTest::qWait(100);
    QVERIFY(rx.isEmpty());

    // Plugged into the other meter: it answers, with its own identity.
    cable.plug(&meterB);
    QCOMPARE(factoryNumberAnswered(), 21005678u);

    // An answer still on its way when the cable is pulled never arrives, not even once the cable
    // is back in the same meter.
    FaultProfile late;
    late.late = 1;
    meterB.setFaults(late);
    rx.clear();
    QVERIFY(port.write(makeFrame(Read_Version)));
    QTRY_COMPARE(tx.count(), 4);
    cable.plug(&meterA);
    QTest::qWait(100);
    cable.plug(&meterB);
    QTest::qWait(VirtualMeter::kLateAnswerMs + 200);
    QVERIFY(rx.isEmpty());
    meterB.setFaults({});
    QCOMPARE(factoryNumberAnswered(), 21005678u);
    QCOMPARE(reached, (QList<std::uint32_t>{21001234u, 21005678u, 21005678u, 21005678u}));
}

void TestMeter::simulatorOverPseudoTerminal_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("major");
    QTest::addColumn<float>("ratio1"); // RAM2's Ratio[1] stored after a write of 250
    QTest::newRow("paced, default version") << QStringList{} << 3 << 250.0f;
    QTest::newRow("unpaced, version 4.0.0")
        << QStringList{"--no-pacing", "--version", "4.0.0"} << 4 << 250.0f;
    QTest::newRow("unpaced, clamped")
        << QStringList{"--no-pacing", "--clamp", "RAM2.Ratio[1]=70", "--clamp", "RAM2.Ratio=100"} << 3
        << 70.0f;
}

void TestMeter::simulatorOverPseudoTerminal()
{
    QFETCH(QStringList, args);
    QFETCH(int, major);
    QFETCH(float, ratio1);
    QProcess sim;
    sim.start(QStringLiteral(KVAM_METER_SIM), args);
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 10000);
    const QByteArray path = sim.readLine().trimmed();
    QVERIFY2(path.startsWith("/dev/"), path.constData());

    auto openPty = [&path] {
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios tio{};
            ::tcgetattr(fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
        return fd;
    };
    auto exchange = [](int fd, const QByteArray& request, int answerSize) {
        QByteArray answer;
        if (::write(fd, request.constData(), std::size_t(request.size())) != request.size())
            return answer;
        auto readSome = [&] {
            char buf[64];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                answer.append(buf, n);
            return answer.size() >= answerSize;
        };
        static_cast<void>(QTest::qWaitFor(readSome, 5000)); // the caller checks what arrived
        return answer;
    };

    int fd = openPty();
    QVERIFY(fd >= 0);
    const QByteArray version = exchange(fd, QByteArray::fromHex("0F020040A3"), 27);
    QCOMPARE(version.size(), 27);
    QCOMPARE(version.left(3), QByteArray::fromHex("0F1800"));
    QVERIFY(crcOk(version));
    QCOMPARE(int(std::uint8_t(version[3])), major);
    QCOMPARE(at<std::uint32_t>(version, 3 + 18), 21001234u);
    ::close(fd);

    // The tool may close the device and open it again; the simulator keeps serving.
    fd = openPty();
    QVERIFY(fd >= 0);
    const QByteArray state = exchange(fd, QByteArray::fromHex("01030000F1D8"), 21);
    QCOMPARE(state.size(), 21);
    QVERIFY(crcOk(state));

    // A RAM2 write is acknowledged; the read-back shows what the meter stored.
    Ram2Image ram2 = VirtualMeter::installedRam2();
    set(ram2, ram2::Ratio, 1, 250.0f);
    QCOMPARE(exchange(fd, makeFrame(Write_RAM2, bytesOf(ram2)), 6).size(), 6);
    const QByteArray back = exchange(fd, makeFrame(Read_RAM2), 319);
    QCOMPARE(back.size(), 319);
    QCOMPARE(f32(back, 3 + int(ram2::Ratio.offset) + 4), ratio1);
    ::close(fd);

    sim.terminate();
    QTRY_COMPARE_WITH_TIMEOUT(sim.state(), QProcess::NotRunning, 10000);
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
}

void TestMeter::simulatorRejectsBadOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("bad version") << QStringList{"--version", "3.x"};
    QTest::newRow("missing version value") << QStringList{"--version"};
    QTest::newRow("bad faults") << QStringList{"--faults", "drop=2"};
    QTest::newRow("clamp of an unknown field") << QStringList{"--clamp", "RAM2.Bogus=1"};
    QTest::newRow("clamp past the field") << QStringList{"--clamp", "RAM2.Ratio[6]=70"};
    QTest::newRow("clamp without a number") << QStringList{"--clamp", "RAM2.Ratio=x"};
    QTest::newRow("second clamp bad") << QStringList{"--clamp", "RAM2.Ratio=70", "--clamp", "RAM2.Ratio"};
    QTest::newRow("missing clamp value") << QStringList{"--clamp"};
    QTest::newRow("stray argument") << QStringList{"extra"};
}

void TestMeter::simulatorRejectsBadOptions()
{
    QFETCH(QStringList, args);
    QProcess sim;
    sim.start(QStringLiteral(KVAM_METER_SIM), args);
    QTRY_COMPARE_WITH_TIMEOUT(sim.state(), QProcess::NotRunning, 10000);
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(!sim.readAllStandardError().isEmpty());
    QVERIFY(sim.readAllStandardOutput().isEmpty()); // no device path printed
}

QTEST_GUILESS_MAIN(TestMeter)
#include "tst_meter.moc"
