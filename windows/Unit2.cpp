// windows/Unit2.cpp
#include "Unit2.h"

#include "ScreenFit.h"

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Temp Picture"));
    FitOnScreen(this, QSize(591, 692));
    Image1 = new PictureView(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 513, 593);
}
