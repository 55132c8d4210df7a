// samples/make_samples.cpp: remakes the sample pictures of this folder.
//
//   build/release/make_samples samples
//
// Every picture comes from a fixed seed, so a run reproduces the committed files.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

constexpr int kWidth = 512, kHeight = 480;

QColor Gray(int v) { return QColor(v, v, v); }

// Adds uniform noise of +-amplitude to every channel.
void AddNoise(QImage& picture, int amplitude, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-amplitude, amplitude);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const int n = noise(rng);
            auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
            line[x] = qRgb(clamp(qRed(line[x]) + n), clamp(qGreen(line[x]) + n),
                           clamp(qBlue(line[x]) + n));
        }
    }
}

// Dark and bright parts of many shapes on a plate: threshold, detection,
// filters and morphology. In colour, so that the gray conversion shows.
QImage Parts()
{
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    picture.fill(QColor(150, 160, 140));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    // Dark parts.
    p.setBrush(QColor(40, 30, 60));
    p.drawRect(40, 40, 60, 36);
    p.drawEllipse(QPoint(190, 70), 32, 32);
    p.setBrush(QColor(70, 20, 20));
    p.drawRect(270, 40, 16, 70);  // a U opening upward
    p.drawRect(270, 96, 60, 14);
    p.drawRect(314, 40, 16, 70);
    p.setBrush(QColor(20, 40, 30));
    p.drawRect(380, 40, 20, 20);  // two squares touching at a corner only
    p.drawRect(400, 60, 20, 20);
    // Bright parts.
    p.setBrush(QColor(250, 240, 200));
    p.drawEllipse(QPoint(80, 200), 40, 26);
    p.drawRect(160, 170, 90, 14);
    p.drawRect(160, 170, 14, 80);  // an L
    p.setBrush(QColor(255, 255, 255));
    for (int i = 0; i < 6; ++i)
        p.drawEllipse(QPoint(300 + 32 * i, 200), 6 + i, 6 + i);
    // A row of small dark screws and washers.
    for (int i = 0; i < 8; ++i) {
        p.setBrush(QColor(60, 60, 70));
        p.drawEllipse(QPoint(50 + 58 * i, 330), 18, 18);
        p.setBrush(QColor(150, 160, 140));
        p.drawEllipse(QPoint(50 + 58 * i, 330), 6, 6);
    }
    // A rotated dark bar and a part touching the border.
    p.save();
    p.translate(150, 420);
    p.rotate(-20);
    p.setBrush(QColor(30, 30, 30));
    p.drawRect(-80, -10, 160, 20);
    p.restore();
    p.setBrush(QColor(35, 35, 90));
    p.drawRect(440, 400, 80, 90);
    p.end();
    AddNoise(picture, 5, 101);
    return picture;
}

// A plate with a straight, slightly slanted edge and round features: the
// gauging tools.
QImage Gauge()
{
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    picture.fill(Gray(200));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    // Dark region below a line from (0, 330) to (512, 300).
    QPainterPath below;
    below.moveTo(0, 330);
    below.lineTo(kWidth, 300);
    below.lineTo(kWidth, kHeight);
    below.lineTo(0, kHeight);
    below.closeSubpath();
    p.setBrush(Gray(60));
    p.drawPath(below);
    // A round hole and a bright boss with a ring.
    p.setBrush(Gray(50));
    p.drawEllipse(QPointF(150, 150), 60, 60);
    p.setBrush(Gray(90));
    p.drawEllipse(QPointF(370, 150), 80, 80);
    p.setBrush(Gray(240));
    p.drawEllipse(QPointF(370, 150), 45, 45);
    // A step for edges along a line.
    p.setBrush(Gray(120));
    p.drawRect(QRectF(40, 250, 200, 30));
    p.end();
    AddNoise(picture, 4, 202);
    return picture;
}

// One fiducial mark, 48 x 48, asymmetric so that its rotation is unambiguous.
void DrawMark(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Gray(30));
    p.drawRect(-24, -24, 48, 48);
    p.setBrush(Gray(230));
    p.drawRect(-18, -18, 36, 36);
    p.setBrush(Gray(30));
    p.drawRect(-4, -14, 8, 28);   // a cross
    p.drawRect(-14, -4, 28, 8);
    p.drawRect(6, -16, 10, 10);   // a notch in one corner
}

// A textured background with copies of one mark, some turned: pattern matching.
QImage Pattern()
{
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    picture.fill(Gray(120));
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, true);
    std::mt19937 rng(303);
    std::uniform_int_distribution<int> position(0, 511), size(6, 40), shade(95, 145);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 220; ++i) {
        p.setBrush(Gray(shade(rng)));
        p.drawEllipse(QPoint(position(rng), position(rng) * kHeight / kWidth), size(rng), size(rng));
    }
    struct Copy { int x, y; double angle; };
    for (const Copy c : {Copy{70, 70, 0}, Copy{250, 80, 0}, Copy{420, 90, 15}, Copy{90, 260, 30},
                         Copy{270, 270, 0}, Copy{430, 280, 90}, Copy{160, 400, 45}})
    {
        p.save();
        p.translate(c.x, c.y);
        p.rotate(-c.angle);  // counter-clockwise on the screen, as the search counts angles
        DrawMark(p);
        p.restore();
    }
    p.end();
    AddNoise(picture, 6, 404);
    return picture;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    struct Sample { const char* name; QImage picture; };
    for (const Sample& s : {Sample{"parts.png", Parts()}, Sample{"gauge.png", Gauge()},
                            Sample{"pattern.png", Pattern()}}) {
        const QString path = folder + QStringLiteral("/") + QString::fromLatin1(s.name);
        if (!s.picture.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("wrote %s\n", qPrintable(path));
    }
    return 0;
}
