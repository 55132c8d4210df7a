// windows/Unit2.h
#pragma once
#include "PictureView.h"

#include <QWidget>

// The "Temp Picture" window: shows the template file at its own size.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    PictureView* Image1 = nullptr;
};
