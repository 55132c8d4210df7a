// workspace/Unit1Corners.cpp: room in the corner box for the corners of a large picture.
#include "Unit1.h"

#include <QEvent>
#include <QTimer>

#include <algorithm>

namespace {

// The corner box as built: "X1 [X1] Y1 [Y1]" over "X2 [X2] Y2 [Y2]", each value
// 24 pixels wide: three digits fit, a fourth is cut. While every text fits this
// stays untouched, pixel for pixel; a wider text moves the values closer to
// their captions and widens them and the box for up to five digits.
class CornerFit : public QObject {
public:
    static constexpr const char* kName = "CornerFit";
    explicit CornerFit(TForm1& form) : QObject(form.Shape5), form_(form)
    {
        setObjectName(QString::fromLatin1(kName));
        for (QWidget* w : Moved())
            built_.push_back(w->geometry());
        for (QLabel* value : Values())
            value->installEventFilter(this);
    }

    // A text set since the last paint shows up here; the layout changes after it.
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && Needed() != shownWidth_ && !pending_) {
            pending_ = true;
            QTimer::singleShot(0, this, [this] { Fit(); });
        }
        return false;
    }

    void Fit()
    {
        pending_ = false;
        const int needed = Needed();
        if (needed == shownWidth_)
            return;
        shownWidth_ = needed;
        const std::vector<QWidget*> moved = Moved();
        for (std::size_t k = 0; k < moved.size(); ++k)
            moved[k]->setGeometry(built_[k]);
        if (needed == kBuiltWidth)
            return;
        constexpr int gap = 3;
        const int value1 = form_.Label7->geometry().right() + 1 + gap;
        const int caption2 = value1 + needed + gap;
        const int value2 = caption2 + form_.Label8->width() + gap;
        for (QLabel* value : {form_.Label11, form_.Label13})
            value->setGeometry(value1, value->y(), needed, value->height());
        for (QLabel* caption : {form_.Label8, form_.Label10})
            caption->move(caption2, caption->y());
        for (QLabel* value : {form_.Label12, form_.Label14})
            value->setGeometry(value2, value->y(), needed, value->height());
        QFrame* box = form_.Shape5;
        box->resize(std::max(box->width(), value2 + needed + gap - box->x()), box->height());
    }

private:
    static constexpr int kBuiltWidth = 24;
    std::vector<QLabel*> Values() const
    {
        return {form_.Label11, form_.Label12, form_.Label13, form_.Label14};
    }
    std::vector<QWidget*> Moved() const
    {
        return {form_.Shape5, form_.Label8, form_.Label10, form_.Label11,
                form_.Label12, form_.Label13, form_.Label14};
    }
    // The width every value gets: the built one while the texts fit it, else
    // the widest text's, up to five digits.
    int Needed() const
    {
        const QFontMetrics metrics = form_.Label11->fontMetrics();
        int widest = 0;
        for (const QLabel* value : Values())
            widest = std::max(widest, metrics.horizontalAdvance(value->text()));
        if (widest <= kBuiltWidth)
            return kBuiltWidth;
        return std::min(widest, metrics.horizontalAdvance(QStringLiteral("99999")));
    }

    TForm1& form_;
    std::vector<QRect> built_;
    int shownWidth_ = kBuiltWidth;
    bool pending_ = false;
};

CornerFit* FitOf(const TForm1& form)
{
    return form.Shape5->findChild<CornerFit*>(QString::fromLatin1(CornerFit::kName),
                                              Qt::FindDirectChildrenOnly);
}

}  // namespace

void TForm1::FitCornerLabels()
{
    CornerFit* fit = FitOf(*this);
    if (fit == nullptr)
        fit = new CornerFit(*this);
    fit->Fit();
}
