// platform/Application.cpp
#include "Application.h"

#include "Dialogs.h"

#include <QString>

void ShowCommandError(const std::exception& error)
{
    Dialogs().ShowError(QString::fromUtf8(error.what()));
}

WorkbenchApplication::WorkbenchApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("GrayBench"));
    setApplicationDisplayName(QStringLiteral("GrayBench"));
    setOrganizationName(QStringLiteral("GrayBench"));
}

bool WorkbenchApplication::notify(QObject* receiver, QEvent* event)
{
    bool result = false;
    RunGuarded([&] { result = QApplication::notify(receiver, event); });
    return result;
}
