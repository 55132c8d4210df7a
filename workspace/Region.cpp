// workspace/Region.cpp
#include "Region.h"

#include <utility>

Region OrderAndClampRegion(int X1, int Y1, int X2, int Y2, int width, int height)
{
    if (X1 > X2)
        std::swap(X1, X2);
    if (Y1 > Y2)
        std::swap(Y1, Y2);
    if (X2 >= width)
        X2 = width - 1;
    if (Y2 >= height)
        Y2 = height - 1;
    if (X1 < 0)
        X1 = 0;
    if (Y1 < 0)
        Y1 = 0;
    return {X1, Y1, X2, Y2};
}
