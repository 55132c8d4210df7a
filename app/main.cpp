// app/main.cpp: creates the four windows in order and runs the event loop.
#include "Application.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"

#include <memory>

int main(int argc, char** argv)
{
    WorkbenchApplication app(argc, argv);
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TForm4> form4;
    bool started = false;
    // An error during start-up is shown like any other and ends the application.
    RunGuarded([&] {
        form1 = std::make_unique<TForm1>();
        form2 = std::make_unique<TForm2>();
        form3 = std::make_unique<TForm3>();
        form4 = std::make_unique<TForm4>(*form1);
        form1->Form2 = form2.get();
        form1->Form3 = form3.get();
        form1->Form4 = form4.get();
        started = true;
    });
    if (!started)
        return 1;
    form1->show();
    return app.exec();  // until the main window closes
}
