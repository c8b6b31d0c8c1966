// The protocol layer on its own: the CRC over any length, frames written in place and as values
// and read back, the incremental frame reader at its limits, the command table against the record
// layouts, and the named codes.

#include "protocol/Commands.h"
#include "protocol/Crc.h"
#include "protocol/Frame.h"
#include "protocol/FrameReader.h"
#include "protocol/ServiceCodes.h"
#include "records/Records.h"

#include <QTest>

#include <algorithm>
#include <vector>

using namespace kvam;

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

/// `b` with one bit of byte `at` inverted.
Bytes flipped(Bytes b, std::size_t at)
{
    b[at] ^= 0x40;
    return b;
}

Bytes pattern(std::size_t size)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return b;
}

/// A header with any length field followed by filler up to `size` bytes: no frame behind it.
Bytes headerThenFiller(int lengthField, std::size_t size)
{
    const Bytes filler = pattern(size);
    return encodeRawFrame(Read_Net, lengthField, std::span(filler).subspan(kHeaderSize), false);
}

} // namespace

class TstProtocol : public QObject
{
    Q_OBJECT
private slots:
    void crc_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<int>("crc");
        QTest::newRow("check value") << Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'} << 0x4B37;
        QTest::newRow("nothing") << Bytes{} << 0xFFFF;
        // Beyond what a signed 16-bit count reaches: a length field of 65535 and its CRC.
        QTest::newRow("frame of 65540 bytes") << encodeRawFrame(Read_Net, 65535, pattern(65535), true) << 0;
    }
    void crc()
    {
        QFETCH(Bytes, bytes);
        QFETCH(int, crc);
        QCOMPARE(int(CalculateCRC(bytes)), crc);
        if (!bytes.empty() && bytes.size() <= 32767)
            QCOMPARE(int(CalculateCRC(bytes.data(), std::int16_t(bytes.size()))), crc);
        QCOMPARE(frameCrcOk(bytes), crc == 0);
    }

    void encodeInPlaceLimits_data()
    {
        QTest::addColumn<int>("payload");
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0 << 5;
        QTest::newRow("RAM2 image") << 314 << 319;
        QTest::newRow("fills the buffer") << kMaxPayload << kBufferSize;
        QTest::newRow("one byte too many") << kMaxPayload + 1 << 0;
    }
    void encodeInPlaceLimits()
    {
        QFETCH(int, payload);
        QFETCH(int, size);
        std::array<std::uint8_t, kBufferSize> buffer{};
        buffer.fill(0xEE);
        const Bytes p = pattern(std::size_t(std::min(payload, kMaxPayload)));
        std::copy(p.begin(), p.end(), buffer.begin() + kHeaderSize);
        const auto before = buffer;
        QCOMPARE(int(encodeInPlace(buffer, 0x07, std::size_t(payload))), size);
        if (size == 0) {
            QVERIFY(buffer == before); // nothing written
            return;
        }
        // The same bytes as the value class writes, and nothing touched behind them.
        const Bytes frame = Frame(0x07, Bytes(p.begin(), p.begin() + payload)).encode();
        QCOMPARE(Bytes(buffer.begin(), buffer.begin() + size), frame);
        QVERIFY(std::all_of(buffer.begin() + size, buffer.end(), [](std::uint8_t b) { return b == 0xEE; }));
    }

    void decode_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<bool>("good");
        QTest::addColumn<int>("payloadSize");
        const Bytes state = Frame(Read_State, {0}).encode();
        QTest::newRow("Read_State 0") << state << true << 1;
        QTest::newRow("bytes behind it") << Bytes{0x01, 0x03, 0x00, 0x00, 0xF1, 0xD8, 0x99} << true << 1;
        QTest::newRow("one byte short") << Bytes(state.begin(), state.end() - 1) << false << 0;
        QTest::newRow("header only") << Bytes(state.begin(), state.begin() + 3) << false << 0;
        QTest::newRow("two bytes") << Bytes{0x01, 0x02} << false << 0;
        QTest::newRow("CRC broken") << flipped(state, 5) << false << 0;
        // A length field below 2 leaves no room for a CRC, whatever the bytes say.
        QTest::newRow("length 1") << encodeRawFrame(Read_State, 1, {}, true) << false << 0;
        QTest::newRow("length 0") << encodeRawFrame(Read_State, 0, {}, true) << false << 0;
        QTest::newRow("longer than the buffer") << Frame(Read_Net, pattern(600)).encode() << true << 600;
    }
    void decode()
    {
        QFETCH(Bytes, bytes);
        QFETCH(bool, good);
        QFETCH(int, payloadSize);
        const auto frame = Frame::decode(bytes);
        QCOMPARE(frame.has_value(), good);
        if (!good)
            return;
        QCOMPARE(int(frame->payload().size()), payloadSize);
        QCOMPARE(frame->code(), bytes[0]);
        const Bytes again = frame->encode();
        QCOMPARE(again, Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(again.size())));
    }

    void reader_data()
    {
        QTest::addColumn<Bytes>("stream");
        QTest::addColumn<bool>("bytewise");
        QTest::addColumn<bool>("completes");
        QTest::addColumn<bool>("crcOk");
        QTest::addColumn<int>("rxIndex");  // after the stream
        QTest::addColumn<int>("rxLength"); // the header's length field

        const Bytes net = Frame(Read_Net, pattern(180)).encode();
        for (bool bytewise : {false, true}) {
            const char* how = bytewise ? "byte by byte" : "in one piece";
            QTest::addRow("Read_Net %s", how) << net << bytewise << true << true << 185 << 182;
            Bytes twice = net;
            twice.insert(twice.end(), net.begin(), net.end());
            QTest::addRow("a second frame behind it is dropped, %s", how)
                << twice << bytewise << true << true << 185 << 182;
        }
        QTest::newRow("length 2 completes at index 4")
            << Frame(Read_Version, {}).encode() << false << true << true << 5 << 2;
        QTest::newRow("length 510 fills the buffer") << Frame(Read_RAM2, pattern(kMaxPayload)).encode()
                                                     << true << true << true << kBufferSize - 1 << 510;
        QTest::newRow("bad CRC completes") << flipped(net, 10) << false << true << false << 185 << 182;
        // A frame that can never complete: the index stops at the last cell.
        QTest::newRow("length 1 never") << headerThenFiller(1, 600) << false << false << false << 512 << 1;
        QTest::newRow("length 0 never") << headerThenFiller(0, 600) << true << false << false << 512 << 0;
        QTest::newRow("length 511 clamped at the end")
            << headerThenFiller(511, 600) << false << false << false << 512 << 511;
        QTest::newRow("length 65535 clamped at the end")
            << headerThenFiller(65535, 520) << true << false << false << 512 << 65535;
        QTest::newRow("two bytes: no length yet") << Bytes{0x03, 0x02} << true << false << false << 2 << 0;
    }
    void reader()
    {
        QFETCH(Bytes, stream);
        QFETCH(bool, bytewise);
        QFETCH(bool, completes);
        QFETCH(bool, crcOk);
        QFETCH(int, rxIndex);
        QFETCH(int, rxLength);
        FrameReader r;
        if (bytewise) {
            for (std::size_t i = 0; i < stream.size(); ++i) {
                // Complete exactly once the frame's last CRC byte is in.
                const bool done = r.feed(stream[i]);
                QCOMPARE(done, completes && int(i) >= frameSizeFor(rxLength) - 1);
            }
        } else {
            QCOMPARE(r.feed(stream), completes);
        }
        QCOMPARE(r.FrameComplete, completes);
        QCOMPARE(r.RxIndex, rxIndex);
        QCOMPARE(r.RxLength, rxLength);
        QCOMPARE(r.crcOk(), crcOk);
        if (!completes) {
            // Once at the last cell, each further byte overwrites it.
            if (stream.size() > std::size_t(kBufferSize))
                QCOMPARE(r.Rxbuff[kBufferSize - 1], stream.back());
            return;
        }
        QCOMPARE(r.frameSize(), frameSizeFor(rxLength));
        QCOMPARE(r.payloadLength(), rxLength - kCrcSize);
        QCOMPARE(r.code(), stream[0]);
        QVERIFY(std::equal(r.payload(), r.payload() + r.payloadLength(), stream.begin() + kHeaderSize));
        // Rewound, the next frame is read from the start.
        r.rewind();
        QCOMPARE(r.RxIndex, 0);
        QVERIFY(!r.FrameComplete);
        QVERIFY(!r.crcOk());
        const Bytes next = Frame(Read_EPdata, pattern(32)).encode();
        for (std::uint8_t b : next)
            r.feed(b);
        QVERIFY(r.FrameComplete && r.crcOk());
        QCOMPARE(r.code(), std::uint8_t(Read_EPdata));
        QCOMPARE(r.payloadLength(), 32);
    }

    void commandTable_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("requestSize");
        QTest::addColumn<int>("answerSize");
        QTest::addColumn<int>("readBack");
        using K = RequestKind;
        auto row = [](int code, const char* name, K kind, int request, std::size_t answer, int readBack) {
            QTest::newRow(name) << code << QString::fromLatin1(name) << int(kind) << request << int(answer)
                                << readBack;
        };
        row(1, "Read_State", K::Byte, 1, state::kSize, 0);
        row(2, "Write_State", K::Byte, 1, 0, 0);
        row(3, "Read_Net", K::None, 0, net::kSize, 0);
        row(4, "Read_RAM1", K::None, 0, ram1::kSize, 0);
        row(5, "Write_RAM1", K::Record, int(ram1::kSize), 0, 0);
        row(6, "Read_RAM2", K::None, 0, ram2::kSize, 0);
        row(7, "Write_RAM2", K::Record, int(ram2::kSize), 0, 6);
        row(8, "Read_RAM3", K::None, 0, ram3::kSize, 0);
        row(9, "Write_RAM3", K::Record, int(ram3::kSize), 0, 8);
        row(10, "Read_Caldata", K::None, 0, caldata::kSize, 0);
        row(11, "Write_Digout", K::Byte, 1, 0, 0);
        row(12, "Write_DAcalib", K::Byte, 1, 0, 0);
        row(13, "Write_DAtest", K::Float, 4, 0, 0);
        row(14, "Read_EPdata", K::Byte, 1, ep::kSize, 0);
        row(15, "Read_Version", K::None, 0, version::kSize, 0);
        row(16, "Read_Harmonics", K::Byte, 1, harmonics::kSize, 0);
        // Outside the table: no name, no record, no request the meter would take.
        QTest::newRow("0") << 0 << QString() << -1 << -1 << 0 << 0;
        QTest::newRow("17") << 17 << QString() << -1 << -1 << 0 << 0;
        QTest::newRow("255") << 255 << QString() << -1 << -1 << 0 << 0;
    }
    void commandTable()
    {
        QFETCH(int, code);
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(int, requestSize);
        QFETCH(int, answerSize);
        QFETCH(int, readBack);
        QCOMPARE(QString::fromLatin1(commandName(code)), name);
        QCOMPARE(requestPayloadSize(code), requestSize);
        QCOMPARE(answerRecordSize(code), answerSize);
        const CommandInfo* info = commandInfo(code);
        QCOMPARE(info != nullptr, kind >= 0);
        if (!info)
            return;
        QCOMPARE(int(info->code), code);
        QCOMPARE(&kvam::commandTable()[std::size_t(code - 1)], info);
        QCOMPARE(int(info->request), kind);
        QCOMPARE(info->readBack, readBack);
        // Every request fits a frame in the buffer.
        QVERIFY(requestSize <= kMaxPayload);
    }

    void namedCodes()
    {
        // The values the meter takes on the line.
        QCOMPARE(kServiceFactoryDefaults, std::uint8_t(1));
        QCOMPARE(kServiceClearErrors, std::uint8_t(2));
        QCOMPARE(kServiceUserDefaults, std::uint8_t(4));
        QCOMPARE(kDAcalSequence, (std::array<std::uint8_t, 5>{0x01, 0x11, 0x02, 0x12, 0x00}));
    }
};

QTEST_GUILESS_MAIN(TstProtocol)
#include "tst_protocol.moc"
