// tests/ui/main.cpp: window tests run without a display.
#include "Application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    WorkbenchApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
