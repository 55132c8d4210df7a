// windows/Unit3.h
#pragma once
#include <QWidget>

// The tool window: the region of interest as a picture and a table of its gray values.
class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
};
