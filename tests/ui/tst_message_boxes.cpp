// The real message boxes: modal, one OK button, and the application name as
// the title of a box that has none of its own.

#include "ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestMessageBoxes : public QObject {
    Q_OBJECT

private slots:
    void box_shows_text_title_and_one_ok_button_data();
    void box_shows_text_title_and_one_ok_button();
};

void TestMessageBoxes::box_shows_text_title_and_one_ok_button_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shownTitle");
    QTest::newRow("own title") << QStringLiteral("错误") << QStringLiteral("错误");
    QTest::newRow("no title") << QString() << QStringLiteral("Tarnwick");
}

void TestMessageBoxes::box_shows_text_title_and_one_ok_button() {
    QFETCH(QString, title);
    QFETCH(QString, shownTitle);

    QString seenTitle, seenText;
    int buttons = -1;
    bool modal = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    // The box blocks in its own loop; look at it from there and press OK.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenTitle = box->windowTitle();
        seenText = box->text();
        buttons = int(box->buttons().size());
        modal = box->isModal();
        icon = box->icon();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });

    QtMessageBoxes boxes;
    boxes.show(QStringLiteral("端口未选择或未打开！"), title, MessageBoxes::Icon::Exclamation);

    QCOMPARE(seenTitle, shownTitle);
    QCOMPARE(seenText, QStringLiteral("端口未选择或未打开！"));
    QCOMPARE(buttons, 1);
    QVERIFY(modal);
    QCOMPARE(icon, QMessageBox::Warning);
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_message_boxes.moc"
