// tests/reference/MatchPatternReference.cpp
#include "MatchPatternReference.h"

#include "TestImages.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

int Uniform(std::mt19937& rng, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }


// Template model.
int tw = 0, th = 0, threshold = 0, brightCount = 0, darkCount = 0;
// Rotation model.
int cx0 = 0, cy0 = 0, R = 0, sx = 0, sy = 0, ringStep = 0;
std::vector<int> sampleGrid(360 * 360);  // [k][l] at k * 360 + l
std::vector<float> ringProfile;
// Candidate table.
std::vector<ReferenceCandidate> table;

int LiteralAutoThreshold(const GrayImage& src, int x0, int y0, int x1, int y1, int width,
                         int height)
{
    long long S = 0, Sw = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            if (!(x < width - 1 && y < height - 1))
                continue;
            const int w = std::abs(src[x + 1][y] - src[x][y]) + std::abs(src[x][y + 1] - src[x][y]);
            Sw = Sw + w;
            S = S + static_cast<long long>(w) * src[x][y];
        }
    if (Sw == 0)
        return 255;
    return static_cast<int>(S / Sw);
}

int LiteralCountAtOrAbove(const GrayImage& image, int t, int x0, int y0, int x1, int y1)
{
    int count = 0;
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y)
            if (image[x][y] >= t)
                ++count;
    return count;
}

void MeasureTemplate(const GrayImage& T, int x1, int y1, int x2, int y2, int W, int H, int& nx,
                     int& ny)
{
    tw = x2 - x1;
    th = y2 - y1;
    threshold = LiteralAutoThreshold(T, 0, 0, tw, th, tw, th);
    brightCount = LiteralCountAtOrAbove(T, threshold, 0, 0, tw, th);
    darkCount = tw * th - brightCount;
    nx = W / tw;
    if (W % tw != 0)
        nx = nx + 1;
    ny = H / th;
    if (H % th != 0)
        ny = ny + 1;
}

void PrepareRotationModel(const GrayImage& T, int w, int h)
{
    cx0 = w / 2;
    cy0 = h / 2;
    if (w < h)
        R = cx0;
    else
        R = cy0;
    sx = w / 5;
    sy = h / 5;
    for (int x = 0; x < w; x += sx)
        for (int y = 0; y < h; y += sy)
            sampleGrid[static_cast<std::size_t>((x / sx) * 360 + y / sy)] = T[x][y];
    ringStep = R / 2 - 1;
    ringProfile.assign(static_cast<std::size_t>(R + 1), 0.0f);
    for (int r = ringStep; r < R; r += ringStep)
        ringProfile[static_cast<std::size_t>(r / ringStep)] =
            ReferenceRingFraction(T, r, cx0, cy0, w, h);
}

int FindCandidateBlocks(const GrayImage& I, int nx, int ny, int W, int H)
{
    std::vector<std::vector<int>> bright(static_cast<std::size_t>(nx),
                                         std::vector<int>(static_cast<std::size_t>(ny)));
    std::vector<std::vector<int>> dark = bright;
    for (int bx = 0; bx < nx; ++bx)
        for (int by = 0; by < ny; ++by) {
            const int x0 = bx * tw, y0 = by * th;
            int x1 = (bx + 1) * tw, y1 = (by + 1) * th;
            if (!(x1 < W))
                x1 = W - 1;
            if (!(y1 < H))
                y1 = H - 1;
            bright[bx][by] = LiteralCountAtOrAbove(I, threshold, x0, y0, x1, y1);
            dark[bx][by] = (x1 - x0) * (y1 - y0) - bright[bx][by];
        }
    table.clear();
    int n = 0;
    for (int bx = 0; bx < nx; ++bx)
        for (int by = 0; by < ny; ++by) {
            int brightSum = bright[bx][by], darkSum = dark[bx][by];
            if (bx < nx - 1) {
                brightSum += bright[bx + 1][by];
                darkSum += dark[bx + 1][by];
            }
            if (by < ny - 1) {
                brightSum += bright[bx][by + 1];
                darkSum += dark[bx][by + 1];
            }
            if (bx < nx - 1 && by < ny - 1) {
                brightSum += bright[bx + 1][by + 1];
                darkSum += dark[bx + 1][by + 1];
            }
            if (0.98 * static_cast<double>(darkCount) > static_cast<double>(darkSum))
                continue;
            if (0.98 * static_cast<double>(brightCount) > static_cast<double>(brightSum))
                continue;
            ReferenceCandidate c;
            c.x = bx * tw;
            c.y = by * th;
            table.push_back(c);
            n = n + 1;
        }
    return n;
}

void RefineByDifference(GrayImage& I, const GrayImage& T, int n, int W, int H)
{
    const int N = (tw / 5) * (th / 5);
    for (int k = 0; k < n; ++k) {
        ReferenceCandidate& c = table[static_cast<std::size_t>(k)];
        c.score = 0.0f;
        c.angle = 0.0f;
        const int ox = c.x, oy = c.y;
        for (int x = ox; x < ox + tw; ++x)
            for (int y = oy; y < oy + th; ++y) {
                const float d = ReferenceSampledDifference(I, T, x, y, W, H);
                if (d == -1.0f)
                    continue;
                const float s = 1.0f - d / static_cast<float>(N);
                if (s > c.score) {
                    c.score = s;
                    c.x = x;
                    c.y = y;
                }
            }
        if (c.score > 0.9f)
            DrawRotatedRect(I, 128, 0.0f, c.x, c.y, c.x + tw, c.y + th, W, H);
    }
}

void RefineByRotation(GrayImage& I, int n, float maxAngle, int W, int H)
{
    for (int k = 0; k < n; ++k) {
        ReferenceCandidate& c = table[static_cast<std::size_t>(k)];
        c.score = 0.0f;
        c.angle = 0.0f;
        float best = 0.0f;
        const int ox = c.x, oy = c.y;
        for (int x = ox; x < ox + tw; ++x)
            for (int y = oy; y < oy + th; ++y) {
                const float d = ReferenceRingProfileDistance(I, x, y, W, H);
                if (d == -1.0f || 1.0f - d <= 0.98f)
                    continue;
                const int cx = x + tw / 2, cy = y + th / 2;
                for (int a = 0; static_cast<float>(a) <= maxAngle; ++a) {
                    const float s =
                        1.0f - ReferenceRotatedSampleDistance(I, cx, cy, static_cast<float>(a), W, H);
                    if (s > best && s != 2.0f) {
                        best = s;
                        c.x = x;
                        c.y = y;
                        c.angle = static_cast<float>(a);
                        c.score = s;
                    }
                }
            }
        if (c.score > 0.9f) {
            DrawRotatedRect(I, 128, c.angle, c.x, c.y, c.x + tw, c.y + th, W, H);
            DrawCircle(I, 3, 128, c.x + tw / 2, c.y + th / 2, W, H);
        }
    }
}

}  // namespace

void ReferencePrepare(const GrayImage& T, int w, int h, bool rotated)
{
    int nx = 0, ny = 0;
    MeasureTemplate(T, 0, 0, w, h, w, h, nx, ny);
    if (rotated)
        PrepareRotationModel(T, w, h);
}

int ReferenceThreshold() { return threshold; }

std::vector<ReferenceCandidate> ReferenceMatchPattern(GrayImage& I, const GrayImage& T, int w,
                                                      int h, float angle, int W, int H)
{
    int nx = 0, ny = 0;
    MeasureTemplate(T, 0, 0, w, h, W, H, nx, ny);
    if (angle != 0.0f)
        PrepareRotationModel(T, w, h);
    const int n = FindCandidateBlocks(I, nx, ny, W, H);
    if (angle == 0.0f)
        RefineByDifference(I, T, n, W, H);
    else
        RefineByRotation(I, n, angle, W, H);
    return table;
}

float ReferenceSampledDifference(const GrayImage& I, const GrayImage& T, int px, int py, int W,
                                 int H)
{
    int sum = 0;
    for (int i = 0; i < tw; i += 5) {
        if (px + i >= W)
            return -1.0f;
        for (int j = 0; j < th; j += 5) {
            if (py + j >= H)
                return -1.0f;
            sum += std::abs(I[px + i][py + j] - T[i][j]);
        }
    }
    return static_cast<float>(sum / 255);
}

float ReferenceRingFraction(const GrayImage& image, int r, int cx, int cy, int W, int H)
{
    int hits = 0, visited = 0;
    auto visit = [&](int px, int py) {
        if (px >= 0 && px < W && py >= 0 && py < H) {
            visited = visited + 1;
            if (image[px][py] >= threshold)
                hits = hits + 1;
        }
    };
    int x = cx, y = cy + r, err = 0;
    while (y > cy) {
        visit(x, y);
        visit(x, 2 * cy - y);
        visit(2 * cx - x, y);
        visit(2 * cx - x, 2 * cy - y);
        if (err > 0) {
            err = err - 2 * (y - cy) + 1;
            y = y - 1;
        } else {
            err = err + 2 * (x - cx) + 1;
            x = x + 1;
        }
    }
    if (y == cy) {
        visit(x, cy);
        visit(x - 2 * r, cy);
    }
    if (visited == 0)
        return 0.0f;
    return static_cast<float>(hits) / static_cast<float>(visited);
}

float ReferenceRingProfileDistance(const GrayImage& I, int px, int py, int W, int H)
{
    const int cx = px + tw / 2, cy = py + th / 2;
    if (cx + R >= W || cy + R >= H)
        return -1.0f;
    float sum = 0.0f;
    int m = 0;
    for (int r = ringStep; r < R; r += ringStep) {
        const float f = ReferenceRingFraction(I, r, cx, cy, W, H);
        sum += std::fabs(ringProfile[static_cast<std::size_t>(r / ringStep)] - f);
        m += 1;
    }
    if (m == 0)
        return sum;
    return sum / static_cast<float>(m);
}

float ReferenceRotatedSampleDistance(const GrayImage& I, int cx, int cy, float angle, int W, int H)
{
    const int hx = tw / 2, hy = th / 2;
    float sum = 0.0f;
    int m = 0;
    for (int i = 0; i < tw; i += sx)
        for (int j = 0; j < th; j += sy) {
            int ox = 0, oy = 0;
            RotatePoint(i - hx, j - hy, ox, oy, angle);
            const int px = cx + ox, py = cy + oy;
            if (px < 0 || px >= W || py < 0 || py >= H)
                return -1.0f;
            sum += static_cast<float>(std::abs(I[px][py] - sampleGrid[static_cast<std::size_t>(
                                                              (i / sx) * 360 + j / sy)])) /
                   255.0f;
            m += 1;
        }
    return sum / static_cast<float>(m);
}

// ---- Scenes ----------------------------------------------------------------

// A background of overlapping flat blobs of middle grays.
GrayImage SceneTexture(std::mt19937& rng, int width, int height)
{
    GrayImage image = Filled(width, height, Uniform(rng, 90, 160));
    const int blobs = 3 + width * height / 300;
    for (int b = 0; b < blobs; ++b) {
        const int cx = Uniform(rng, 0, width - 1), cy = Uniform(rng, 0, height - 1);
        const int r = Uniform(rng, 2, 12), v = Uniform(rng, 60, 200);
        for (int x = std::max(0, cx - r); x <= std::min(width - 1, cx + r); ++x)
            for (int y = std::max(0, cy - r); y <= std::min(height - 1, cy + r); ++y)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                    image[x][y] = static_cast<std::uint8_t>(v);
    }
    return image;
}

// A mark of dark and bright bars, so that its threshold separates two levels.
GrayImage SceneMark(std::mt19937& rng, int tw, int th)
{
    GrayImage mark = Filled(tw, th, Uniform(rng, 20, 60));
    const int bars = Uniform(rng, 2, 5);
    for (int b = 0; b < bars; ++b) {
        const int x0 = Uniform(rng, 0, tw - 1), y0 = Uniform(rng, 0, th - 1);
        const int x1 = Uniform(rng, x0, tw - 1), y1 = Uniform(rng, y0, th - 1);
        const int v = Uniform(rng, 180, 250);
        for (int x = x0; x <= x1; ++x)
            for (int y = y0; y <= y1; ++y)
                mark[x][y] = static_cast<std::uint8_t>(v);
    }
    return mark;
}

// Pastes the mark turned by angle degrees (counter-clockwise on screen, as the
// search counts) with its centre at (cx, cy), nearest neighbour.
void PasteTurned(GrayImage& image, int width, int height, const GrayImage& mark, int tw, int th,
           int cx, int cy, int angle)
{
    const double t = angle * 3.14159265358979 / 180.0, c = std::cos(t), s = std::sin(t);
    const int reach = static_cast<int>(std::hypot(tw, th) / 2) + 2;
    for (int dx = -reach; dx <= reach; ++dx)
        for (int dy = -reach; dy <= reach; ++dy) {
            const int x = cx + dx, y = cy + dy;
            if (x < 0 || y < 0 || x >= width || y >= height)
                continue;
            // Inverse of (p, q) -> (c p + s q, c q − s p).
            const double p = c * dx - s * dy, q = s * dx + c * dy;
            const int i = static_cast<int>(std::lround(p)) + tw / 2;
            const int j = static_cast<int>(std::lround(q)) + th / 2;
            if (i >= 0 && j >= 0 && i < tw && j < th)
                image[x][y] = mark[i][j];
        }
}

void AddSceneNoise(std::mt19937& rng, GrayImage& image, int width, int height, int amplitude)
{
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            image[x][y] = Clamp(image[x][y] + Uniform(rng, -amplitude, amplitude));
}


PatternScene RandomPatternScene(std::mt19937& rng, int minSide, int maxSide, int minMark, int maxMark,
                  bool turned)
{
    PatternScene s;
    s.width = Uniform(rng, minSide, maxSide);
    s.height = Uniform(rng, minSide, maxSide);
    s.tw = Uniform(rng, minMark, maxMark);
    s.th = Uniform(rng, minMark, maxMark);
    s.image = SceneTexture(rng, s.width, s.height);
    s.mark = SceneMark(rng, s.tw, s.th);
    const int copies = Uniform(rng, 1, 4);
    for (int k = 0; k < copies; ++k)
        PasteTurned(s.image, s.width, s.height, s.mark, s.tw, s.th, Uniform(rng, 0, s.width - 1),
              Uniform(rng, 0, s.height - 1), turned ? Uniform(rng, 0, 40) : 0);
    AddSceneNoise(rng, s.image, s.width, s.height, Uniform(rng, 0, 6));
    return s;
}

