// bench/report/SubpixelReport.cpp: the accuracy table of the sub-pixel
// measures on synthetic pictures, mean and worst error by noise and angle.
#include "SubpixelTrials.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kTrials = 50;  // pictures per row
constexpr double kAngles[] = {0, 5, 30, 45, 80};
constexpr double kNoise[] = {0, 2};

struct Row {
    double sum = 0, worst = 0;
    int n = 0, missed = 0;
    void Add(double error)
    {
        sum += std::abs(error);
        worst = std::max(worst, std::abs(error));
        ++n;
    }
    void Print(const char* what, const char* angle, double sigma) const
    {
        std::printf("| %s | %s | %.0f | %.4f | %.4f | %d | %d |\n", what, angle, sigma,
                    n > 0 ? sum / n : 0.0, worst, n, missed);
    }
};

}  // namespace

int main()
{
    std::printf("| measure | edge angle (deg) | noise sigma (gray) | mean error | worst error "
                "| pictures | missed |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const double sigma : kNoise)
        for (const double angle : kAngles) {
            Row row;
            for (int i = 0; i < kTrials; ++i) {
                const auto e = EdgePositionError(angle, sigma, 1000u + static_cast<unsigned>(i));
                e ? row.Add(*e) : void(++row.missed);
            }
            char label[16];
            std::snprintf(label, sizeof label, "%.0f", angle);
            row.Print("edge position (px)", label, sigma);
        }
    for (const double sigma : kNoise)
        for (const double angle : kAngles) {
            Row subpixel, tool;
            for (int i = 0; i < kTrials; ++i) {
                const auto e = LineAngleError(angle, sigma, 2000u + static_cast<unsigned>(i));
                if (e) {
                    subpixel.Add(e->subpixel);
                    tool.Add(e->tool);
                } else {
                    ++subpixel.missed;
                    ++tool.missed;
                }
            }
            char label[16];
            std::snprintf(label, sizeof label, "%.0f", angle);
            subpixel.Print("line angle (deg)", label, sigma);
            tool.Print("tool's line angle (deg)", label, sigma);
        }
    for (const double sigma : kNoise) {
        Row centre, radius;
        for (int i = 0; i < kTrials; ++i) {
            const auto e = CircleError(sigma, 3000u + static_cast<unsigned>(i));
            if (e) {
                centre.Add(e->centre);
                radius.Add(e->radius);
            } else {
                ++centre.missed;
                ++radius.missed;
            }
        }
        centre.Print("circle centre (px)", "-", sigma);
        radius.Print("circle radius (px)", "-", sigma);
    }
    return 0;
}
