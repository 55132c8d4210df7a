// workspace/Region.h
#pragma once

// A region of interest by its corners, in image pixels.
struct Region {
    int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    friend bool operator==(const Region&, const Region&) = default;
};

// Orders the corners (X1 <= X2, Y1 <= Y2 as typed), then limits X2 and Y2 from
// above to the last column and row and X1 and Y1 from below to 0. A region that
// starts at or past the right or bottom edge ends with X1 > X2 or Y1 > Y2 and
// covers no pixel; callers loop over it zero times.
Region OrderAndClampRegion(int X1, int Y1, int X2, int Y2, int width, int height);
