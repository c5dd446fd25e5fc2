#include "ColorTable.h"

ColorTable channelColorTable(const QColor &windowText, const QColor &window)
{
    ColorTable t;
    t[1] = windowText;
    t[2] = window;
    t[3] = window.darker(115);
    t[4] = window.darker(140);
    t[5] = QColor(255, 0, 0);
    t[6] = QColor(0, 128, 0);
    t[7] = QColor(0, 0, 255);
    t[8] = QColor(255, 240, 240);
    t[9] = QColor(240, 255, 240);
    t[10] = QColor(240, 240, 255);
    t[11] = QColor(255, 240, 255);
    t[12] = QColor(240, 255, 255);
    t[13] = QColor(240, 255, 245);
    t[14] = QColor(255, 255, 200);
    t[15] = QColor(255, 255, 255);
    t[16] = QColor(200, 20, 20);
    t[17] = QColor(20, 200, 20);
    t[18] = QColor(20, 20, 200);
    t[19] = QColor(200, 20, 200);
    t[20] = QColor(20, 200, 200);
    t[21] = QColor(20, 200, 120);
    t[22] = QColor(240, 240, 10);
    t[23] = QColor(250, 250, 250);
    t[24] = QColor(200, 200, 200);
    t[25] = windowText;
    t[26] = QColor(160, 160, 160);
    return t;
}

ColorTable channelColorTableAlt(const QColor &key1, const QColor &key2)
{
    ColorTable t;
    const int g = key2.lighter(125).green();
    const int h = g + 12;
    auto rgb = [](int r, int gg, int b) { return QColor(qBound(0, r, 255), qBound(0, gg, 255), qBound(0, b, 255)); };
    t[1] = key1;
    t[2] = key2;
    t[3] = key2.lighter(130);
    t[4] = key2.lighter(170);
    t[5] = QColor(200, 20, 20);
    t[6] = QColor(60, 170, 60);
    t[7] = QColor(110, 110, 255);
    t[8] = rgb(h, g, g);
    t[9] = rgb(g, h, g);
    t[10] = rgb(g, g, h);
    t[11] = rgb(h, g, h);
    t[12] = rgb(g, h, h);
    t[13] = rgb(g, h, g + 6);
    t[14] = rgb(g + 24, g + 24, g);
    t[15] = key2;
    t[16] = QColor(170, 40, 40);
    t[17] = QColor(20, 150, 20);
    t[18] = QColor(100, 100, 200);
    t[19] = QColor(150, 20, 150);
    t[20] = QColor(20, 150, 150);
    t[21] = QColor(20, 150, 90);
    t[22] = QColor(170, 170, 10);
    t[23] = QColor(190, 190, 190);
    t[24] = key2.lighter(150);
    t[25] = key1.darker(120);
    t[26] = key2.lighter(250);
    return t;
}

bool isLightPalette(const QPalette &palette)
{
    const QColor window = palette.color(QPalette::Active, QPalette::Window);
    return window.lightness() > QColor(160, 160, 164).lightness();
}

ColorTable colorTableForPalette(const QPalette &palette)
{
    if (isLightPalette(palette))
        return channelColorTable(palette.color(QPalette::Active, QPalette::WindowText),
                                 palette.color(QPalette::Active, QPalette::Window));
    return channelColorTableAlt(QColor(Qt::white), QColor(0x30, 0x30, 0x30));
}
