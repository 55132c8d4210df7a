// windows/Unit4.cpp
#include "Unit4.h"

#include "Application.h"
#include "Capture.h"
#include "Dialogs.h"
#include "PictureFiles.h"
#include "ScreenFit.h"
#include "Unit1.h"

#include <QScrollArea>
#include <QVBoxLayout>

TForm4::TForm4(TForm1& main, QWidget* parent) : QWidget(parent, Qt::Window), main_(main)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Form4"));
    // The controls keep their places in a client area that scrolls when the
    // window is smaller than it.
    constexpr QSize clientSize(366, 354);
    auto* area = new QScrollArea(this);
    area->setObjectName(QStringLiteral("ScrollBox1"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("Client"));
    client->setMinimumSize(clientSize);
    area->setWidget(client);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
    FitOnScreen(this, clientSize);

    Panel1 = new QFrame(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(16, 56, kFrameWidth, kFrameHeight);
    Button1 = new QPushButton(QStringLiteral("擷取"), client);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(16, 16, 73, 25);
    connect(Button1, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { Button1Click(); }); });

    FormCreate();
}

std::intptr_t TForm4::SendCapture(std::uint32_t message, std::intptr_t wParam)
{
    return IsWindow(hWndC) ? SendMessageA(hWndC, message, wParam, 0) : 0;
}

void TForm4::FormCreate()
{
    hWndC = capCreateCaptureWindowA("GrayBench capture", WS_CHILD | WS_VISIBLE, 0, 0, kFrameWidth,
                                    kFrameHeight, Panel1, 1);
    SendCapture(WM_CAP_SET_PREVIEW, 0);
    SendCapture(WM_CAP_DRIVER_CONNECT, 0);  // the first attempt may fail on a waking device
    connected_ = SendCapture(WM_CAP_DRIVER_CONNECT, 0) != 0;
    if (!connected_) {
        Dialogs().ShowMessage(this, QStringLiteral("視訊無法"));
        return;
    }
    SendCapture(WM_CAP_SET_PREVIEWRATE, 10);
    SendCapture(WM_CAP_SET_PREVIEW, 1);
}

void TForm4::Button1Click()
{
    // The pixels the panel shows now: the preview frame, or black without video.
    HDC dc = GetDC(Panel1);
    QImage frame(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    frame.fill(Qt::black);
    if (dc != nullptr) {
        frame = dc->Pixels(QRect(0, 0, kFrameWidth, kFrameHeight));
        ReleaseDC(Panel1, dc);
    }

    // The new images are made in full before the workspace changes, so running
    // out of memory leaves the old picture and images as they were.
    GrayImage before = GrayFromPicture(frame);  // (R + G + B) / 3
    if (!before)
        throw PictureError("Not enough memory for the grabbed frame");
    // The frame is handed over: the main window replaces its workspace itself.
    // The title no longer names the old file: it says where the pictures came
    // from, and when they are only black.
    main_.ReplaceWorkspace(TForm1::WorkspaceChange::Grab, frame, std::move(before), kFrameWidth,
                           kFrameHeight,
                           connected_ ? QStringLiteral("Camera grab")
                                      : QStringLiteral("Camera grab (no video)"));
}
