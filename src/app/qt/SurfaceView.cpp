#include "app/qt/SurfaceView.hpp"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace kalvotune::app {

namespace {

// One display refresh at 60 Hz: the picture is repainted at most this often.
constexpr int kRefreshMs{16};

// Qt's raster engine picks the source pixel under a target pixel's centre in 16.16 fixed
// point, through the inverted scale nudged by 1/65536 of a pixel (so a centre exactly on
// a border takes the lower pixel). Along a row it steps by the truncated fixed-point
// increment and starts afresh every 2048 pixels. Doing the same keeps the picture
// pixel for pixel as the window showed it when Qt scaled it.
constexpr double kFixedOne{65536.0};
constexpr int kQtSpanChunk{2048};

} // namespace

void SurfaceScaler::SetTargetSize(int width, int height)
{
    const double stepX = 1.0 / (static_cast<double>(width) / Surface::kWidth);
    const auto fixedStepX = static_cast<std::int64_t>(stepX * kFixedOne);
    m_columnBytes.resize(static_cast<std::size_t>(width));
    m_sameColumns = width == Surface::kWidth;
    for (int x = 0; x < width; ++x) {
        const int chunk = x / kQtSpanChunk * kQtSpanChunk;
        const auto fixed = static_cast<std::int64_t>((stepX * (chunk + 0.5) - stepX / kFixedOne) * kFixedOne)
            + (x - chunk) * fixedStepX;
        m_columnBytes[static_cast<std::size_t>(x)]
            = 3 * static_cast<std::int32_t>(std::clamp<std::int64_t>(fixed >> 16, 0, Surface::kWidth - 1));
        m_sameColumns = m_sameColumns && m_columnBytes[static_cast<std::size_t>(x)] == 3 * x;
    }
    const double stepY = 1.0 / (static_cast<double>(height) / Surface::kHeight);
    m_rows.resize(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const auto fixed = static_cast<std::int64_t>((stepY * (y + 0.5) - stepY / kFixedOne) * kFixedOne);
        m_rows[static_cast<std::size_t>(y)]
            = static_cast<std::int32_t>(std::clamp<std::int64_t>(fixed >> 16, 0, Surface::kHeight - 1));
    }
}

void SurfaceScaler::Scale(
    const Surface& surface, int x, int y, int w, int h, std::uint8_t* out, std::ptrdiff_t stride) const
{
    static_assert(std::endian::native == std::endian::little, "pixels are assembled as little-endian words");
    const std::int32_t* columns = m_columnBytes.data() + x;
    std::uint8_t* previous = nullptr;
    for (int row = 0; row < h; ++row, out += stride) {
        const std::int32_t source = m_rows[static_cast<std::size_t>(y + row)];
        // Enlarged pictures repeat a surface row: copy the target row already made.
        if (previous != nullptr && m_rows[static_cast<std::size_t>(y + row - 1)] == source) {
            std::memcpy(out, previous, static_cast<std::size_t>(w) * 4);
            previous = out;
            continue;
        }
        // Four bytes from the pixel's blue on are blue, green, red and the next pixel's
        // blue (or the row padding); the top byte becomes the opaque alpha.
        const std::uint8_t* pixels = surface.Row(source);
        auto* target = reinterpret_cast<std::uint32_t*>(out);
        int i = 0;
        if (m_sameColumns) {
            // At the picture's own width, one eight-byte read gives two neighbouring pixels.
            const std::uint8_t* from = pixels + 3 * x;
            for (; i + 1 < w; i += 2) {
                std::uint64_t bytes{};
                std::memcpy(&bytes, from + 3 * i, 8);
                const std::uint64_t pair
                    = (bytes & 0xFFFFFFu) | ((bytes << 8) & 0xFFFFFF00000000u) | 0xFF000000FF000000u;
                std::memcpy(target + i, &pair, 8);
            }
        }
        for (; i < w; ++i) {
            std::uint32_t word{};
            std::memcpy(&word, pixels + columns[i], 4);
            target[i] = word | 0xFF000000u;
        }
        previous = out;
    }
}

SurfaceView::SurfaceView(const Surface& surface, QWidget* parent)
    : QWidget{parent}
    , m_surface{surface}
    , m_refreshTimer{new QTimer{this}}
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::CrossCursor);
    const char* painting = std::getenv("KALVOTUNE_PAINT");
    m_qtPainting = painting != nullptr && std::strcmp(painting, "qt") == 0;
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setTimerType(Qt::PreciseTimer);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] { Repaint(); });
    installEventFilter(this);
    for (QWidget* ancestor = parent; ancestor != nullptr; ancestor = ancestor->parentWidget())
        ancestor->installEventFilter(this);
}

void SurfaceView::ShowNewFrame()
{
    if (m_surface.revision == m_requestedRevision || m_refreshTimer->isActive())
        return;
    const qint64 since = m_sinceRepaint.isValid() ? m_sinceRepaint.elapsed() : kRefreshMs;
    if (since >= kRefreshMs)
        Repaint();
    else
        m_refreshTimer->start(static_cast<int>(kRefreshMs - since));
}

void SurfaceView::Repaint()
{
    m_requestedRevision = m_surface.revision;
    m_sinceRepaint.restart();
    if (m_qtPainting) {
        update();
        return;
    }
    // In full screen the window reaches past the screen on every side; what no screen
    // shows is not painted for a new frame (an expose paints it when it comes into view).
    QRect visible = rect();
    if (const QScreen* display = screen(); display != nullptr) {
        const QRect desktop = display->virtualGeometry();
        visible &= QRect{mapFromGlobal(desktop.topLeft()), desktop.size()};
    }
    // Moving the picture or the window may bring such a part into view without an
    // expose, so the next move repaints the whole widget.
    m_outsidePartStale = visible != rect();
    if (!visible.isEmpty())
        update(visible);
}

bool SurfaceView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Move && m_outsidePartStale) {
        m_outsidePartStale = false;
        update();
    }
    return QWidget::eventFilter(watched, event);
}

void SurfaceView::paintEvent(QPaintEvent* event)
{
    QPainter painter{this};
    if (m_qtPainting) {
        const QImage image{
            m_surface.bytes.data(), Surface::kWidth, Surface::kHeight, Surface::kStride, QImage::Format_BGR888};
        painter.drawImage(rect(), image);
        return;
    }
    if (m_scaler.TargetWidth() != width() || m_scaler.TargetHeight() != height())
        m_scaler.SetTargetSize(width(), height());
    if (PaintIntoBackingStore(painter))
        return;
    const QRect area = event->rect() & rect();
    if (area.isEmpty())
        return;
    if (m_buffer.width() < area.width() || m_buffer.height() < area.height())
        m_buffer = QImage{area.size().expandedTo(m_buffer.size()), QImage::Format_RGB32};
    m_scaler.Scale(
        m_surface, area.x(), area.y(), area.width(), area.height(), m_buffer.bits(), m_buffer.bytesPerLine());
    painter.drawImage(area.topLeft(), m_buffer, QRect{QPoint{}, area.size()});
}

bool SurfaceView::PaintIntoBackingStore(QPainter& painter)
{
    QPaintEngine* engine = painter.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster || engine->paintDevice() == nullptr
        || engine->paintDevice()->devType() != QInternal::Image)
        return false;
    auto* image = static_cast<QImage*>(engine->paintDevice());
    const QImage::Format format = image->format();
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32
            && format != QImage::Format_ARGB32_Premultiplied)
        || image->devicePixelRatio() != 1.0 || !image->isDetached())
        return false;
    const QTransform transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate)
        return false;
    const QPoint offset{qRound(transform.dx()), qRound(transform.dy())};
    // The system clip is what this paint may touch, in the image's pixels: the exposed
    // part of the widget without the children and siblings drawn over it.
    const QRegion clip = engine->systemClip();
    if (clip.isEmpty())
        return false;
    const QRect bounds = image->rect() & rect().translated(offset);
    const auto stride = static_cast<std::ptrdiff_t>(image->bytesPerLine());
    for (const QRect& part : clip) {
        const QRect area = part & bounds;
        if (area.isEmpty())
            continue;
        std::uint8_t* out = image->bits() + area.y() * stride + area.x() * 4;
        m_scaler.Scale(
            m_surface, area.x() - offset.x(), area.y() - offset.y(), area.width(), area.height(), out, stride);
    }
    return true;
}

} // namespace kalvotune::app
