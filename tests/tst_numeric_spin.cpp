#include "platform/NumericSpin.h"

#include <QApplication>
#include <QLocale>
#include <QStyle>
#include <QtTest>

#include <limits>

using namespace kvam;

class TestNumericSpin : public QObject
{
    Q_OBJECT

private slots:
    void formatValue_data();
    void formatValue();
    void parseValue_data();
    void parseValue();
    void validate_data();
    void validate();
    void limitsAndStep();
    void autoRepeatTimes();
};

void TestNumericSpin::formatValue_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("point");
    QTest::addColumn<QString>("text");
    QTest::newRow("3 decimals minimum") << "#0.000#" << 1.0 << "."
                                        << "1.000";
    QTest::newRow("4th decimal when needed") << "#0.000#" << 0.1234 << "."
                                             << "0.1234";
    QTest::newRow("rounded to 4") << "#0.000#" << 0.12346 << "."
                                  << "0.1235";
    QTest::newRow("trailing zero of 4th dropped") << "#0.000#" << 2.5 << "."
                                                  << "2.500";
    QTest::newRow("lower limit") << "#0.000#" << 0.001 << "."
                                 << "0.001";
    QTest::newRow("upper limit") << "#0.000#" << 100.0 << "."
                                 << "100.000";
    QTest::newRow("comma separator") << "#0.000#" << 1.1 << ","
                                     << "1,100";
    QTest::newRow("exactly 2") << "#0.00" << 3.14159 << "."
                               << "3.14";
    QTest::newRow("exactly 2, zero") << "#0.00" << 0.0 << ","
                                     << "0,00";
    QTest::newRow("integer") << "#0" << 41.6 << "."
                             << "42";
    QTest::newRow("integer, no point") << "#0" << 7.0 << ","
                                       << "7";
    QTest::newRow("4 to 5") << "#0.0000#" << 1.23456 << "."
                            << "1.23456";
    QTest::newRow("4 to 5, short") << "#0.0000#" << 1.2 << "."
                                   << "1.2000";
    QTest::newRow("negative") << "#0.00" << -1.5 << "."
                              << "-1.50";
    QTest::newRow("negative rounding to zero") << "#0.00" << -0.001 << "."
                                               << "0.00";
    QTest::newRow("optional only") << "#0.##" << 5.0 << "."
                                   << "5";
    QTest::newRow("optional only, fraction") << "#0.##" << 5.25 << "."
                                             << "5.25";
    QTest::newRow("not a number") << "#0.00" << std::numeric_limits<double>::quiet_NaN() << "."
                                  << "";
}

void TestNumericSpin::formatValue()
{
    QFETCH(QString, format);
    QFETCH(double, value);
    QFETCH(QString, point);
    QFETCH(QString, text);
    QCOMPARE(NumericSpin::formatValue(value, format, point), text);
}

void TestNumericSpin::parseValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("point");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("dot") << "1.25"
                         << "." << true << 1.25;
    QTest::newRow("comma as user's separator") << "1,25"
                                               << "," << true << 1.25;
    QTest::newRow("dot with comma locale") << "1.25"
                                           << "," << true << 1.25;
    QTest::newRow("comma with dot locale") << "1,25"
                                           << "." << false << 0.0;
    QTest::newRow("blanks around") << "  3.5 "
                                   << "." << true << 3.5;
    QTest::newRow("negative") << "-0.5"
                              << "." << true << -0.5;
    QTest::newRow("two points") << "1.2.3"
                                << "." << false << 0.0;
    QTest::newRow("exponent") << "1e3"
                              << "." << false << 0.0;
    QTest::newRow("letters") << "abc"
                             << "." << false << 0.0;
    QTest::newRow("nan") << "nan"
                         << "." << false << 0.0;
    QTest::newRow("empty") << ""
                           << "." << false << 0.0;
    QTest::newRow("only a point") << "."
                                  << "." << false << 0.0;
}

void TestNumericSpin::parseValue()
{
    QFETCH(QString, text);
    QFETCH(QString, point);
    QFETCH(bool, ok);
    QFETCH(double, value);
    const std::optional<double> v = NumericSpin::parseValue(text, point);
    QCOMPARE(v.has_value(), ok);
    if (ok)
        QCOMPARE(*v, value);
}

void TestNumericSpin::validate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state");
    QTest::newRow("in range") << "2.5" << int(QValidator::Acceptable);
    QTest::newRow("four decimals") << "0.0015" << int(QValidator::Acceptable);
    QTest::newRow("five decimals") << "0.00155" << int(QValidator::Invalid);
    QTest::newRow("below minimum") << "0" << int(QValidator::Intermediate);
    QTest::newRow("above maximum") << "150" << int(QValidator::Intermediate);
    QTest::newRow("empty") << "" << int(QValidator::Intermediate);
    QTest::newRow("trailing point") << "3." << int(QValidator::Acceptable);
    QTest::newRow("letters") << "x" << int(QValidator::Invalid);
}

void TestNumericSpin::validate()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    NumericSpin spin(0.001, 100, 0.1, QStringLiteral("#0.000#"), 1.0);
    spin.setLocale(QLocale::c());
    int pos = int(text.size());
    QCOMPARE(int(spin.validate(text, pos)), state);
}

void TestNumericSpin::limitsAndStep()
{
    NumericSpin spin(0.001, 100, 0.1, QStringLiteral("#0.000#"), 1.0);
    spin.setLocale(QLocale(QLocale::Hungarian));
    QCOMPARE(spin.value(), 1.0);
    QCOMPARE(spin.decimals(), 4);
    QCOMPARE(spin.text(), QStringLiteral("1,000"));
    spin.stepBy(3);
    QVERIFY(qFuzzyCompare(spin.value(), 1.3));
    QCOMPARE(spin.text(), QStringLiteral("1,300"));
    spin.stepBy(-100);
    QCOMPARE(spin.value(), 0.001);
    spin.setValue(1000);
    QCOMPARE(spin.value(), 100.0);
    spin.setValue(0.12345);
    QCOMPARE(spin.value(), 0.1235); // kept to the format's four decimals

    // Typing with the user's separator; a value out of range is pulled to the nearest limit.
    spin.selectAll();
    QTest::keyClicks(&spin, QStringLiteral("2,5"));
    spin.interpretText();
    QCOMPARE(spin.value(), 2.5);
    spin.selectAll();
    QTest::keyClicks(&spin, QStringLiteral("500"));
    spin.interpretText();
    QCOMPARE(spin.value(), 100.0);
    spin.selectAll();
    QTest::keyClicks(&spin, QStringLiteral("0"));
    spin.interpretText();
    QCOMPARE(spin.value(), 0.001);
    spin.selectAll();
    QTest::keyClicks(&spin, QStringLiteral("2,5"));
    spin.interpretText();

    // Changing the format re-rounds and re-renders.
    spin.setDisplayFormat(QStringLiteral("#0"));
    QCOMPARE(spin.decimals(), 0);
    QCOMPARE(spin.value(), 3.0);
    QCOMPARE(spin.text(), QStringLiteral("3"));
}

void TestNumericSpin::autoRepeatTimes()
{
    NumericSpin spin(0, 10, 1, QStringLiteral("#0"), 0);
    QCOMPARE(spin.style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold, nullptr, &spin), 500);
    QCOMPARE(spin.style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatRate, nullptr, &spin), 100);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestNumericSpin test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_numeric_spin.moc"
