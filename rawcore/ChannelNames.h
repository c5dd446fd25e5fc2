// Names of the current image's channels, in colour-index order.
#ifndef CHANNELNAMES_H
#define CHANNELNAMES_H

#include <QStringList>

class ChannelNames
{
public:
    static constexpr int MaxChannels = 4;

    bool isRGB = false;
    bool isCMY = false;
    int count = 1;
    QStringList names{QStringLiteral("W")};

    void setYCbCr();
    // count is clamped to 1..4; cdesc may be null or shorter than count.
    void setFromDescription(int count, const char *cdesc);
};

#endif
