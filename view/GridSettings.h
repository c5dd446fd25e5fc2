// A grid's shape and naming as read from a grid-settings file.
#ifndef GRIDSETTINGS_H
#define GRIDSETTINGS_H

struct GridSettings {
    int columns = 0;
    int rows = 0;
    int minCellWidth = 0;
    int minCellHeight = 0;
    double roiRelativeSize = 1.0;
    int startCorner = 0;
    int walkOrder = 0;
    int namingOrder = 0;
    bool showNames = false;
    int fontSizeIndex = 0;
};

#endif
