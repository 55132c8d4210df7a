// windows/Unit4.h
#pragma once
#include <QFrame>
#include <QPushButton>
#include <QWidget>
#include <cstdint>

class TForm1;

// The video window: a live preview from capture driver 0 inside Panel1, and
// Button1 "擷取", which takes the frame the panel shows as the main window's new
// picture: Before and After become 320 x 240 gray images of it, and the main
// window's title says "Camera grab" ("Camera grab (no video)" without a driver).
class TForm4 : public QWidget {
    Q_OBJECT
public:
    // Runs FormCreate: the capture window is made and the driver connected at once.
    explicit TForm4(TForm1& main, QWidget* parent = nullptr);

    static constexpr int kFrameWidth = 320, kFrameHeight = 240;

    QFrame* Panel1 = nullptr;        // parent of the capture window
    QPushButton* Button1 = nullptr;  // "擷取"
    QWidget* hWndC = nullptr;        // the capture window, kept for the window's life

    void FormCreate();
    void Button1Click();

private:
    // A capture message, sent only while the capture window exists; 0 otherwise.
    std::intptr_t SendCapture(std::uint32_t message, std::intptr_t wParam);
    TForm1& main_;
    bool connected_ = false;  // the driver connected at start-up; the grab's title says so
};
