// windows/Unit3.h
#pragma once
#include "PictureView.h"
#include "StringGrid.h"

#include <QFrame>
#include <QIcon>
#include <QList>
#include <QScrollArea>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <cstdint>

// The tool window: the region of interest as a picture (Image1, loaded from the
// tool picture file by the main window's "Tool Button") and, on ToolButton1, a
// table of its gray values with column and row numbers as headings. Every
// control sits in Client at its place; a window smaller than Client scrolls.
class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // The table covers at most this many columns and rows of the picture.
    static constexpr int kTableSize = 512;

    QScrollArea* ScrollBox1 = nullptr;
    QWidget* Client = nullptr;  // 1083 x 676 at least; as large as the window otherwise
    QFrame* CoolBar1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QList<QIcon> ImageList1;             // the toolbar's icons
    QToolButton* ToolButton1 = nullptr;  // fills the table
    QToolButton* ToolButton2 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QFrame* Shape1 = nullptr;
    PictureView* Image1 = nullptr;
    QFrame* Panel1 = nullptr;
    StringGrid* StringGrid1 = nullptr;

    // Gray values last put into the grid, [x][y]; only the tabulated part is written.
    std::array<std::array<std::uint8_t, kTableSize>, kTableSize> GrayTable{};

    void ToolButton1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;  // the toolbar spans Client

private:
    void PlaceToolbar();
};
