// commands/DetectCommand.cpp
#include "DetectCommand.h"

DetectResult RunDetect(const GrayImage& before, GrayImage& after, int width, int height,
                       const DetectSettings& settings, DetectWork* work)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<DetectResult>(Outcome::NoPicture);
    // The label image keeps two columns; the object table grows with what is found.
    IntImage labels = NewIntImage(2, height);
    if (!labels)
        return NotRun<DetectResult>(Outcome::Refused, "Not enough memory to label the picture.");
    DetectResult result;
    CopyGrayImage(before, after, width, height);
    const Corners& c = settings.roi;
    const Region r = OrderAndClampRegion(c.X1, c.Y1, c.X2, c.Y2, width, height);
    result.region = r;
    const ThresholdSettings& t = settings.threshold;
    DetectWork& w = work != nullptr ? *work : ProcessDetectWork();
    bool labelled = true;
    int count = 0;
    if (t.mode < kGrayObjects) {
        result.threshold = result.upper = ThresholdInUse(before, width, height, t);
        count = DetectObjects(w, after, labels, result.objects, t.mode, result.threshold, r.X1, r.Y1,
                              r.X2, r.Y2, width, height);
    } else if (t.mode == kGrayObjects) {
        // "AUTO" is not consulted: the band needs both thresholds.
        result.threshold = t.lower;
        result.upper = t.upper;
        count = DetectBandObjects(w, after, labels, result.objects, t.lower, t.upper, r.X1, r.Y1,
                                  r.X2, r.Y2, width, height);
    } else {
        labelled = false;  // no mode: nothing is labelled
    }
    result.objects.resize(static_cast<std::size_t>(count));
    result.labels = labelled ? w.LabelCount() : 0;
    return result;
}
