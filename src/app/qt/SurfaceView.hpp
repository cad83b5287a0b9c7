#pragma once

#include "core/Surface.hpp"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <vector>

class QPainter;
class QTimer;

namespace kalvotune::app {

/// Nearest-neighbour scaling of the drawing surface to a target size, straight into the
/// 32-bit 0xffRRGGBB pixels of a raster window, so nothing converts or scales afterwards.
/// A target pixel (x, y) shows the surface pixel under its centre, as Qt's unsmoothed
/// image drawing does.
class SurfaceScaler {
public:
    /// Builds the pixel index for a target of `width` x `height` (both positive).
    void SetTargetSize(int width, int height);
    int TargetWidth() const { return static_cast<int>(m_columnBytes.size()); }
    int TargetHeight() const { return static_cast<int>(m_rows.size()); }

    /// Writes target pixels x..x+w-1 of rows y..y+h-1, a rectangle inside the target,
    /// to `out` (its top left pixel), whose rows lie `stride` bytes apart.
    void Scale(const Surface& surface, int x, int y, int w, int h, std::uint8_t* out, std::ptrdiff_t stride) const;

private:
    std::vector<std::int32_t> m_columnBytes; ///< per target column: the byte of its pixel in a surface row
    std::vector<std::int32_t> m_rows; ///< per target row: its surface row
    bool m_sameColumns{}; ///< every target column shows the surface column of its own number
};

/// Shows the drawing surface stretched to the widget. A new picture is scaled once, for
/// the part of the widget that is on screen, directly into the window's backing store
/// (through an image of the window's own format where that store is not a plain image).
/// With KALVOTUNE_PAINT=qt in the environment it paints as earlier versions did, with
/// Qt's scaled image drawing over the whole widget, to compare the two.
class SurfaceView : public QWidget {
public:
    SurfaceView(const Surface& surface, QWidget* parent);

    /// Call after anything that may have drawn on the surface. A new picture is painted
    /// at once, or when the last repaint is one display refresh old, so a burst of frames
    /// costs one repaint per refresh and its latest frame is on screen within one.
    void ShowNewFrame();

protected:
    void paintEvent(QPaintEvent* event) override;
    /// Watches this widget and its ancestors for moves.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Repaint();
    /// Writes the scaled picture straight into the raster image the painter draws on,
    /// inside the painter's clip. False when the painter does not draw on such an image.
    bool PaintIntoBackingStore(QPainter& painter);

    const Surface& m_surface;
    SurfaceScaler m_scaler;
    QImage m_buffer;
    QTimer* m_refreshTimer{};
    QElapsedTimer m_sinceRepaint; ///< since the last requested repaint
    std::uint64_t m_requestedRevision{~std::uint64_t{}}; ///< the picture the last requested repaint shows
    bool m_outsidePartStale{};
    bool m_qtPainting{};
};

} // namespace kalvotune::app
