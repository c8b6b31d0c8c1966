#include "records/RecordLayout.h"
#include "records/Records.h"

#include <QMap>
#include <QTest>

#include <cstring>
#include <functional>
#include <limits>

using namespace kvam;

// A field fits the images of its own record only: by the record's type, not its size.
template <class Image, class F>
concept Reads = requires(const Image& image, const F& field)
{
    kvam::get(image, field);
};
static_assert(Reads<kvam::Ram3Image, decltype(kvam::ram3::Gyartasiszam)>);
static_assert(!Reads<kvam::Ram2Image, decltype(kvam::ram3::Gyartasiszam)>);
static_assert(!Reads<kvam::ByteImage<kvam::ram3::kSize>, decltype(kvam::ram3::Gyartasiszam)>);
static_assert(!Reads<kvam::NetRecord, decltype(kvam::ram1::EPplus)>);

namespace {

// The sizes the protocol carries, independent of the layout tables.
const QMap<QString, int>& protocolSizes()
{
    static const QMap<QString, int> kSizes{
        {"Net", 180},    {"State", 16}, {"Version", 22}, {"EP", 32},    {"Harmonics", 45},
        {"Caldata", 48}, {"RAM1", 212}, {"RAM2", 314},   {"RAM3", 154},
    };
    return kSizes;
}

// Byte i is i * 37 + seed: two different seeds differ in every byte, so a byte that a write
// should have changed cannot pass by already holding the expected value under both.
template <std::size_t N> ByteImage<N> patterned(quint8 seed)
{
    ByteImage<N> image;
    for (std::size_t i = 0; i < N; ++i)
        image[i] = static_cast<std::uint8_t>(i * 37 + seed);
    return image;
}

template <std::size_t N> QByteArray bytes(const ByteImage<N>& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(N));
}

struct PokeResult
{
    QByteArray before;
    QByteArray after;
    bool readBack = false; ///< get() returns the value set() stored
};
using Poke = std::function<PokeResult(quint8 seed)>;

// Sets one element of a patterned image through the typed accessors.
template <class R, FieldType T>
Poke poke(const Field<R, T>& field, std::size_t index, typename Field<R, T>::value_type value)
{
    return [field, index, value](quint8 seed) {
        RecordImage<R> image = patterned<R::kSize>(seed);
        PokeResult r;
        r.before = bytes(image);
        set(image, field, index, value);
        r.after = bytes(image);
        const auto back = get(image, field, index);
        r.readBack = std::memcmp(&back, &value, sizeof value) == 0;
        return r;
    };
}

} // namespace

Q_DECLARE_METATYPE(Poke)

class TstRecords : public QObject
{
    Q_OBJECT

private slots:
    void layoutTilesRecord_data();
    void layoutTilesRecord();
    void layoutLookup();
    void accessors_data();
    void accessors();
    void indexPastTheField();
};

void TstRecords::layoutTilesRecord_data()
{
    QTest::addColumn<QString>("record");
    for (auto it = protocolSizes().cbegin(); it != protocolSizes().cend(); ++it)
        QTest::newRow(qPrintable(it.key())) << it.key();
}

// Each record has its protocol size, and its rows, in offset order, cover every byte exactly once:
// no row leaves the record, no two rows share a byte, no byte is left without a row.
void TstRecords::layoutTilesRecord()
{
    QFETCH(QString, record);
    const RecordLayout* layout = findRecordLayout(record.toStdString());
    QVERIFY(layout);
    QCOMPARE(int(layout->size), protocolSizes().value(record));
    QVERIFY(!layout->fields.empty());

    std::size_t next = 0;
    for (const FieldInfo& f : layout->fields) {
        const QString where = record + QLatin1Char('.') + QString::fromLatin1(f.name) + QLatin1Char('@') +
                              QString::number(f.offset);
        QVERIFY2(f.offset >= next, qPrintable(where + QStringLiteral(" overlaps the row before it")));
        QVERIFY2(f.offset == next, qPrintable(where + QStringLiteral(" leaves a gap before it")));
        QVERIFY2(f.end() <= layout->size, qPrintable(where + QStringLiteral(" ends outside the record")));
        QVERIFY2(f.scale > 0.0, qPrintable(where + QStringLiteral(" has no usable scale")));
        next = f.end();
    }
    QCOMPARE(next, layout->size);
}

void TstRecords::layoutLookup()
{
    QStringList names;
    for (const RecordLayout& r : recordLayouts()) {
        names << QString::fromLatin1(r.name);
        QCOMPARE(findRecordLayout(r.name), &r);
        for (const FieldInfo& f : r.fields)
            QCOMPARE(r.field(f.name), &f);
        QCOMPARE(r.field("NoSuchField"), nullptr);
    }
    // Every record is listed once, and each has a protocol size above.
    names.sort();
    QCOMPARE(names, protocolSizes().keys());
    QCOMPARE(findRecordLayout("ram2"), nullptr);
    QCOMPARE(findRecordLayout(""), nullptr);
}

void TstRecords::accessors_data()
{
    QTest::addColumn<Poke>("write");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");

    // One row per element type, and rows at unaligned and last positions; offsets and bytes as the
    // record tables give them.
    QTest::newRow("RAM2 Elrendezes u16")
        << poke(ram2::Elrendezes, 0, 0x0105) << 176 << QByteArray("\x05\x01", 2);
    QTest::newRow("RAM2 Ratio[5] f32")
        << poke(ram2::Ratio, 5, 1.5f) << 22 << QByteArray("\x00\x00\xc0\x3f", 4);
    QTest::newRow("RAM2 MaxEP[3] u32")
        << poke(ram2::MaxEP, 3, 0x12345678u) << 170 << QByteArray("\x78\x56\x34\x12", 4);
    QTest::newRow("RAM2 DoutFunction[1] u8")
        << poke(ram2::DoutFunction, 1, 0xA5) << 281 << QByteArray("\xa5", 1);
    QTest::newRow("RAM2 PWMMax[3] u16") << poke(ram2::PWMMax, 3, 60000) << 276 << QByteArray("\x60\xea", 2);
    QTest::newRow("RAM2 last byte") << poke(ram2::Carried312, 1, 0x5A) << 313 << QByteArray("\x5a", 1);
    QTest::newRow("RAM1 EPplus[0] i64") << poke(ram1::EPplus, 0, std::int64_t(0x0102030405060708)) << 2
                                        << QByteArray("\x08\x07\x06\x05\x04\x03\x02\x01", 8);
    QTest::newRow("RAM1 EQminus[3] negative") << poke(ram1::EQminus, 3, std::int64_t(-2)) << 122
                                              << QByteArray("\xfe\xff\xff\xff\xff\xff\xff\xff", 8);
    QTest::newRow("RAM1 EnergyAux[11] u32")
        << poke(ram1::EnergyAux, 11, 7u) << 174 << QByteArray("\x07\x00\x00\x00", 4);
    QTest::newRow("RAM3 Offset[5] i16")
        << poke(ram3::Offset, 5, std::int16_t(-3)) << 38 << QByteArray("\xfd\xff", 2);
    QTest::newRow("RAM3 Gyartasiszam u32")
        << poke(ram3::Gyartasiszam, 0, 0xFFFFFFFEu) << 4 << QByteArray("\xfe\xff\xff\xff", 4);
    QTest::newRow("RAM3 TimeBaseCorrection[3]")
        << poke(ram3::TimeBaseCorrection, 3, -1.0f) << 148 << QByteArray("\x00\x00\x80\xbf", 4);
    QTest::newRow("Harmonics THD at an odd offset")
        << poke(harmonics::THD, 0, 2.5f) << 1 << QByteArray("\x00\x00\x20\x40", 4);
    QTest::newRow("Harmonics Amplitude[19]")
        << poke(harmonics::Amplitude, 19, 1000) << 43 << QByteArray("\xe8\x03", 2);
    QTest::newRow("Version Programdate[11] raw")
        << poke(version::Programdate, 11, 'x') << 15 << QByteArray("x");
    QTest::newRow("Version Gyartasiszam u32")
        << poke(version::Gyartasiszam, 0, 0xFFFFFFFFu) << 18 << QByteArray("\xff\xff\xff\xff", 4);
    QTest::newRow("Caldata Average[0] i16")
        << poke(caldata::Average, 0, std::int16_t(-1)) << 36 << QByteArray("\xff\xff", 2);
    QTest::newRow("Caldata UIrms[1] f32")
        << poke(caldata::UIrms, 1, 5.0f) << 16 << QByteArray("\x00\x00\xa0\x40", 4);
    QTest::newRow("State IoBits u8") << poke(state::IoBits, 0, 0x11) << 13 << QByteArray("\x11", 1);
    QTest::newRow("EP EPtimeelapsed u16")
        << poke(ep::EPtimeelapsed, 0, 59) << 24 << QByteArray("\x3b\x00", 2);
    QTest::newRow("Net L3ithd, last float")
        << poke(net::L3ithd, 0, -0.5f) << 176 << QByteArray("\x00\x00\x00\xbf", 4);
}

// A set stores the value little-endian at its bytes, get reads it back, and every other byte of
// the record keeps what it held.
void TstRecords::accessors()
{
    QFETCH(Poke, write);
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);

    for (quint8 seed : {quint8(11), quint8(200)}) {
        const PokeResult r = write(seed);
        QVERIFY(r.readBack);
        QCOMPARE(r.after.mid(offset, expected.size()), expected);
        QCOMPARE(r.after.left(offset), r.before.left(offset));
        QCOMPARE(r.after.mid(offset + expected.size()), r.before.mid(offset + expected.size()));
    }
}

// An index beyond the field neither writes (not even into the next field) nor reads its neighbours.
void TstRecords::indexPastTheField()
{
    Ram2Image image = patterned<ram2::kSize>(11);
    const Ram2Image before = image;
    set(image, ram2::Ratio, 6, 9.0f);      // would be Fazistolas[0]
    set(image, ram2::Elrendezes, 1, 7);    // would be DinPolarity
    set(image, ram2::Carried312, 2, 0x77); // would be past the record
    set(image, ram2::MaxEP, std::numeric_limits<std::size_t>::max(), 1u);
    QVERIFY(image == before);

    QCOMPARE(get(image, ram2::Ratio, 6), 0.0f);
    QCOMPARE(get(image, ram2::Elrendezes, 1), std::uint16_t(0));
    QCOMPARE(get(image, ram2::Carried312, 2), std::uint8_t(0));
}

QTEST_APPLESS_MAIN(TstRecords)
#include "tst_records.moc"
