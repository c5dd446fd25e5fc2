#include "TW_UpdateDialog.h"
#include "TestRegistry.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

// What the update dialog shows must be readable in its 440-pixel width.
class TestUpdateDialog : public QObject
{
    Q_OBJECT
private slots:
    void failureIsReadable_data()
    {
        QTest::addColumn<QString>("error");
        QTest::newRow("long address") << QStringLiteral(
            "Error transferring http://updates.tessivane.invalid/service/v2/checkupdates?version=1064978&ver=Debian"
            "%20GNU%2FLinux%2013%20(trixie)&os=linux - server replied: Not Found");
        QTest::newRow("markup and ampersands") << QStringLiteral("Proxy <b>denied</b> R&D & sales; &amp; stays");
    }

    void failureIsReadable()
    {
        QFETCH(QString, error);
        TW_UpdateDialog dialog(nullptr, QString());
        dialog.downloaded(QByteArray(), error);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QLabel *label = dialog.messageLabel;
        // Shown once as written: escaped exactly once, as rich text.
        QTextDocument shown;
        shown.setHtml(label->text());
        QCOMPARE(shown.toPlainText().remove(QChar(0x200B)), QStringLiteral("Update check failed: ") + error);
        QCOMPARE(label->textFormat(), Qt::RichText);
        // Wrapped within the dialog, whole in height.
        QVERIFY(label->wordWrap());
        QVERIFY2(label->minimumSizeHint().width() <= 440, qPrintable(QString::number(label->minimumSizeHint().width())));
        QVERIFY(dialog.width() <= 460);
        QVERIFY(label->height() >= label->heightForWidth(label->width()));
        QVERIFY(dialog.okButton->isVisible());
        QVERIFY(!dialog.downloadButton->isVisible());
    }
};

TW_REGISTER_TEST(TestUpdateDialog)
#include "TestUpdateDialog.moc"
