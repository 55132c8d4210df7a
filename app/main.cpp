// app/main.cpp: creates the four windows in order and runs the event loop.
// graybench [PICTURE]: the picture, when given, is loaded as Load would load it.
#include "Application.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"

#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

#ifndef GRAYBENCH_VERSION
#error "GRAYBENCH_VERSION comes from the build"
#endif

namespace {

constexpr char kUsage[] =
    "Usage: graybench [PICTURE]\n"
    "A machine-vision workbench for 8-bit gray pictures.\n"
    "\n"
    "  PICTURE     a picture to load at start (BMP, PNG, JPEG, TIFF, PGM, ...)\n"
    "  --help      show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are accepted too.\n";

}  // namespace

int main(int argc, char** argv)
{
    // Answered before the application object exists, so that they work on a
    // machine with no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("graybench %s\n", GRAYBENCH_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    WorkbenchApplication app(argc, argv);  // takes Qt's options out of argv
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() > 1 || (!arguments.isEmpty() && arguments.front().startsWith('-'))) {
        std::fprintf(stderr, "graybench: unexpected argument '%s'\n%s",
                     qPrintable(arguments.back()), kUsage);
        return 2;
    }
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
    // Once the window is up, so that a picture that cannot be read is
    // reported over it and the workbench stays open, empty.
    if (!arguments.isEmpty())
        QTimer::singleShot(0, form1.get(), [&form1, path = arguments.front()] {
            RunGuarded([&] { form1->LoadPicture(path); });
        });
    return app.exec();  // until the main window closes
}
