// tests/reference/DetectObjectReference.h: object labelling and measurement
// written out literally, pixel by pixel and label by label, as the reference
// the fast detection is compared against. Its label table grows as needed and
// its unlabelled marker is -1, which no label takes.
#pragma once
#include "Detect_object.h"

int ReferenceDetectObjects(GrayImage& image, IntImage& labels, ObjectTable& objects, int mode,
                           int t, int X1, int Y1, int X2, int Y2, int width, int height);
int ReferenceDetectBandObjects(GrayImage& image, IntImage& labels, ObjectTable& objects,
                               int lower, int upper, int X1, int Y1, int X2, int Y2, int width,
                               int height);

// The reference's own label table after its latest run.
int ReferenceLabelCount();
LabelRecord ReferenceLabelRecord(int label);
