#include "TestRegistry.h"

#include <QApplication>
#include <QTest>

// Runs every registered test class; a name given with -class runs just that
// one, the other arguments go to QTest as usual.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    QString only;
    int i = args.indexOf(QStringLiteral("-class"));
    if (i >= 0 && i + 1 < args.size()) {
        only = args.at(i + 1);
        args.remove(i, 2);
    }
    int failed = 0;
    for (auto &make : testregistry::factories()) {
        std::unique_ptr<QObject> test = make();
        if (!only.isEmpty() && only != QLatin1String(test->metaObject()->className()))
            continue;
        failed += QTest::qExec(test.get(), args) != 0;
    }
    return failed ? 1 : 0;
}
