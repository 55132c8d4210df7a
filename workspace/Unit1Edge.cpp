// workspace/Unit1Edge.cpp: the "Find Edge" menu and Panel6.
#include "Unit1.h"

#include "Conversions.h"
#include "EdgeCommand.h"

namespace {

// Rows of the gauging panels: caption at the left, control, echo box.
constexpr int kCaptionLeft = 16, kControlLeft = 120, kEchoLeft = 308;

}  // namespace

QScrollBar* TForm1::PlaceEchoedScrollBar(QWidget* parent, const char* name, const char* editName,
                                         const QString& caption, int top, int minimum,
                                         int maximum, int value, QLineEdit*& echo,
                                         void (TForm1::*handler)())
{
    PlaceLabel(parent, (QByteArray(name) + "Caption").constData(), caption, kCaptionLeft, top + 2);
    auto* bar = Place<QScrollBar>(parent, name, kControlLeft, top, 180, 17);
    bar->setOrientation(Qt::Horizontal);
    bar->setRange(minimum, maximum);
    bar->setValue(value);
    echo = Place<QLineEdit>(parent, editName, kEchoLeft, top - 3, 57, 22);
    echo->setText(IntToText(value));
    Bind(bar, &QScrollBar::valueChanged, handler);
    return bar;
}

QComboBox* TForm1::PlaceCaptionedList(QWidget* parent, const char* name, const QString& caption,
                                      int top, const QStringList& items)
{
    PlaceLabel(parent, (QByteArray(name) + "Caption").constData(), caption, kCaptionLeft, top + 3);
    auto* list = Place<QComboBox>(parent, name, kControlLeft, top, 160, 22);
    list->addItems(items);
    list->setCurrentIndex(0);
    return list;
}

void TForm1::BuildPanel6()
{
    Panel6 = PlacePanel("Panel6", 401, 233);
    GroupBox6 = Place<QGroupBox>(Panel6, "GroupBox6", 8, 8, 385, 177);
    GroupBox6->setTitle(QStringLiteral("Find Edge"));
    ComboBox2 = PlaceCaptionedList(GroupBox6, "ComboBox2", QStringLiteral("Look For"), 24,
                                   {QStringLiteral("All Edges"), QStringLiteral("Fist Edge Only"),
                                    QStringLiteral("Fist & Last Edge Only")});
    ComboBox3 = PlaceCaptionedList(GroupBox6, "ComboBox3", QStringLiteral("Edge Polarity"), 56,
                                   {QStringLiteral("All Edges"),
                                    QStringLiteral("Dark to Bright Only"),
                                    QStringLiteral("Bright to Dark Only")});
    ScrollBar7 = PlaceEchoedScrollBar(GroupBox6, "ScrollBar7", "Edit4",
                                      QStringLiteral("Edge Strength"), 92, 0, 255, 0, Edit4,
                                      &TForm1::ScrollBar7Change);
    Label35 = PlaceLabel(GroupBox6, "Label35", QStringLiteral("Total Edge"), kCaptionLeft, 130);
    Edit5 = Place<QLineEdit>(GroupBox6, "Edit5", kControlLeft, 126, 81, 22);
    Edit5->setReadOnly(true);
    Edit5->setText(QStringLiteral("0"));
    Button11 = PlaceButton(Panel6, "Button11", QStringLiteral("Find Edge"), 296, 192, 97, 33);
    BindCommand(Button11, &TForm1::Button11Click);
}

void TForm1::FindEdge1Click()
{
    HideToolPanels();
    Button11->setEnabled(false);
    OpenToolPanel(Panel6);
}

void TForm1::FindEdgeSetup1Click() { Button11->setEnabled(true); }

void TForm1::ScrollBar7Change() { Edit4->setText(IntToText(ScrollBar7->value())); }

// The corners as they stand: the drag's direction is the scan's direction.
void TForm1::Button11Click()
{
    const EdgeSettings settings{ComboBox2->currentIndex(), ComboBox3->currentIndex(),
                                ScrollBar7->value(), ReadCorners()};
    const EdgeResult r =
        RunFindEdge(BeforeImage, AfterImage(), ImageWidth(), ImageHeight(), settings);
    Edit5->setText(IntToText(r.count));  // 0 before any picture
    ShowOutcome(settings, r, settings.line);
}
