// windows/Unit4.cpp
#include "Unit4.h"

#include "Unit1.h"

TForm4::TForm4(TForm1& main, QWidget* parent) : QWidget(parent, Qt::Window), main_(main)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Form4"));
    resize(366, 354);
}
