// platform/ScreenFit.h
#pragma once
#include <QSize>

#include <functional>

class QLabel;
class QWidget;

// Gives window its preferred size where the screen it is on holds it, else as
// much of the screen's free area (less room for a title bar) as it can, and
// moves it back onto that area when it would stick out.
void FitOnScreen(QWidget* window, QSize preferred);

// Lets the user type a whole number into label: a click opens a field over it
// holding its text; Enter hands the number to apply (which usually sets the
// label), Escape or leaving the field drops the edit. The label itself is not
// changed here, so everything that reads and writes it goes on as before.
void MakeLabelEditable(QLabel* label, std::function<void(int)> apply);
