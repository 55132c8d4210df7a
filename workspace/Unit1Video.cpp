// workspace/Unit1Video.cpp: "Viedo" shows the video window.
#include "Unit1.h"

#include "Unit4.h"

void TForm1::Button16Click()
{
    if (Form4 == nullptr)
        return;
    Form4->show();
    Form4->raise();
    Form4->activateWindow();
}
