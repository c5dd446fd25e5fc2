// Several QTest classes in one executable: each test file registers its class
// with TW_REGISTER_TEST(Class); tests/TestMain.cpp runs them all in turn.
#ifndef TESTREGISTRY_H
#define TESTREGISTRY_H

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace testregistry {

using Factory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<Factory> &factories()
{
    static std::vector<Factory> list;
    return list;
}

template <class T> struct Registration {
    Registration() { factories().push_back([] { return std::unique_ptr<QObject>(new T); }); }
};

}

#define TW_REGISTER_TEST(Class) static testregistry::Registration<Class> registration_##Class;

#endif
