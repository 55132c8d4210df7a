// workspace/Unit1Tool.cpp: "Tool Button", the region as a table in the tool window.
#include "Unit1.h"

void TForm1::Button14Click() {}
