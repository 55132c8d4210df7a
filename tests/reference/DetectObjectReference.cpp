// tests/reference/DetectObjectReference.cpp
#include "DetectObjectReference.h"

#include "ImageReference.h"

#include <vector>

namespace {

constexpr int kMarker = -1;

struct Record {
    int parent, area, minX, minY, maxX, maxY, root;
};
std::vector<Record> table;
int labelCount = 0;

void LiteralClearLabels(IntImage& labels, int width, int height)
{
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            labels[x][y] = kMarker;
    labelCount = 0;
    table.clear();
}

void LiteralNewLabel(IntImage& labels, int x, int y)
{
    const int n = labelCount;
    table.push_back({n, 1, x, y, x, y, n});
    labels[x][y] = n;
    labelCount = n + 1;
}

void LiteralGrowLabel(int label, int x, int y)
{
    table[label].area = table[label].area + 1;
    if (x > table[label].maxX)
        table[label].maxX = x;
    if (y > table[label].maxY)
        table[label].maxY = y;
}

int LiteralFindRoot(int a, int s)
{
    int p = a;
    while (table[p].parent != p)
        p = table[p].parent;
    table[s].root = p;
    return p;
}

void LiteralJoinLabels(int a, int b)
{
    const int ra = LiteralFindRoot(a, a);
    const int rb = LiteralFindRoot(b, b);
    if (ra != rb) {
        if (ra > rb) {
            table[ra].parent = rb;
            table[ra].root = rb;
        } else {
            table[rb].parent = ra;
            table[rb].root = ra;
        }
    }
}

void LiteralResolveLabels()
{
    for (int i = 0; i < labelCount; ++i) {
        const int r = LiteralFindRoot(i, i);
        if (r != i) {
            table[r].area = table[r].area + table[i].area;
            if (table[i].minX < table[r].minX)
                table[r].minX = table[i].minX;
            if (table[i].minY < table[r].minY)
                table[r].minY = table[i].minY;
            if (table[i].maxX > table[r].maxX)
                table[r].maxX = table[i].maxX;
            if (table[i].maxY > table[r].maxY)
                table[r].maxY = table[i].maxY;
        }
    }
}

void LiteralLabelEdgePixel(IntImage& labels, int x, int y, int X1, int Y1)
{
    if (x == X1 && y == Y1) {
        LiteralNewLabel(labels, x, y);
    } else if (x == X1) {
        if (labels[x][y - 1] == kMarker) {
            LiteralNewLabel(labels, x, y);
        } else {
            labels[x][y] = labels[x][y - 1];
            LiteralGrowLabel(labels[x][y], x, y);
        }
    } else {
        if (labels[x - 1][y] == kMarker) {
            LiteralNewLabel(labels, x, y);
        } else {
            labels[x][y] = labels[x - 1][y];
            LiteralGrowLabel(labels[x][y], x, y);
        }
    }
}

void LiteralLabelInnerPixel(IntImage& labels, int x, int y)
{
    const int L = labels[x - 1][y];
    const int U = labels[x][y - 1];
    if (L != kMarker && U == L) {
        labels[x][y] = L;
        LiteralGrowLabel(L, x, y);
    } else if (L != kMarker && U == kMarker) {
        labels[x][y] = L;
        LiteralGrowLabel(L, x, y);
    } else if (L == kMarker && U != kMarker) {
        labels[x][y] = U;
        LiteralGrowLabel(U, x, y);
    } else if (L != kMarker && U != kMarker) {
        const int smaller = L < U ? L : U;
        labels[x][y] = smaller;
        LiteralGrowLabel(smaller, x, y);
        LiteralJoinLabels(L, U);
    } else {
        LiteralNewLabel(labels, x, y);
    }
}

// test: 0 dark, 1 bright, 2 band.
void LiteralLabelPixels(const GrayImage& image, IntImage& labels, int test, int t, int upper, int X1,
                 int Y1, int X2, int Y2)
{
    for (int x = X1; x <= X2; ++x)
        for (int y = Y1; y <= Y2; ++y) {
            const int v = image[x][y];
            bool object = false;
            if (test == 0)
                object = v <= t;
            else if (test == 1)
                object = v >= t;
            else
                object = v <= t || v >= upper;
            if (!object)
                continue;
            if (x == X1 || y == Y1)
                LiteralLabelEdgePixel(labels, x, y, X1, Y1);
            else
                LiteralLabelInnerPixel(labels, x, y);
        }
    LiteralResolveLabels();
}

int LiteralSelectAndDraw(GrayImage& image, ObjectTable& objects, int X1, int Y1, int X2, int Y2,
                  int width, int height)
{
    objects.clear();
    int count = 0;
    for (int j = 0; j < labelCount; ++j) {
        const Record& r = table[j];
        if (r.parent == j && r.minX != X1 && r.minY != Y1 && r.maxX != X2 && r.maxY != Y2) {
            ReferenceDrawLine(image, 128, r.minX, r.minY, r.minX, r.maxY, width, height);
            ReferenceDrawLine(image, 128, r.minX, r.minY, r.maxX, r.minY, width, height);
            ReferenceDrawLine(image, 128, r.maxX, r.minY, r.maxX, r.maxY, width, height);
            ReferenceDrawLine(image, 128, r.minX, r.maxY, r.maxX, r.maxY, width, height);
            objects.push_back({r.minX, r.minY, r.maxX, r.maxY, r.area});
            count = count + 1;
        }
    }
    ReferenceDrawLine(image, 100, X1, Y1, X1, Y2, width, height);
    ReferenceDrawLine(image, 100, X1, Y1, X2, Y1, width, height);
    ReferenceDrawLine(image, 100, X2, Y1, X2, Y2, width, height);
    ReferenceDrawLine(image, 100, X1, Y2, X2, Y2, width, height);
    return count;
}

}  // namespace

int ReferenceDetectObjects(GrayImage& image, IntImage& labels, ObjectTable& objects, int mode,
                           int t, int X1, int Y1, int X2, int Y2, int width, int height)
{
    LiteralClearLabels(labels, width, height);
    if (mode == 1)
        LiteralLabelPixels(image, labels, 1, t, 0, X1, Y1, X2, Y2);
    if (mode == 0)
        LiteralLabelPixels(image, labels, 0, t, 0, X1, Y1, X2, Y2);
    return LiteralSelectAndDraw(image, objects, X1, Y1, X2, Y2, width, height);
}

int ReferenceDetectBandObjects(GrayImage& image, IntImage& labels, ObjectTable& objects,
                               int lower, int upper, int X1, int Y1, int X2, int Y2, int width,
                               int height)
{
    LiteralClearLabels(labels, width, height);
    LiteralLabelPixels(image, labels, 2, lower, upper, X1, Y1, X2, Y2);
    return LiteralSelectAndDraw(image, objects, X1, Y1, X2, Y2, width, height);
}

int ReferenceLabelCount() { return labelCount; }

LabelRecord ReferenceLabelRecord(int label)
{
    const Record& r = table[static_cast<std::size_t>(label)];
    return {r.parent, r.area, r.minX, r.minY, r.maxX, r.maxY, r.root};
}
