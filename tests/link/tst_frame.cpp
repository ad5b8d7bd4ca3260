// Frames on the wire: checksum, request, and the check of a reply.

#include "link/exchange.h"
#include "link/frame.h"

#include <QTest>

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    void checksum_data();
    void checksum();
    void request_frames();
    void reply_check_data();
    void reply_check();
    void printable_ascii_only();
};

void TestFrame::checksum_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sum");
    QTest::newRow("abc") << "abc"
                         << "60";
    QTest::newRow("single zero") << "0"
                                 << "30";
    QTest::newRow("cancelling pair") << "00"
                                     << "00";
    QTest::newRow("leading zero digit") << "01TY"
                                        << "0C";
    QTest::newRow("pressure read") << "01RP0"
                                   << "33";
    QTest::newRow("address probe") << "01AD"
                                   << "04";
    QTest::newRow("doubled address") << "0707"
                                     << "00";
    QTest::newRow("upper-case letters") << "0F"
                                        << "76";
    QTest::newRow("empty") << ""
                           << "00";
}

void TestFrame::checksum() {
    QFETCH(QString, text);
    QFETCH(QString, sum);
    QCOMPARE(PARITY_XORB(text), sum);
}

void TestFrame::request_frames() {
    QCOMPARE(frame::request("01", "RP0"), QByteArray("$01RP033\r"));
    QCOMPARE(frame::request("01", "AD"), QByteArray("$01AD04\r"));
    QCOMPARE(frame::request("01", "TY"), QByteArray("$01TY0C\r"));
    // No address selected: no address characters.
    QCOMPARE(frame::request("", "RP0"), QByteArray("$RP0") + frame::checksum("RP0") + '\r');
    QCOMPARE(frame::reply("0101"), QByteArray("*010100\r"));
}

void TestFrame::reply_check_data() {
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("result");
    QTest::newRow("valid") << QByteArray("*010100\r") << QByteArray("*0101\r");
    QTest::newRow("valid with data") << frame::reply("01+012.34") << QByteArray("*01+012.34\r");
    QTest::newRow("valid without data") << frame::reply("01") << QByteArray("*01\r");
    QTest::newRow("nothing") << QByteArray() << QByteArray("ERR 0\r");
    QTest::newRow("five characters")
        << QByteArray("*1") + frame::checksum("1") + '\r' << QByteArray("ERR 0\r");
    QTest::newRow("five without CR") << QByteArray("*0101") << QByteArray("ERR 0\r");
    QTest::newRow("six without CR") << QByteArray("*01010") << QByteArray("EER 3\r");
    QTest::newRow("wrong checksum") << QByteArray("*010101\r") << QByteArray("EER 3\r");
    QTest::newRow("lower-case checksum")
        << QByteArray("*01Z") + frame::checksum("01Z").toLower() + '\r' << QByteArray("EER 3\r");
    QTest::newRow("noise before") << QByteArray("x*010100\r") << QByteArray("EER 3\r");
    QTest::newRow("characters after CR") << QByteArray("*010100\rZ") << QByteArray("EER 3\r");
    QTest::newRow("wrong start") << QByteArray("$010100\r") << QByteArray("EER 3\r");
    QTest::newRow("two frames") << QByteArray("*010100\r*010100\r") << QByteArray("EER 3\r");
    QTest::newRow("CR early") << QByteArray("*01\r") << QByteArray("ERR 0\r");
    // Three equal frames pass the checksum test as one: the middle pair's
    // XOR cancels. Seen when replies held up behind a flood arrived at once.
    QTest::newRow("three frames run together")
        << QByteArray("*01PT-119\r*01PT-119\r*01PT-119\r") << QByteArray("EER 3\r");
}

void TestFrame::reply_check() {
    // The lower-case row only means something if the checksum has a letter.
    QCOMPARE(frame::checksum("01Z"), QByteArray("5B"));
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, result);
    QCOMPARE(frame::replyText(received), result);
}

void TestFrame::printable_ascii_only() {
    QVERIFY(frame::isPrintableAscii(" ~AZaz09+-.*$"));
    QVERIFY(!frame::isPrintableAscii("RP0\r"));
    QVERIFY(!frame::isPrintableAscii(QByteArray("A\0B", 3)));
    QVERIFY(!frame::isPrintableAscii("\x7F"));
    QVERIFY(!frame::isPrintableAscii("\xC3\xA9"));
    QVERIFY(isSendable(QStringLiteral("TY PT-100 v2")));
    QVERIFY(!isSendable(QStringLiteral("型号")));
    QVERIFY(!isSendable(QStringLiteral("é")));
    QVERIFY(!isSendable(QStringLiteral("\t")));
}

QTEST_APPLESS_MAIN(TestFrame)
#include "tst_frame.moc"
