// Formatting typed pressures with the pattern of the decimal places.

#include "protocol/number_format.h"
#include "protocol/trim_text.h"

#include <QTest>

class TestNumberFormat : public QObject {
    Q_OBJECT

private slots:
    void pattern_table_data();
    void pattern_table();
    void reading_typed_text_data();
    void reading_typed_text();
    void sendable_numbers();
    void trim_texts();
};

void TestNumberFormat::pattern_table_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("shown");
    const QStringList typed{"12.34", "-3.2", "0.07", "250"};
    const QList<QPair<QString, QStringList>> table{
        {"0000.", {"+0012.", "-0003.", "+0000.", "+0250."}},
        {"000.0", {"+012.3", "-003.2", "+000.1", "+250.0"}},
        {"00.00", {"+12.34", "-03.20", "+00.07", "+250.00"}},
        {"0.000", {"+12.340", "-3.200", "+0.070", "+250.000"}},
        {".0000", {"+12.3400", "-3.2000", "+.0700", "+250.0000"}}};
    for (const auto& [pattern, row] : table)
        for (int i = 0; i < typed.size(); ++i)
            QTest::addRow("%s %s", qPrintable(pattern), qPrintable(typed[i]))
                << typed[i] << pattern << row[i];

    QTest::newRow("5 at two decimals") << "5"
                                       << "00.00"
                                       << "+05.00";
    QTest::newRow("negative below one") << "-0.5"
                                        << ".0000"
                                        << "-.5000";
    QTest::newRow("positive below one") << "0.5"
                                        << ".0000"
                                        << "+.5000";
    QTest::newRow("integer part never cut") << "4321.6"
                                            << "000.0"
                                            << "+4321.6";
    QTest::newRow("typed sign not repeated") << "+7"
                                             << "00.00"
                                             << "+07.00";
    QTest::newRow("value read, one more decimal") << "+100.0"
                                                  << "00.00"
                                                  << "+100.00";
    QTest::newRow("half away from zero") << "2.675"
                                         << "00.00"
                                         << "+02.68";
    QTest::newRow("negative half away") << "-2.675"
                                        << "00.00"
                                        << "-02.68";
    QTest::newRow("half in binary") << "0.125"
                                    << "00.00"
                                    << "+00.13";
    QTest::newRow("carry into the integer") << "9.99"
                                            << "000.0"
                                            << "+010.0";
    QTest::newRow("carry past the point") << "0.99996"
                                          << ".0000"
                                          << "+1.0000";
    QTest::newRow("zero") << "0"
                          << "0.000"
                          << "+0.000";
    QTest::newRow("negative zero") << "-0"
                                   << "00.00"
                                   << "+00.00";
    QTest::newRow("blanks around") << "  12.5  "
                                   << "000.0"
                                   << "+012.5";
    QTest::newRow("exponent") << "1.5e2"
                              << "0000."
                              << "+0150.";
    QTest::newRow("trailing point") << "7."
                                    << "0.000"
                                    << "+7.000";
    QTest::newRow("leading point") << ".25"
                                   << "00.00"
                                   << "+00.25";
    // Only about seven significant digits survive single precision.
    QTest::newRow("single precision") << "123456789"
                                      << "0000."
                                      << "+123456790.";
    QTest::newRow("single precision decimals") << "1.23456789"
                                               << "0.000000"
                                               << "+1.234568";
    QTest::newRow("large") << "1e20"
                           << "0000."
                           << "+100000000000000000000.";
    QTest::newRow("tiny") << "1e-50"
                          << "00.00"
                          << "+00.00";
}

void TestNumberFormat::pattern_table() {
    QFETCH(QString, typed);
    QFETCH(QString, pattern);
    QFETCH(QString, shown);
    const std::optional<float> v = singleValue(typed);
    QVERIFY(v.has_value());
    QCOMPARE(formatWithPattern(*v, pattern).value_or("(none)"), shown);
}

void TestNumberFormat::reading_typed_text_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << "";
    QTest::newRow("blank") << "   ";
    QTest::newRow("initial text") << "TXT_DPL";
    QTest::newRow("stray word") << "12abc";
    QTest::newRow("two points") << "1.2.3";
    QTest::newRow("comma") << "1,5";
    QTest::newRow("beyond single precision") << "1e39";
    QTest::newRow("very long") << QString(200, '9');
    QTest::newRow("nan") << "nan";
    QTest::newRow("inf") << "-inf";
    QTest::newRow("hex") << "0x10";
    QTest::newRow("sign alone") << "-";
    QTest::newRow("full-width digits") << "１２";
    QTest::newRow("inner blank") << "1 2";
    QTest::newRow("exponent without digits") << "1e+";
    QTest::newRow("point alone") << ".";
    QTest::newRow("point and exponent only") << "+.e5";
    QTest::newRow("Arabic-Indic digits") << "\u0663";
}

void TestNumberFormat::reading_typed_text() {
    QFETCH(QString, typed);
    QVERIFY(!singleValue(typed).has_value());
    QVERIFY(!isSendableNumber(typed));
}

void TestNumberFormat::sendable_numbers() {
    for (const char* text :
         {"+012.3", "-.5000", "250", "+0012.", "1e3", "+0012", "1.E-5", "-.5e+1"})
        QVERIFY2(isSendableNumber(text), text);
    // The failure texts and anything with blanks never go out.
    for (const char* text : {" 0", " 3", "*01\r", "+12.5 ", "DAZF", "12\n", "73\n"})
        QVERIFY2(!isSendableNumber(text), text);
    // Without a pattern nothing is formatted.
    QVERIFY(!formatWithPattern(1.0f, "").has_value());
    QVERIFY(!formatWithPattern(1.0f, "0#.0").has_value());
}

void TestNumberFormat::trim_texts() {
    QCOMPARE(trimText(0), QStringLiteral("+0000"));
    QCOMPARE(trimText(12), QStringLiteral("+0012"));
    QCOMPARE(trimText(-7), QStringLiteral("-0007"));
    QCOMPARE(trimText(5000), QStringLiteral("+5000"));
    QCOMPARE(trimText(-5000), QStringLiteral("-5000"));
}

QTEST_APPLESS_MAIN(TestNumberFormat)
#include "tst_number_format.moc"
