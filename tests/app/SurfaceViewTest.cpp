#include "app/qt/SurfaceView.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPicture>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace kalvotune::app {
namespace {

QApplication& App()
{
    static int argc{1};
    static char name[]{"kalvotune_qt_tests"};
    static char* argv[]{name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication{argc, argv};
    }();
    return *app;
}

void Scribble(Surface& surface, unsigned seed)
{
    std::mt19937 gen{seed};
    for (auto& b : surface.bytes)
        b = static_cast<std::uint8_t>(gen());
    ++surface.revision;
}

QImage QtScaled(const Surface& surface, QSize size)
{
    const QImage source{
        surface.bytes.data(), Surface::kWidth, Surface::kHeight, Surface::kStride, QImage::Format_BGR888};
    QImage image{size, QImage::Format_RGB32};
    image.fill(Qt::white);
    QPainter painter{&image};
    painter.drawImage(image.rect(), source);
    return image;
}

QImage Scaled(const Surface& surface, QSize size)
{
    SurfaceScaler scaler;
    scaler.SetTargetSize(size.width(), size.height());
    QImage image{size, QImage::Format_RGB32};
    scaler.Scale(surface, 0, 0, size.width(), size.height(), image.bits(), image.bytesPerLine());
    return image;
}

// Where two images first differ, for failure messages.
std::string Difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return "sizes differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QString{"first difference at %1, %2: %3 against %4"}
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16)
                    .toStdString();
    return "same pixels";
}

// The window's pixels as the screen has them.
QImage Grab(QWidget& window)
{
    return window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

bool SameArea(const QImage& a, QRect inA, const QImage& b, QPoint inB)
{
    return a.copy(inA) == b.copy(QRect{inB, inA.size()});
}

TEST(SurfaceScaler, GivesQtsUnsmoothedPixelsAtEverySize)
{
    App();
    Surface surface;
    Scribble(surface, 3);
    // Design size, one row short of the surface, the window's design size, enlarged and
    // full-screen sizes of the picture, shrunk by the wheel, and degenerate sizes.
    for (const QSize size : {QSize{675, 523}, QSize{675, 524}, QSize{790, 536}, QSize{1955, 1543}, QSize{1350, 1048},
             QSize{3875, 2987}, QSize{623, 482}, QSize{80, 62}, QSize{1, 1}, QSize{2025, 1}}) {
        const QImage scaled = Scaled(surface, size);
        const QImage qt = QtScaled(surface, size);
        ASSERT_EQ(scaled, qt) << size.width() << " x " << size.height() << ": " << Difference(scaled, qt);
    }
}

TEST(SurfaceScaler, ScalesAnyRectangleLikeTheWhole)
{
    Surface surface;
    Scribble(surface, 4);
    // Enlarged, and at the picture's own width (pixels read two at a time).
    const std::vector<std::pair<QSize, std::vector<QRect>>> cases{
        {{1955, 1543}, {{0, 0, 1, 1}, {35, 33, 1920, 1080}, {1954, 1542, 1, 1}, {7, 500, 3, 900}}},
        {{675, 523}, {{0, 0, 675, 523}, {3, 5, 7, 9}, {1, 260, 674, 4}, {673, 522, 2, 1}, {674, 0, 1, 523}}},
    };
    for (const auto& [size, parts] : cases) {
        const QImage whole = QtScaled(surface, size);
        SurfaceScaler scaler;
        scaler.SetTargetSize(size.width(), size.height());
        for (const QRect& part : parts) {
            QImage image{part.size(), QImage::Format_RGB32};
            scaler.Scale(surface, part.x(), part.y(), part.width(), part.height(), image.bits(), image.bytesPerLine());
            const QImage expected = whole.copy(part);
            EXPECT_EQ(image, expected) << size.width() << " x " << size.height() << ", part at " << part.x() << ","
                                       << part.y() << ": " << Difference(image, expected);
        }
    }
}

struct Window {
    QWidget top;
    QWidget* panel = new QWidget{&top};
    SurfaceView* view;
    QWidget* cover = new QWidget{panel};

    explicit Window(const Surface& surface)
        : view{new SurfaceView{surface, panel}}
    {
        top.resize(400, 300);
        top.setStyleSheet("background: rgb(0,0,255);");
        panel->setGeometry(10, 8, 380, 280);
        view->setGeometry(20, 12, 337, 262);
        // Drawn over the picture, as the list panels are in the player.
        cover->setGeometry(100, 50, 40, 30);
        cover->setAttribute(Qt::WA_StyledBackground);
        cover->setStyleSheet("background: rgb(255,255,0);");
        cover->raise();
        top.show();
    }
    QPoint ViewAt() const { return view->mapTo(&top, QPoint{}); }
    QRect CoverAt() const { return QRect{cover->mapTo(&top, QPoint{}), cover->size()}; }
};

// Lets the event loop run until `done` holds; gives up after a generous while.
template <typename F> bool WaitFor(F&& done)
{
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 5000)
        App().processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The picture as the window should show it: scaled, under the yellow cover.
QImage Expected(const Surface& surface, const Window& window)
{
    const QRect view{window.ViewAt(), window.view->size()};
    QImage image = QtScaled(surface, view.size());
    QPainter{&image}.fillRect(window.CoverAt().translated(-view.topLeft()), QColor{255, 255, 0});
    return image;
}

bool Shows(Window& window, const QImage& picture)
{
    return SameArea(Grab(window.top), QRect{window.ViewAt(), window.view->size()}, picture, {});
}

TEST(SurfaceView, ShowsEachNewPictureScaledAroundWhatCoversIt)
{
    App();
    Surface surface;
    Scribble(surface, 5);
    Window window{surface};
    ASSERT_TRUE(WaitFor([&] { return Shows(window, Expected(surface, window)); }));
    for (unsigned seed : {6u, 7u}) {
        Scribble(surface, seed);
        window.view->ShowNewFrame();
        EXPECT_TRUE(WaitFor([&] { return Shows(window, Expected(surface, window)); })) << seed;
    }
}

TEST(SurfaceView, PartOffTheScreenShowsTheLatestPictureOnceMovedIntoView)
{
    App();
    Surface surface;
    Scribble(surface, 8);
    Window window{surface};
    window.top.move(-150, -100);
    ASSERT_TRUE(WaitFor([&] { return Shows(window, Expected(surface, window)); }));
    Scribble(surface, 9);
    window.view->ShowNewFrame();
    const QImage latest = Expected(surface, window);
    // The part on the screen follows at once.
    ASSERT_TRUE(WaitFor([&] {
        return SameArea(Grab(window.top), QRect{150, 100, 200, 150}, latest, QPoint{150, 100} - window.ViewAt());
    }));
    window.top.move(0, 0);
    EXPECT_TRUE(WaitFor([&] { return Shows(window, latest); }));
}

TEST(SurfaceView, PaintsTheSamePictureOnOtherDevices)
{
    App();
    Surface surface;
    Scribble(surface, 10);
    Window window{surface};
    // A recording device has no pixels to write into; the view draws an image there.
    QPicture picture;
    window.view->render(&picture);
    QImage played{window.view->size(), QImage::Format_RGB32};
    played.fill(Qt::black);
    QPainter{&played}.drawPicture(0, 0, picture);
    const QImage expected = QtScaled(surface, window.view->size());
    EXPECT_EQ(played, expected) << Difference(played, expected);
}

} // namespace
} // namespace kalvotune::app
