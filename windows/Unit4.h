// windows/Unit4.h
#pragma once
#include <QWidget>

class TForm1;

// The video window: a live preview from the capture device and a grab button.
class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(TForm1& main, QWidget* parent = nullptr);

private:
    TForm1& main_;
};
