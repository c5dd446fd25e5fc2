// The output ICC profiles are linked into the program's resources and say
// what the renderer's output spaces are.
#include "TestRegistry.h"

#include <QFile>
#include <QtTest>

#include <lcms2.h>

namespace {

bool near(double a, double b, double tolerance = 0.002) { return std::fabs(a - b) <= tolerance; }

}

class TestOutputProfiles : public QObject {
    Q_OBJECT

private slots:
    void profile_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("gamma");
        QTest::addColumn<double>("redX");  // D50-adapted red colorant, X and Y
        QTest::addColumn<double>("redY");
        QTest::newRow("1") << 1 << "sRGB" << 2.2 << 0.4361 << 0.2225;
        QTest::newRow("2") << 2 << "Adobe RGB (1998)" << 2.2 << 0.6097 << 0.3111;
        QTest::newRow("3") << 3 << "Wide Gamut RGB" << 1.8 << 0.7161 << 0.2582;
        QTest::newRow("4") << 4 << "ProPhoto RGB" << 1.8 << 0.7977 << 0.2880;
        QTest::newRow("5") << 5 << "Rec. 2020" << 1.8 << 0.6734 << 0.2790;
        QTest::newRow("6") << 6 << "Display P3" << 1.8 << 0.5151 << 0.2412;
    }
    void profile()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(double, gamma);
        QFETCH(double, redX);
        QFETCH(double, redY);
        QFile file(QStringLiteral(":/outicc/rgb%1.icm").arg(index));
        QVERIFY2(file.open(QIODevice::ReadOnly), "profile not in the resources");
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.size() > 128);
        cmsHPROFILE profile = cmsOpenProfileFromMem(bytes.constData(), cmsUInt32Number(bytes.size()));
        QVERIFY(profile);
        QCOMPARE(cmsGetColorSpace(profile), cmsSigRgbData);
        QCOMPARE(cmsGetDeviceClass(profile), cmsSigDisplayClass);
        char text[256] = {};
        cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
        QVERIFY2(QString::fromLatin1(text).contains(name), text);

        auto *red = static_cast<cmsCIEXYZ *>(cmsReadTag(profile, cmsSigRedColorantTag));
        auto *green = static_cast<cmsCIEXYZ *>(cmsReadTag(profile, cmsSigGreenColorantTag));
        auto *blue = static_cast<cmsCIEXYZ *>(cmsReadTag(profile, cmsSigBlueColorantTag));
        QVERIFY(red && green && blue);
        QVERIFY2(near(red->X, redX) && near(red->Y, redY), qPrintable(QStringLiteral("%1 %2").arg(red->X).arg(red->Y)));
        // colorants add up to the D50 white of the profile connection space
        QVERIFY(near(red->X + green->X + blue->X, 0.9642, 0.001));
        QVERIFY(near(red->Y + green->Y + blue->Y, 1.0, 0.001));
        QVERIFY(near(red->Z + green->Z + blue->Z, 0.8249, 0.001));

        auto *trc = static_cast<cmsToneCurve *>(cmsReadTag(profile, cmsSigRedTRCTag));
        QVERIFY(trc);
        QVERIFY(near(cmsEstimateGamma(trc, 0.01), gamma, 0.01));
        cmsCloseProfile(profile);
    }

    void onlySixProfiles()
    {
        QVERIFY(!QFile::exists(QStringLiteral(":/outicc/rgb0.icm")));
        QVERIFY(!QFile::exists(QStringLiteral(":/outicc/rgb7.icm")));
    }
};

TW_REGISTER_TEST(TestOutputProfiles)
#include "test_outicc.moc"
