// platform/Application.h
#pragma once
#include <QApplication>
#include <exception>
#include <utility>

// Shows the message of an error that ended a command in the application's error
// box (through Dialogs()); the event loop goes on.
void ShowCommandError(const std::exception& error);

// The one catch site of the program. Qt cannot carry an exception through its
// own frames (a signal being emitted, a button being clicked), so every handler
// runs inside RunGuarded, which catches before control returns to Qt. Work done
// before the error stays done.
template <class F>
void RunGuarded(F&& handler)
{
    try {
        std::forward<F>(handler)();
    } catch (const std::exception& error) {
        ShowCommandError(error);
    }
}

// The application object: also guards every event delivered to a widget, so an
// error escaping an event override is shown the same way.
class WorkbenchApplication : public QApplication {
public:
    WorkbenchApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
