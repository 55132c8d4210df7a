// platform/ExchangeFiles.h: the fixed bitmap files commands hand to each other.
#pragma once
#include "Image.h"
#include "Region.h"

#include <QImage>
#include <QString>

// The user's application-data folder, created on demand.
QString ExchangeFolder();
// "temp.bmp": the template, written by Create Template, read by Show Temp
// Picture and Find Pattern. Any bitmap placed there is used as the template.
QString TemplateFilePath();
// "temp1.bmp": the region picture of the tool window.
QString ToolPictureFilePath();

// The pixels [X1, X2) x [Y1, Y2) of the image as a picture with red = green =
// blue = the gray value; a null picture when the region covers no pixel.
QImage PictureOfRegion(const GrayImage& image, const Region& region);
