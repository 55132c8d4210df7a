// windows/Unit3.cpp
#include "Unit3.h"

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
    resize(1083, 676);
}
