// tools/Match_pattern.cpp
#include "Match_pattern.h"

#include "Match_patternStage.h"
#include "Threshold.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The number of values k · step below size: 0, step, 2 · step, ...
int LatticeCount(int size, int step) { return size <= 0 ? 0 : (size - 1) / step + 1; }

}  // namespace

TemplateFit CheckTemplateSize(int tw, int th, float angle)
{
    if (tw <= 0 || th <= 0)
        return TemplateFit::Empty;
    if (angle == 0.0f)
        return tw < 5 || th < 5 ? TemplateFit::TooSmallForZeroAngle : TemplateFit::Usable;
    return tw < 8 || th < 8 ? TemplateFit::TooSmallForRotation : TemplateFit::Usable;
}

void MeasureTemplate(PatternWork& work, const GrayImage& T, int x1, int y1, int x2, int y2, int W,
                     int H, int& nx, int& ny)
{
    TemplateModel& model = work.model;
    model.tw = x2 - x1;
    model.th = y2 - y1;
    if (model.tw <= 0 || model.th <= 0) {  // nothing to measure, no block to cut
        model.threshold = 255;
        model.brightCount = model.darkCount = 0;
        nx = ny = 0;
        return;
    }
    model.threshold = AutoThreshold(T, 0, 0, model.tw, model.th, model.tw, model.th);
    model.brightCount = CountAtOrAbove(T, model.threshold, 0, 0, model.tw, model.th);
    model.darkCount = model.tw * model.th - model.brightCount;
    nx = W / model.tw + (W % model.tw != 0 ? 1 : 0);
    ny = H / model.th + (H % model.th != 0 ? 1 : 0);
}

int FindCandidateBlocks(PatternWork& work, const GrayImage& I, int nx, int ny, int W, int H)
{
    const TemplateModel& model = work.model;
    std::vector<Candidate>& table = work.candidates;
    table.clear();
    const int tw = model.tw, th = model.th;
    if (tw <= 0 || th <= 0 || nx <= 0 || ny <= 0)
        return 0;
    // The grid has as many blocks as the image needs: a small template on a large
    // picture makes thousands across, and none may be dropped.
    const std::size_t cells = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
    std::vector<int> bright(cells), dark(cells);
    auto at = [ny](int bx, int by) {
        return static_cast<std::size_t>(bx) * static_cast<std::size_t>(ny) +
               static_cast<std::size_t>(by);
    };
    // Bright pixels are counted row by row over a block column, then summed
    // over each block's rows: one pass down every image column.
    // Byte counters take 255 columns before they are emptied into the row sums.
    std::vector<int> rowBright(static_cast<std::size_t>(std::max(H, 0)));
    std::vector<std::uint8_t> rowPart(rowBright.size());
    const int t = model.threshold;
    const std::uint8_t floor = static_cast<std::uint8_t>(std::clamp(t, 0, 255));
    for (int bx = 0; bx < nx; ++bx) {
        const int x0 = bx * tw;
        // The last block column stops before the image's last column, even when
        // the template width divides the image width.
        const int x1 = static_cast<long long>(bx + 1) * tw < W ? (bx + 1) * tw : W - 1;
        std::fill(rowBright.begin(), rowBright.end(), 0);
        for (int first = x0; t <= 255 && first < x1; first += 255) {
            std::fill(rowPart.begin(), rowPart.end(), 0);
            std::uint8_t* part = rowPart.data();
            for (int x = first; x < std::min(x1, first + 255); ++x) {
                const std::uint8_t* column = I[x];
                for (int y = 0; y < H; ++y)
                    part[y] = static_cast<std::uint8_t>(part[y] + (column[y] >= floor ? 1 : 0));
            }
            for (int y = 0; y < H; ++y)
                rowBright[static_cast<std::size_t>(y)] += part[y];
        }
        for (int by = 0; by < ny; ++by) {
            const int y0 = by * th;
            const int y1 = static_cast<long long>(by + 1) * th < H ? (by + 1) * th : H - 1;
            int count = 0;
            for (int y = y0; y < y1; ++y)
                count += rowBright[static_cast<std::size_t>(y)];
            bright[at(bx, by)] = count;
            dark[at(bx, by)] = (x1 - x0) * (y1 - y0) - count;
        }
    }
    const double needDark = 0.98 * static_cast<double>(model.darkCount);
    const double needBright = 0.98 * static_cast<double>(model.brightCount);
    for (int bx = 0; bx < nx; ++bx)
        for (int by = 0; by < ny; ++by) {
            long long brightSum = bright[at(bx, by)], darkSum = dark[at(bx, by)];
            const bool right = bx < nx - 1, below = by < ny - 1;
            if (right) {
                brightSum += bright[at(bx + 1, by)];
                darkSum += dark[at(bx + 1, by)];
            }
            if (below) {
                brightSum += bright[at(bx, by + 1)];
                darkSum += dark[at(bx, by + 1)];
            }
            if (right && below) {
                brightSum += bright[at(bx + 1, by + 1)];
                darkSum += dark[at(bx + 1, by + 1)];
            }
            if (needDark > static_cast<double>(darkSum) ||
                needBright > static_cast<double>(brightSum))
                continue;
            Candidate c;
            c.x = bx * tw;
            c.y = by * th;
            table.push_back(c);
        }
    return static_cast<int>(table.size());
}

float SampledDifference(const PatternWork& work, const GrayImage& I, const GrayImage& T, int px,
                        int py, int W, int H)
{
    const TemplateModel& model = work.model;
    int sum = 0;
    for (int i = 0; i < model.tw; i += 5) {
        if (px + i >= W)
            return -1.0f;
        for (int j = 0; j < model.th; j += 5) {
            if (py + j >= H)
                return -1.0f;
            sum += std::abs(I[px + i][py + j] - T[i][j]);
        }
    }
    return static_cast<float>(sum / 255);  // integer division: d is a whole number
}

void PrepareRotationModel(PatternWork& work, const GrayImage& T, int tw, int th)
{
    RotationModel m;
    m.cx = tw / 2;
    m.cy = th / 2;
    m.R = tw < th ? m.cx : m.cy;
    m.sx = tw / 5;
    m.sy = th / 5;
    if (m.sx >= 1 && m.sy >= 1) {  // a template under 5 pixels has no grid
        m.columns = LatticeCount(tw, m.sx);
        m.rows = LatticeCount(th, m.sy);
        m.grid.resize(static_cast<std::size_t>(m.columns) * static_cast<std::size_t>(m.rows));
        for (int k = 0; k < m.columns; ++k)
            for (int l = 0; l < m.rows; ++l)
                m.grid[static_cast<std::size_t>(k * m.rows + l)] = T[k * m.sx][l * m.sy];
    }
    m.step = m.R / 2 - 1;
    m.ringProfile.assign(1, 0.0f);
    if (m.step >= 1)  // a step of 0 (R under 4) would never leave the first ring
        for (int r = m.step; r < m.R; r += m.step)
            m.ringProfile.push_back(RingFraction(work, T, r, m.cx, m.cy, tw, th));
    work.rotation = std::move(m);
}

float RingFraction(const PatternWork& work, const GrayImage& image, int r, int cx, int cy, int W,
                   int H)
{
    const int threshold = work.model.threshold;
    int hits = 0, visited = 0;
    auto visit = [&](long long px, long long py) {
        if (px >= 0 && px < W && py >= 0 && py < H) {
            ++visited;
            hits += image[static_cast<int>(px)][static_cast<int>(py)] >= threshold ? 1 : 0;
        }
    };
    // The walk of DrawCircle: a quarter as a 4-connected path with the exact error
    // term, mirrored; points on the vertical axis come twice and count twice.
    long long x = cx, y = static_cast<long long>(cy) + r, err = 0;
    while (y > cy) {
        visit(x, y);
        visit(x, 2LL * cy - y);
        visit(2LL * cx - x, y);
        visit(2LL * cx - x, 2LL * cy - y);
        if (err > 0) {
            err = err - 2 * (y - cy) + 1;
            --y;
        } else {
            err = err + 2 * (x - cx) + 1;
            ++x;
        }
    }
    if (y == cy) {
        visit(x, cy);
        visit(x - 2LL * r, cy);
    }
    if (visited == 0)  // a circle wholly outside the image shares nothing
        return 0.0f;
    return static_cast<float>(hits) / static_cast<float>(visited);
}

float RingProfileDistance(const PatternWork& work, const GrayImage& I, int px, int py, int W, int H)
{
    const TemplateModel& model = work.model;
    const RotationModel& rotation = work.rotation;
    const int cx = px + model.tw / 2, cy = py + model.th / 2;
    if (cx + rotation.R >= W || cy + rotation.R >= H)
        return -1.0f;
    float sum = 0.0f;
    int m = 0;
    for (std::size_t k = 1; k < rotation.ringProfile.size(); ++k) {
        const int r = static_cast<int>(k) * rotation.step;
        sum += std::fabs(rotation.ringProfile[k] - RingFraction(work, I, r, cx, cy, W, H));
        ++m;
    }
    return m == 0 ? sum : sum / static_cast<float>(m);
}

float RotatedSampleDistance(const PatternWork& work, const GrayImage& I, int cx, int cy,
                            float angle, int W, int H)
{
    const TemplateModel& model = work.model;
    const RotationModel& rotation = work.rotation;
    const int hx = model.tw / 2, hy = model.th / 2;
    float sum = 0.0f;
    int m = 0;
    for (int k = 0; k < rotation.columns; ++k)
        for (int l = 0; l < rotation.rows; ++l) {
            int ox = 0, oy = 0;
            RotatePoint(k * rotation.sx - hx, l * rotation.sy - hy, ox, oy, angle);
            const long long px = static_cast<long long>(cx) + ox;
            const long long py = static_cast<long long>(cy) + oy;
            if (px < 0 || px >= W || py < 0 || py >= H)
                return -1.0f;
            const int v = I[static_cast<int>(px)][static_cast<int>(py)];
            sum += static_cast<float>(std::abs(v - rotation.grid[static_cast<std::size_t>(
                                                       k * rotation.rows + l)])) /
                   255.0f;
            ++m;
        }
    return m == 0 ? 0.0f : sum / static_cast<float>(m);
}

bool RefineByDifference(PatternWork& work, GrayImage& I, const GrayImage& T, int n,
                        float /*angle: always 0*/, int W, int H, const SearchProgress& progress)
{
    const TemplateModel& model = work.model;
    n = std::min(n, static_cast<int>(work.candidates.size()));
    work.counts = {};
    if (CheckTemplateSize(model.tw, model.th, 0.0f) != TemplateFit::Usable)
        return true;
    const auto kernel = match_pattern::MakeDifferenceKernel(T, model.tw, model.th, W, H);
    match_pattern::StageOptions options;
    options.traceScores = true;
    options.trace = work.trace;
    return match_pattern::RunFineStage(I, work.candidates, n, model.tw, model.th, W, H, *kernel,
                                       options, progress, work.counts);
}

bool RefineByRotation(PatternWork& work, GrayImage& I,
                      const GrayImage& /*T: read through the model*/, int n, float maxAngle, int W,
                      int H, const SearchProgress& progress)
{
    const TemplateModel& model = work.model;
    const RotationModel& rotation = work.rotation;
    std::vector<Candidate>& table = work.candidates;
    n = std::min(n, static_cast<int>(table.size()));
    work.counts = {};
    // Without a rotation model of this template nothing can be scored (and the
    // rings of another template's model could reach past the image's left edge).
    if (rotation.grid.empty() || rotation.step < 1 || rotation.cx != model.tw / 2 ||
        rotation.cy != model.th / 2) {
        for (int i = 0; i < n; ++i) {
            table[static_cast<std::size_t>(i)].angle = 0.0f;
            table[static_cast<std::size_t>(i)].score = 0.0f;
        }
        return true;
    }
    const auto kernel = match_pattern::MakeRotationKernel(I, model, rotation, maxAngle, W, H);
    match_pattern::StageOptions options;
    options.centreCircle = true;
    return match_pattern::RunFineStage(I, table, n, model.tw, model.th, W, H, *kernel, options,
                                       progress, work.counts);
}

int MatchPattern(PatternWork& work, GrayImage& I, const GrayImage& T, FloatImage& results, int x1,
                 int y1, int x2, int y2, float angle, int W, int H, const SearchProgress& progress)
{
    const int tw = x2 - x1, th = y2 - y1;
    if (CheckTemplateSize(tw, th, angle) != TemplateFit::Usable)
        return 0;
    int nx = 0, ny = 0;
    MeasureTemplate(work, T, x1, y1, x2, y2, W, H, nx, ny);
    if (angle != 0.0f)
        PrepareRotationModel(work, T, tw, th);
    const int n = FindCandidateBlocks(work, I, nx, ny, W, H);
    const bool finished = angle == 0.0f
                              ? RefineByDifference(work, I, T, n, angle, W, H, progress)
                              : RefineByRotation(work, I, T, n, angle, W, H, progress);
    if (!finished)
        return -1;
    results = NewFloatImage(6, n);
    if (!results)
        return n;
    for (int i = 0; i < n; ++i) {
        const Candidate& c = work.candidates[static_cast<std::size_t>(i)];
        results[0][i] = static_cast<float>(c.x);
        results[1][i] = static_cast<float>(c.y);
        results[2][i] = static_cast<float>(c.x + tw);
        results[3][i] = static_cast<float>(c.y + th);
        results[4][i] = c.angle;
        results[5][i] = c.score;
    }
    return n;
}
