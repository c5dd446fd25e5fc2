// The preferences dialog as the main window opens it.
#include "MainWindowFixture.h"
#include "TW_PrefPane.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

class TestPrefsOpening : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;

    // Opens the dialog by `open`; returns the page shown, -1 when it did not open.
    int pageOpenedBy(const std::function<void()> &open)
    {
        int page = -1;
        QTimer::singleShot(0, window.get(), [&] {
            if (window->prefPane->isVisible())
                page = window->prefPane->pageList->currentRow();
            window->prefPane->reject();
        });
        open();
        return page;
    }

private slots:
    void initTestCase()
    {
        fixture = std::make_unique<MainWindowFixture>();
        QVERIFY(fixture->isValid());
    }
    void init() { window = std::make_unique<Tessivane>(); }
    void cleanup() { window.reset(); }

    void preferencesActionOpensTheDialog()
    {
        window->prefPane->pageList->setCurrentRow(4);
        window->prefPane->setPrefValue("FPRangeTo", 2048);
        QCOMPARE(pageOpenedBy([&] { window->prefsAction->trigger(); }), 4);
        // The snapshot that applying compares against was taken on opening.
        QCOMPARE(window->prefSnapshot.value("FPRangeTo"), 2048);
    }

    void levelButtonsOpenDataProcessing()
    {
        for (QPushButton *button : {window->blackLevelButton, window->rawCurveButton}) {
            window->prefPane->pageList->setCurrentRow(0);
            button->setEnabled(true);
            QCOMPARE(pageOpenedBy([&] { button->click(); }), 1);
        }
    }

    void showPrefsReturnsTheDialogResult()
    {
        QTimer::singleShot(0, window.get(), [&] { window->prefPane->accept(); });
        QCOMPARE(window->showPrefs(), 1);
        QTimer::singleShot(0, window.get(), [&] { window->prefPane->reject(); });
        QCOMPARE(window->showPrefs(), 0);
    }
};

TW_REGISTER_TEST(TestPrefsOpening)
#include "TestPrefsOpening.moc"
