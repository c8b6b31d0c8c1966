#include "log/DataLogger.h"
#include "log/LogFile.h"
#include "records/Records.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <utility>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace kvam;

namespace {

const QLocale kHungarian(QLocale::Hungarian, QLocale::Hungary);
const QLocale kEnglishUs(QLocale::English, QLocale::UnitedStates);

// Values whose texts the golden lines in data/log hold, by byte offset in the Net record.
NetRecord knownRecord()
{
    const std::pair<std::size_t, float> values[] = {
        {0, 401.2f},   {4, 402.3f},   {8, 403.4f},   {12, 231.5f},   {16, 232.6f},  {20, 233.7f},
        {24, 1.25f},   {28, 2.5f},    {32, 4.75f},   {36, 99.0f},    {40, 1234.5f}, {44, -500.0f},
        {48, 0.0f},    {52, 250.0f},  {56, 260.0f},  {60, 270.0f},   {64, 1500.0f}, {68, 1600.0f},
        {72, 1700.0f}, {76, 0.95f},   {80, 0.5f},    {84, -1.0f},    {88, 12.5f},   {92, -30.0f},
        {96, 180.0f},  {100, 750.0f}, {104, 780.0f}, {108, 4800.0f}, {112, 0.123f}, {116, 77.0f},
        {120, 50.0f},  {124, 49.99f}, {128, 50.01f}, {132, -120.0f}, {136, 120.0f}, {140, 11.0f},
        {144, 22.0f},  {148, 33.0f},  {152, 44.0f},  {156, 1.5f},    {160, 2.0f},   {164, 3.0f},
        {168, 10.0f},  {172, 20.5f},  {176, 100.0f},
    };
    NetRecord rec;
    for (const auto& [offset, value] : values)
        rec.set<float>(offset, value);
    return rec;
}

QByteArray golden(const char* name)
{
    QFile f(QStringLiteral(KVAM_TEST_DATA "/log/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", name);
    return f.readAll();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A row of a table with a text in and the text expected out.
void textRow(const char* name, const QString& in, const QString& out)
{
    QTest::newRow(name) << in << out;
}

const QDateTime kMorning(QDate(2024, 3, 5), QTime(7, 8, 9));

} // namespace

class TstLogFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(kHungarian); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void headerBytes();
    void recordLine_data();
    void recordLine();
    void timestamp_data();
    void timestamp();
    void timeZoneRemoved_data();
    void timeZoneRemoved();
    void zoneGoneInEveryLocale();
    void fileName_data();
    void fileName();

    void timerFollowsLogging();
    void timerTicksWithSourceAndClock();
    void idleTickWritesNothing();
    void headerOnlyForANewFile_data();
    void headerOnlyForANewFile();
    void failuresReportedOnceAndRecovered_data();
    void failuresReportedOnceAndRecovered();
    void writeFailure();
    void shortWriteLeavesNoPartialLine_data();
    void shortWriteLeavesNoPartialLine();
};

void TstLogFile::headerBytes()
{
    const QByteArray expected = "D\xE1tum_id\xF5;U12;U23;U13;U1;U2;U3;I1;I2;I3;P1;P2;P3;Q1;Q2;Q3;S1;S2;S3;"
                                "PF1;PF2;PF3;Fi1;Fi2;Fi3;Psum;Qsum;Ssum;f1;f2;f3;Fi12;F13;"
                                "ThdU1;ThdU2;ThdU3;ThdI1;ThdI2;ThdI3\r\n";
    const QByteArray header = logHeaderLine();
    QCOMPARE(header.toHex(' '), expected.toHex(' '));
    QCOMPARE(header.count(';') + 1, 39);
}

void TstLogFile::recordLine_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<bool>("measured");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("hu_HU: decimal comma") << kHungarian << kMorning << true << golden("record_hu.txt");
    QTest::newRow("en_US: decimal point, AM/PM")
        << kEnglishUs << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59)) << true << golden("record_en.txt");
    QTest::newRow("before a measurement, at midnight")
        << kHungarian << QDateTime(QDate(2024, 3, 5), QTime(0, 0)) << false
        << golden("placeholder_hu_midnight.txt");
}

void TstLogFile::recordLine()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, moment);
    QFETCH(bool, measured);
    QFETCH(QByteArray, expected);

    // The page formats in the default locale; the log writes what the page shows.
    QLocale::setDefault(locale);
    const NetRecord rec = knownRecord();
    const QByteArray line = logRecordLine(moment, logFieldTexts(measured ? &rec : nullptr), locale);
    QCOMPARE(line, expected);
}

void TstLogFile::timestamp_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("expected");

    const QDate day(2024, 3, 5);
    QTest::newRow("hu morning") << kHungarian << QDateTime(day, QTime(7, 8, 9)) << "2024. 03. 05. 7:08:09";
    QTest::newRow("hu midnight") << kHungarian << QDateTime(day, QTime(0, 0)) << "2024. 03. 05.";
    QTest::newRow("hu midnight and a half second")
        << kHungarian << QDateTime(day, QTime(0, 0, 0, 500)) << "2024. 03. 05.";
    QTest::newRow("hu one second past")
        << kHungarian << QDateTime(day, QTime(0, 0, 1)) << "2024. 03. 05. 0:00:01";
    QTest::newRow("hu one minute past")
        << kHungarian << QDateTime(day, QTime(0, 1)) << "2024. 03. 05. 0:01:00";
    QTest::newRow("en midnight") << kEnglishUs << QDateTime(day, QTime(0, 0)) << "3/5/24";
    QTest::newRow("en just after midnight")
        << kEnglishUs << QDateTime(day, QTime(0, 0, 59)) << "3/5/24 12:00:59 AM";
    QTest::newRow("en noon") << kEnglishUs << QDateTime(day, QTime(12, 0)) << "3/5/24 12:00:00 PM";
}

void TstLogFile::timestamp()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, moment);
    QFETCH(QString, expected);
    QCOMPARE(logTimestamp(moment, locale), expected);
}

void TstLogFile::timeZoneRemoved_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");

    textRow("hu_HU", kHungarian.timeFormat(QLocale::LongFormat), "H:mm:ss");
    textRow("en_US", kEnglishUs.timeFormat(QLocale::LongFormat), "h:mm:ss AP");
    textRow("zone first", "t HH:mm:ss", "HH:mm:ss");
    textRow("after a comma", "h:mm:ss AP, t", "h:mm:ss AP");
    textRow("in parentheses", "H:mm:ss (t)", "H:mm:ss");
    textRow("in brackets", "APh:mm:ss [t]", "APh:mm:ss");
    textRow("long zone name", "HH:mm:ss tttt", "HH:mm:ss");
    textRow("between parts", "HH t mm", "HH mm");
    textRow("narrow blank", QString::fromUtf8("h:mm:ss\u202Ft"), "h:mm:ss");
    textRow("t in a literal", "HH 'at' mm:ss t", "HH 'at' mm:ss");
    textRow("quote in a literal", "HH 'o''t' mm t", "HH 'o''t' mm");
    textRow("literal after the zone", "H:mm:ss t 'Uhr'", "H:mm:ss 'Uhr'");
    textRow("no zone", "HH:mm:ss", "HH:mm:ss");
}

void TstLogFile::timeZoneRemoved()
{
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QCOMPARE(withoutTimeZone(format), expected);
}

void TstLogFile::zoneGoneInEveryLocale()
{
    // Every locale's time: seconds kept, no zone letter outside literals, no blank at either end.
    const QTime probe(13, 14, 15);
    for (const QLocale& locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const QString format = logTimeFormat(locale);
        bool quoted = false;
        for (QChar c : format) {
            if (c == u'\'')
                quoted = !quoted;
            else if (!quoted && c == u't')
                QFAIL(qPrintable(locale.name() + QLatin1String(": ") + format));
        }
        QVERIFY2(!format.isEmpty() && !format.front().isSpace() && !format.back().isSpace(),
                 qPrintable(locale.name() + QLatin1String(": [") + format + u']'));
        QVERIFY2(format.contains(u's'), qPrintable(locale.name() + QLatin1String(": ") + format));
        QVERIFY2(locale.toString(probe, format) != locale.toString(probe.addSecs(1), format),
                 qPrintable(locale.name() + QLatin1String(": ") + format));
    }
}

void TstLogFile::fileName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");

    textRow("no extension", "log", "log.txt");
    textRow("with folder", "/home/u/log", "/home/u/log.txt");
    textRow("dot only in the folder", "a.b/log", "a.b/log.txt");
    textRow(".txt kept", "/home/u/log.txt", "/home/u/log.txt");
    textRow("other extension", "log.csv", "log.csv");
    textRow("ends with a dot", "log.", "log.");
    textRow("dot file", "a/.log", "a/.log");
    textRow("empty", "", "");
}

void TstLogFile::fileName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    QCOMPARE(logFileNameFor(chosen), expected);
}

void TstLogFile::timerFollowsLogging()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QObject window;
    auto* logger = new DataLogger(&window);
    auto* timer = window.findChild<QTimer*>(QStringLiteral("LogTimer"));
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 1000);
    QVERIFY(!timer->isActive());
    QVERIFY(!logger->start(QString()));
    QVERIFY(!timer->isActive());
    QVERIFY(logger->fileName().isEmpty());

    QVERIFY(logger->start(dir.filePath(QStringLiteral("log"))));
    QVERIFY(timer->isActive());
    QVERIFY(logger->isRunning());
    QCOMPARE(logger->fileName(), dir.filePath(QStringLiteral("log.txt")));
    // Nothing is written before the first tick.
    QVERIFY(!QFile::exists(logger->fileName()));
    logger->stop();
    QVERIFY(!timer->isActive());
    QVERIFY(!logger->isRunning());
}

void TstLogFile::timerTicksWithSourceAndClock()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    DataLogger logger;
    const NetRecord rec = knownRecord();
    logger.setSource([&rec] { return &rec; });
    logger.setClock([] { return kMorning; });
    QVERIFY(logger.start(dir.filePath(QStringLiteral("timed.txt"))));
    const QByteArray expected = logHeaderLine() + golden("record_hu.txt");
    QTRY_COMPARE_WITH_TIMEOUT(readAll(logger.fileName()), expected, 3000);
    logger.stop();
}

void TstLogFile::idleTickWritesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    DataLogger logger;
    QSignalSpy failed(&logger, &DataLogger::failed);
    QVERIFY(!logger.tick(nullptr, kMorning));
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QVERIFY(logger.start(path));
    QVERIFY(logger.tick(nullptr, kMorning));
    logger.stop();
    const QByteArray written = readAll(path);
    QVERIFY(!logger.tick(nullptr, kMorning));
    QCOMPARE(readAll(path), written);
    QCOMPARE(failed.count(), 0);
}

void TstLogFile::headerOnlyForANewFile_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("restart");
    QTest::addColumn<bool>("deleteBetween");
    QTest::addColumn<QByteArray>("expectedStart");

    const QByteArray header = logHeaderLine();
    const QByteArray line = golden("record_hu.txt");
    QTest::newRow("new file") << QByteArray() << false << false << header + line + line;
    QTest::newRow("stopped and started again") << QByteArray() << true << false << header + line + line;
    QTest::newRow("existing file") << QByteArray("earlier\r\n") << false << false
                                   << QByteArray("earlier\r\n") + line + line;
    QTest::newRow("existing empty file") << QByteArray("") << false << false << line + line;
    QTest::newRow("deleted while logging") << QByteArray() << false << true << header + line;
}

void TstLogFile::headerOnlyForANewFile()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, restart);
    QFETCH(bool, deleteBetween);
    QFETCH(QByteArray, expectedStart);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    if (!before.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    DataLogger logger;
    const NetRecord rec = knownRecord();
    QVERIFY(logger.start(path));
    QVERIFY(logger.tick(&rec, kMorning));
    if (restart) {
        logger.stop();
        QVERIFY(logger.start(path));
    }
    if (deleteBetween)
        QVERIFY(QFile::remove(path));
    QVERIFY(logger.tick(&rec, kMorning));
    const QByteArray bytes = readAll(path);
    QCOMPARE(bytes, expectedStart);
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
}

void TstLogFile::failuresReportedOnceAndRecovered_data()
{
    QTest::addColumn<bool>("folderGone");
    QTest::newRow("folder removed") << true;
    QTest::newRow("a folder in the file's place") << false;
}

void TstLogFile::failuresReportedOnceAndRecovered()
{
    QFETCH(bool, folderGone);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("sub"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/log.txt");

    DataLogger logger;
    QSignalSpy failed(&logger, &DataLogger::failed);
    QSignalSpy recovered(&logger, &DataLogger::recovered);
    QVERIFY(logger.start(path));
    QVERIFY(logger.tick(nullptr, kMorning));

    if (folderGone)
        QVERIFY(QDir(folder).removeRecursively());
    else
        QVERIFY(QFile::remove(path) && QDir().mkdir(path));

    QVERIFY(!logger.tick(nullptr, kMorning));
    QCOMPARE(failed.count(), 1);
    const QString reason = failed.at(0).at(0).toString();
    QVERIFY2(!reason.isEmpty(), "the system's reason is reported");
    QCOMPARE(logger.lastError(), reason);
    QVERIFY(logger.failing());
    QVERIFY(logger.isRunning());

    for (int i = 0; i < 3; ++i)
        QVERIFY(!logger.tick(nullptr, kMorning));
    QCOMPARE(failed.count(), 1);
    QVERIFY(logger.failing());
    QCOMPARE(recovered.count(), 0);

    if (folderGone)
        QVERIFY(QDir().mkpath(folder));
    else
        QVERIFY(QDir().rmdir(path));
    QVERIFY(logger.tick(nullptr, kMorning));
    QVERIFY(!logger.failing());
    QCOMPARE(recovered.count(), 1);
    // The file is new again, so it starts with its header.
    QVERIFY(readAll(path).startsWith(logHeaderLine()));

    // A later run of failures is reported again.
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(!logger.tick(nullptr, kMorning));
    QCOMPARE(failed.count(), 2);
}

void TstLogFile::writeFailure()
{
#ifndef Q_OS_LINUX
    QSKIP("needs /dev/full");
#else
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("full.txt"));
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), path));
    DataLogger logger;
    QSignalSpy failed(&logger, &DataLogger::failed);
    QVERIFY(logger.start(path));
    QVERIFY(!logger.tick(nullptr, kMorning));
    QVERIFY(!logger.tick(nullptr, kMorning));
    QCOMPARE(failed.count(), 1);
    QVERIFY(logger.failing());
    QVERIFY(!logger.lastError().isEmpty());
#endif
}

void TstLogFile::shortWriteLeavesNoPartialLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("afterRecovery");

    const QByteArray line = golden("record_hu.txt");
    QTest::newRow("appending") << QByteArray("earlier\r\n") << QByteArray("earlier\r\n") + line;
    QTest::newRow("creating") << QByteArray() << logHeaderLine() + line;
}

void TstLogFile::shortWriteLeavesNoPartialLine()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a file size limit");
#else
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, afterRecovery);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    if (!before.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    DataLogger logger;
    QSignalSpy failed(&logger, &DataLogger::failed);
    const NetRecord rec = knownRecord();
    QVERIFY(logger.start(path));

    // A file size limit a few bytes past the file's end: the write stops in the middle of a line.
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(before.size() + 20);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
    const bool written = logger.tick(&rec, kMorning);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);

    QVERIFY(!written);
    QCOMPARE(failed.count(), 1);
    if (before.isNull())
        QVERIFY(!QFile::exists(path));
    else
        QCOMPARE(readAll(path), before);

    QVERIFY(logger.tick(&rec, kMorning));
    QCOMPARE(readAll(path), afterRecovery);
#endif
}

QTEST_GUILESS_MAIN(TstLogFile)
#include "tst_log_file.moc"
