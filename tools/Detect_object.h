// tools/Detect_object.h
#pragma once
#include "Image.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// Object detection: the 4-connected sets of object pixels inside the closed
// region X1 <= x <= X2, Y1 <= y <= Y2 (ordered and clamped by the caller), with
// their area and bounding box. The entry points DetectObjects and
// DetectBandObjects cut any corners to the image themselves (X1 and Y1 up to 0,
// X2 and Y2 down to the last column and row); a region left with X1 > X2 or
// Y1 > Y2 labels nothing, and only its frame is drawn.
//
// A pixel of gray value v is an object pixel when
//   dark:   v <= t            (mode 0)
//   bright: v >= t            (mode 1)
//   band:   v <= lower or v >= upper   (lower and upper themselves count).
//
// The region is scanned column by column (x outer, y inner). Each object pixel
// without a labelled left or upper neighbour opens the next label; touching
// labels are joined, and the smallest label of a set is its root. So the root
// of an object is the label of its first pixel in scan order, and objects are
// listed in ascending root order: leftmost column first, then topmost pixel in
// that column.

// The label image holds the provisional label of each object pixel, or the
// marker kUnlabelled. The scan only ever looks at the column it is labelling
// and the one to its left, so the label image keeps just those two: it is an
// IntImage of 2 columns x height, and column x of the picture lives in column
// x mod 2 (LabelColumn). Its size no longer grows with the picture's width.

// Marker of an unlabelled pixel. Labels count up from 0, so no label can ever
// take it, however many a picture needs.
constexpr std::int32_t kUnlabelled = -1;

inline std::int32_t* LabelColumn(IntImage& labels, int x) { return labels[x & 1]; }

// One record of the label table. Before ResolveLabels a record describes the
// pixels carrying its own label; afterwards a root's record describes its whole
// object. A label's parent is never larger than the label.
struct LabelRecord {
    std::int32_t parent;
    std::int32_t area;
    std::int32_t minX, minY, maxX, maxY;  // inclusive
    std::int32_t root;                    // what the latest FindRoot found for it
};

// A row of the object table: the box corners, inclusive, and the pixel count.
struct DetectedObject {
    std::int32_t minX, minY, maxX, maxY, area;
    friend bool operator==(const DetectedObject&, const DetectedObject&) = default;
};
using ObjectTable = std::vector<DetectedObject>;

struct DetectStrip;

// Two labels to be joined.
struct LabelPair {
    std::int32_t a, b;
};

// The working table of one caller: the label table of its latest run, kept
// until the next. It grows as a picture needs and keeps its capacity from run to
// run. Every entry point without one works on a single process-wide instance,
// which LabelCount() and LabelTable() read; two threads each with their own
// DetectWork never meet.
struct DetectWork {
    // One scratch record, at index kUnlabelled, then records 0 .. count − 1 in
    // use: the dense pass counts background pixels into the scratch record, and
    // ResolveLabels folds roots into it, rather than branching around them.
    std::unique_ptr<LabelRecord[]> block;
    std::size_t capacity = 0;  // records after the scratch one
    std::int32_t count = 0;

    LabelRecord* Records() { return block ? block.get() + 1 : nullptr; }
    // Makes room for extra more records beyond count.
    void Reserve(std::size_t extra);
    int LabelCount() const { return count; }
    std::span<const LabelRecord> LabelTable() const;

    // Strips of columns the labelling shares among the worker threads, which
    // take them in turn. 0 picks a few per worker on regions large enough to pay
    // for it; n > 0 asks for exactly n (fewer where the region has less than two
    // columns a strip), and for n pieces of the gathering and drawing of the
    // objects. The labels, the table, the objects and the picture never depend on it.
    int strips = 0;
    std::vector<DetectStrip> stripWork;  // scratch of strips 1, 2, ...; kept between runs
    // The objects each worker gathers from its share of the table, before they
    // are joined in order; kept between runs, so a run touches no fresh memory.
    std::vector<ObjectTable> pieceObjects;
    std::vector<ObjectTable> pieceWide;  // the objects of each list wider than a few columns
    std::vector<LabelPair> joins;  // a column's joins, made after its labels
};

// A pixel of a strip that an object pixel of the strip to its left reaches by
// steps right and down through object pixels: the strip alone cannot know its
// label. left and up are the labels its strip gave the neighbours there, or
// kUnlabelled where the neighbour is background or reached itself.
struct ReachedPixel {
    std::int32_t x, y, left, up;
};

// What a strip other than the first labels on its own: its table (labels
// counting from 0), its two label columns, and the pixels it leaves to the join.
struct DetectStrip {
    DetectWork table;
    IntImage columns;
    int columnsHeight = 0;
    std::vector<ReachedPixel> reached;
    std::vector<std::int32_t> rowColumn, rowLabel;  // the join's latest label in each row
    std::vector<std::int32_t> deferred;  // labels whose root lies in an earlier strip
};
// The table of every call that hands in no work of its own.
DetectWork& ProcessDetectWork();

// Labels the region of image with the label image labels (2 x height), keeps
// the objects that touch no side of the region, writes them to objects
// (replacing what it held) in ascending root order, and draws into image each
// one's box in gray 128, then the region's frame in gray 100: the four sides
// (minX, minY)-(minX, maxY), (minX, minY)-(maxX, minY), (maxX, minY)-(maxX, maxY),
// (minX, maxY)-(maxX, maxY) as DrawLine draws them, so each bottom-right corner
// stays unset. Returns the number of objects. A mode other than 0 or 1 finds
// nothing but still draws the frame.
int DetectObjects(GrayImage& image, IntImage& labels, ObjectTable& objects, int mode, int t,
                  int X1, int Y1, int X2, int Y2, int width, int height);
int DetectObjects(DetectWork& work, GrayImage& image, IntImage& labels, ObjectTable& objects,
                  int mode, int t, int X1, int Y1, int X2, int Y2, int width, int height);
// The same with the band test.
int DetectBandObjects(GrayImage& image, IntImage& labels, ObjectTable& objects, int lower,
                      int upper, int X1, int Y1, int X2, int Y2, int width, int height);
int DetectBandObjects(DetectWork& work, GrayImage& image, IntImage& labels, ObjectTable& objects,
                      int lower, int upper, int X1, int Y1, int X2, int Y2, int width, int height);

// The same two entry points for callers that hand in the object table as an
// IntImage of 5 columns (minX, minY, maxX, maxY, area) by kObjectRows rows: at
// most kObjectRows objects are written there, and the count written is returned.
constexpr int kObjectRows = 60000;
int DetectObjects(GrayImage& image, IntImage& labels, IntImage& objects, int mode, int t, int X1,
                  int Y1, int X2, int Y2, int width, int height);
int DetectObjects(DetectWork& work, GrayImage& image, IntImage& labels, IntImage& objects, int mode,
                  int t, int X1, int Y1, int X2, int Y2, int width, int height);
int DetectBandObjects(GrayImage& image, IntImage& labels, IntImage& objects, int lower, int upper,
                      int X1, int Y1, int X2, int Y2, int width, int height);
int DetectBandObjects(DetectWork& work, GrayImage& image, IntImage& labels, IntImage& objects,
                      int lower, int upper, int X1, int Y1, int X2, int Y2, int width, int height);

// Both columns of the label image become kUnlabelled; the label table empties.
void ClearLabels(IntImage& labels, int height);
void ClearLabels(DetectWork& work, IntImage& labels, int height);
void ClearLabels(IntImage& labels, int width, int height);  // width plays no part

// Labelling passes: label the object pixels of the region in scan order, then
// ResolveLabels. Each pixel gets the label LabelEdgePixel or LabelInnerPixel
// would give it, and the table ends as those rules leave it; the passes apply
// the rules a run of pixels at a time. Each column is set to kUnlabelled over
// the region's rows before it is scanned. A region of more than 2^31 − 1 pixels is scanned only as far as
// that many pixels go, so that no label number or area can pass the 32-bit range.
void LabelDarkPixels(const GrayImage& image, IntImage& labels, int t, int X1, int Y1, int X2,
                     int Y2);
void LabelBrightPixels(const GrayImage& image, IntImage& labels, int t, int X1, int Y1, int X2,
                       int Y2);
void LabelBandPixels(const GrayImage& image, IntImage& labels, int lower, int upper, int X1,
                     int Y1, int X2, int Y2);
void LabelDarkPixels(DetectWork& work, const GrayImage& image, IntImage& labels, int t, int X1,
                     int Y1, int X2, int Y2);
void LabelBrightPixels(DetectWork& work, const GrayImage& image, IntImage& labels, int t, int X1,
                       int Y1, int X2, int Y2);
void LabelBandPixels(DetectWork& work, const GrayImage& image, IntImage& labels, int lower,
                     int upper, int X1, int Y1, int X2, int Y2);

// The rules pixel by pixel, all on the process-wide table.

// An object pixel in the region's first column (x = X1) or first row (y = Y1):
// only the neighbour inside the region is looked at.
void LabelEdgePixel(IntImage& labels, int x, int y, int X1, int Y1);
// An object pixel with its left and upper neighbours inside the region: takes
// the smaller of their labels (joining the two) or opens a new one.
void LabelInnerPixel(IntImage& labels, int x, int y);

// Opens the next label for (x, y), writes it into the label image and returns it.
std::int32_t NewLabel(IntImage& labels, int x, int y);
// Counts (x, y) into the record of label.
void GrowLabel(std::int32_t label, int x, int y);
// Puts the sets of a and b together: the larger root hangs under the smaller.
void JoinLabels(std::int32_t a, std::int32_t b);
// The root of a's set, also stored in the root field of s. Shortens the path
// it walks (each label on it then points two steps further up), which keeps
// every parent at or below its label.
std::int32_t FindRoot(std::int32_t a, std::int32_t s);
// Finds every label's root and folds each other record into its root's.
void ResolveLabels();
void ResolveLabels(DetectWork& work);

// The label table of the latest run, for the window and the tests.
int LabelCount();
std::span<const LabelRecord> LabelTable();
