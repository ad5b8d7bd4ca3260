// Reading numbers out of replies: the numeric value of a text and its
// integer value, which decide list positions, trim positions and extremes.

#include "link/reply_value.h"

#include <QTest>

#include <cmath>

class TestReplyValue : public QObject {
    Q_OBJECT

private slots:
    void reply_value_and_whether_it_carries_data();
    void numeric_value_data();
    void numeric_value();
    void integer_value_data();
    void integer_value();
};

void TestReplyValue::reply_value_and_whether_it_carries_data() {
    QCOMPARE(replyValue("*01+12.5\r"), QStringLiteral("+12.5"));
    QCOMPARE(replyValue("*01\r"), QString());
    QCOMPARE(replyValue("ERR 0\r"), QStringLiteral(" 0"));
    QCOMPARE(replyValue("EER 3\r"), QStringLiteral(" 3"));
    QVERIFY(hasData("*01+12.5\r"));
    QVERIFY(!hasData("*01\r"));
    QVERIFY(!hasData("ERR 0\r"));
    QVERIFY(isReading("*01-0.5\r"));
    QVERIFY(!isReading("*01OK\r"));
    QVERIFY(!isReading("EER 3\r"));
}

void TestReplyValue::numeric_value_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("number");
    QTest::newRow("signed decimal") << "+0100.5" << 100.5 << true;
    QTest::newRow("plain") << "99" << 99.0 << true;
    QTest::newRow("negative") << "-003.2" << -3.2 << true;
    QTest::newRow("point first") << ".5" << 0.5 << true;
    QTest::newRow("blanks anywhere") << " - 1 2 .5" << -12.5 << true;
    QTest::newRow("tabs and line feeds") << "\t1\n2" << 12.0 << true;
    QTest::newRow("exponent") << "1.5e3" << 1500.0 << true;
    QTest::newRow("negative exponent") << "25E-1" << 2.5 << true;
    QTest::newRow("incomplete exponent") << "7e" << 7.0 << true;
    QTest::newRow("stops at a letter") << "12abc" << 12.0 << true;
    QTest::newRow("second point") << "1.2.3" << 1.2 << true;
    QTest::newRow("stops at CR") << "4\r5" << 4.0 << true;
    QTest::newRow("CR first") << "\r5" << 0.0 << false;
    QTest::newRow("empty") << "" << 0.0 << false;
    QTest::newRow("word") << "OK" << 0.0 << false;
    QTest::newRow("sign alone") << "-" << 0.0 << false;
    QTest::newRow("point alone") << "." << 0.0 << false;
    QTest::newRow("failure text") << " 3" << 3.0 << true;
    QTest::newRow("tiny") << "1e-999" << 0.0 << true;
    QTest::newRow("long mantissa") << QString(400, '9') << qInf() << true;
    // Found by fuzzing: the magnitude of a number written out in full.
    QTest::newRow("tiny written out") << "0." + QString(323, '0') + "5" << 0.0 << true;
    QTest::newRow("huge with a small exponent")
        << "1" + QString(400, '0') + "e-10" << qInf() << true;
}

void TestReplyValue::numeric_value() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(bool, number);
    QCOMPARE(numericValue(text), value);
    QCOMPARE(hasNumber(text), number);
}

void TestReplyValue::integer_value_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // 99999 for none
    QTest::newRow("half down to even") << "+0012.5" << 12;
    QTest::newRow("half up to even") << "+0013.5" << 14;
    QTest::newRow("negative half") << "-2.5" << -2;
    QTest::newRow("just below half") << "2.4999" << 2;
    QTest::newRow("top of 16 bits") << "32767.4" << 32767;
    QTest::newRow("rounds past 16 bits") << "32767.5" << 99999;
    QTest::newRow("bottom of 16 bits") << "-32768.5" << -32768;
    QTest::newRow("beyond") << "70000" << 99999;
    QTest::newRow("far beyond") << "1e300" << 99999;
    QTest::newRow("infinite") << "-1e999" << 99999;
    QTest::newRow("no number") << "abc" << 0;
}

void TestReplyValue::integer_value() {
    QFETCH(QString, text);
    QFETCH(int, value);
    const std::optional<qint16> v = integerValue(text);
    if (value == 99999)
        QVERIFY(!v.has_value());
    else
        QCOMPARE(int(v.value()), value);
}

QTEST_APPLESS_MAIN(TestReplyValue)
#include "tst_reply_value.moc"
