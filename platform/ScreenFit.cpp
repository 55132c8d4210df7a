// platform/ScreenFit.cpp
#include "ScreenFit.h"

#include <QEvent>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace {

// The window manager's frame is unknown until the window shows; a title bar
// is rarely taller than this.
constexpr int kTitleBarRoom = 32;
// Room in the field for a sign and five digits.
constexpr int kFieldWidth = 44;

class LabelEditor : public QObject {
public:
    LabelEditor(QLabel* label, std::function<void(int)> apply)
        : QObject(label), label_(label), apply_(std::move(apply))
    {
        label->installEventFilter(this);
        label->setCursor(Qt::IBeamCursor);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == label_ && event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            Open();
            return true;
        }
        if (watched == field_ && event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            Close();
            return true;
        }
        if (watched == field_ && event->type() == QEvent::FocusOut)
            Close();
        return false;
    }

private:
    void Open()
    {
        if (field_ == nullptr) {
            field_ = new QLineEdit(label_->parentWidget());
            field_->setObjectName(label_->objectName() + QStringLiteral("Field"));
            field_->setValidator(new QIntValidator(field_));
            field_->installEventFilter(this);
            connect(field_, &QLineEdit::returnPressed, this, [this] {
                bool ok = false;
                const int value = field_->text().toInt(&ok);
                Close();
                if (ok)
                    apply_(value);
            });
        }
        const QRect at = label_->geometry();
        field_->setGeometry(at.x() - 2, at.y() - 3, std::max(at.width() + 4, kFieldWidth),
                            at.height() + 6);
        field_->setText(label_->text());
        field_->selectAll();
        field_->show();
        field_->raise();
        field_->setFocus(Qt::MouseFocusReason);
    }

    void Close()
    {
        if (field_ != nullptr && field_->isVisible())
            field_->hide();
    }

    QLabel* label_;
    QLineEdit* field_ = nullptr;
    std::function<void(int)> apply_;
};

}  // namespace

void FitOnScreen(QWidget* window, QSize preferred)
{
    const QScreen* screen = window->screen();
    if (screen == nullptr) {
        window->resize(preferred);
        return;
    }
    const QRect free = screen->availableGeometry();
    const QSize size = preferred.boundedTo(free.size() - QSize(0, kTitleBarRoom));
    window->resize(size);
    // x and y are the frame's corner; the frame adds the title bar above the size.
    const int right = free.right() + 1 - size.width();
    const int bottom = free.bottom() + 1 - size.height() - kTitleBarRoom;
    const QPoint at(std::clamp(window->x(), free.left(), std::max(free.left(), right)),
                    std::clamp(window->y(), free.top(), std::max(free.top(), bottom)));
    window->move(at);
}

void MakeLabelEditable(QLabel* label, std::function<void(int)> apply)
{
    new LabelEditor(label, std::move(apply));
}
