// windows/Unit2.cpp
#include "Unit2.h"

#include "ScreenFit.h"

#include <QEvent>

#include <algorithm>

namespace {

// The view keeps its place and size while the window holds them, and shrinks
// with a smaller window: it scrolls the picture itself, so nothing is out of reach.
constexpr QRect kViewPlace(16, 16, 513, 593);

void PlaceView(QWidget* window, QWidget* view)
{
    const int margin = kViewPlace.left();
    view->setGeometry(margin, margin,
                      std::clamp(window->width() - 2 * margin, 1, kViewPlace.width()),
                      std::clamp(window->height() - 2 * margin, 1, kViewPlace.height()));
}

class ViewPlacer : public QObject {
public:
    ViewPlacer(QWidget* window, QWidget* view) : QObject(window), window_(window), view_(view)
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Resize)
            PlaceView(window_, view_);
        return false;
    }

private:
    QWidget* window_;
    QWidget* view_;
};

}  // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Temp Picture"));
    Image1 = new PictureView(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    new ViewPlacer(this, Image1);
    FitOnScreen(this, QSize(591, 692));
    PlaceView(this, Image1);  // a hidden window gets its first resize event only when shown
}
