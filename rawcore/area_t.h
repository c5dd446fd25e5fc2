// A rectangle in frame coordinates, in the order the scene reports it.
#ifndef AREA_T_H
#define AREA_T_H

struct area_t {
    int top = 0;
    int left = 0;
    int width = 0;
    int height = 0;
};

// Corner column and row first, then the size: the order the callers think in.
inline area_t areaAt(int left, int top, int width, int height)
{
    return area_t{top, left, width, height};
}

#endif
