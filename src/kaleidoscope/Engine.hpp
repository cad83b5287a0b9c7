#pragma once

#include "core/PatternState.hpp"
#include "core/Random.hpp"
#include "kaleidoscope/FrameMap.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kalvotune::kaleidoscope {

inline constexpr int kCanvasBytes{1'100'000};
inline constexpr int kFadePixelCount{9825};
inline constexpr int kFigureWords{4000};
inline constexpr int kLibraryFigures{100};
/// Only records 0..kChoosableFigures-1 of the library are ever put into a slot.
inline constexpr int kChoosableFigures{66};
inline constexpr int kFigureSlots{19};
inline constexpr int kMinFigureLength{10};

/// Word numbers of a figure record (library and slots share the layout).
inline constexpr int kLength{0};
inline constexpr int kDirection{1};
inline constexpr int kStyle{2};
inline constexpr int kKind{3};
inline constexpr int kStepCount{4};
inline constexpr int kTurnPeriod{6};
inline constexpr int kTurnSign{7};
inline constexpr int kDrawnStart{8};
inline constexpr int kAnchor{10};

/// Offset added to a canvas pixel offset for one step in direction 0..15 (clockwise from east).
inline constexpr std::array<std::int32_t, 16> kDirectionOffsets{
    3, 2031, 2028, 4053, 2025, 4047, 2022, 2019, -3, -2031, -2028, -4053, -2025, -4047, -2022, -2019};

/// The figure anchors' allowed area: offsets 540,000..779,000, row bytes 400..1200.
inline constexpr int kWindowLow{540'000};
inline constexpr int kWindowHigh{779'000};
inline constexpr int kWindowLeft{400};
inline constexpr int kWindowRight{1200};

struct LoadResult {
    bool ok{};
    std::string message; ///< the program's own words when `ok` is false
};

/// A byte buffer the system hands out zeroed: its pages cost nothing until first drawn
/// on, so a large canvas adds nothing to start-up.
class ZeroedBytes {
public:
    explicit ZeroedBytes(std::size_t size);
    std::uint8_t* data() { return m_bytes.get(); }
    const std::uint8_t* data() const { return m_bytes.get(); }
    /// All bytes zero again, by taking fresh zeroed memory rather than writing zeros.
    void Clear();

private:
    struct Free {
        void operator()(std::uint8_t* bytes) const;
    };
    std::size_t m_size{};
    std::unique_ptr<std::uint8_t[], Free> m_bytes;
};

/// The per-tick inputs `TickStep` sets before a pattern tick draws.
struct TickValues {
    int CurrentSpeed{};
    int CurrentBlue{};
    int CurrentGreen{};
    int CurrentRed{};
};

/// The table contents as integers, in file order; used to load tables built in memory.
struct TableData {
    std::vector<std::int32_t> fadePixels; ///< kFadePixelCount offsets (`MassP1.kvt`)
    std::vector<std::int32_t> wedgeMap; ///< kWedgeRows x kWedgeColumns offsets (`Lumbra12.kvt`)
    std::vector<std::int32_t> figures; ///< kLibraryFigures x kFigureWords words (`MassMF2.kvt`)
};

/// The kaleidoscope's buffers and drawing operations: the work canvas, the pattern tables,
/// the 19 figure slots, and the copy of the canvas onto the inputs' surface.
/// Single-threaded; every operation runs inside a pattern tick on its owner's thread.
/// Reads from its inputs the template tick, the channels (red and speed bytes), and the
/// options `noTemplate`, `motionOff`, `smoothing` and `smearing`; writes the surface.
/// Draws from `random`. Until tables are loaded (`Ready()` false) every drawing operation
/// does nothing.
///
/// Typical use outside the window (a preview tool, say): `LoadTables`, then either drive
/// whole pattern ticks through `Scheduler::Tick` with the channels and the device
/// position set, or call the operations directly after filling `Current()`:
/// `MoveFigures`, the `DrawFigures...` calls, `FinishFrame` or `PresentFrame`; the picture
/// is then in the inputs' surface.
class Engine {
public:
    /// `inputs` and `random` must outlive the engine.
    Engine(PatternInputs inputs, Random& random);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    /// Reads `MassP1.kvt`, `Lumbra12.kvt` and `MassMF2.kvt` from `programDir`, checks them and
    /// builds the frame map. A file must have exactly its size; every offset must be a pixel
    /// (a multiple of 3) inside the canvas; figures 0..65 must be 10..4000 words long with
    /// every point and its four neighbours inside the canvas where the file puts it and
    /// wherever the anchor may go in the movement window (records 66..99 are never used
    /// and not checked). On failure nothing is kept, the engine stays as it was, and the
    /// message (Russian, for the user) names the file and the reason. On success the canvas
    /// and slots are cleared.
    LoadResult LoadTables(const std::filesystem::path& programDir);
    /// The same checks and effect for tables already in memory; no file is read, and the
    /// messages name the file the data stands for.
    LoadResult LoadTables(TableData tables);
    /// True once a set of tables has loaded.
    bool Ready() const { return m_ready; }

    /// The per-tick colour and step values; `TickStep` writes them, the operations read them.
    TickValues& Current() { return m_current; }
    const TickValues& Current() const { return m_current; }

    /// Turns and moves the figures of slots first..end-1 by `step` pixels, keeping each
    /// anchor inside the movement window. A figure that no direction can bring into the
    /// window at this step stays where it is.
    void MoveFigures(int first, int end, int step);
    /// Paint one colour byte (`channel` 0 blue, 1 green, 2 red) of the drawn points of
    /// slots first..end-1 with `value`, shaded by each figure's drawing style.
    void DrawFiguresFlat(int value, int first, int channel, int end);
    void DrawFiguresRising(int value, int first, int channel, int end);
    void DrawFiguresFalling(int value, int first, int channel, int end);
    /// Repaints near-black fade pixels in the dominant current colour (ties go to red).
    void FillDarkPixels();
    /// Averages every figure point's bytes with its four neighbours, in place.
    void SmoothFigures();
    /// Writes the kaleidoscope picture of the centre rectangle back into the canvas.
    void FoldBack();
    /// Averages the centre rectangle with its four neighbours, in place.
    void BlurCentre();
    /// The last step of every pattern tick: the smoothing options, then the decision
    /// whether this tick's picture is shown (bursts without a template, Drive with one).
    void FinishFrame();
    /// Copies the canvas through the frame map into the surface (524 rows of 2025 bytes;
    /// row padding untouched) and bumps its revision.
    void PresentFrame();

    /// Every fade pixel's three bytes become byte x a div b, per channel; divisors must be positive.
    void Fade(int aBlue, int bBlue, int aGreen, int bGreen, int aRed, int bRed);

    /// Copies words 0..N-1 of library record `record` (0..kLibraryFigures-1) into `slot`.
    void CopyFigure(int record, int slot);
    /// Word 3 (figure kind) of a library record.
    int LibraryKind(int record) const;

    std::span<std::uint8_t> Canvas() { return {m_canvas.data(), static_cast<std::size_t>(kCanvasBytes)}; }
    std::span<const std::uint8_t> Canvas() const { return {m_canvas.data(), static_cast<std::size_t>(kCanvasBytes)}; }
    std::span<const std::int32_t> FadePixels() const { return m_fadePixels; }
    const FrameMap& Map() const { return m_frameMap; }
    /// One slot's 4000 words; tests and tools may read and set them. Whoever writes points
    /// here must keep the margins `LoadTables` checks, or drawing writes out of bounds.
    std::span<std::int32_t, kFigureWords> Figure(int slot);
    /// What the engine draws from and into.
    const PatternInputs& Inputs() const { return m_inputs; }
    std::span<const std::int32_t, kFigureWords> Figure(int slot) const;
    int BurstCounter() const { return m_burstCounter; }

    /// Names of the three table files, in the order they are read.
    static constexpr const char* kFadeFile{"MassP1.kvt"};
    static constexpr const char* kWedgeFile{"Lumbra12.kvt"};
    static constexpr const char* kFigureFile{"MassMF2.kvt"};

private:
    void DrawFigures(int value, int first, int channel, int end, int operation);

    PatternInputs m_inputs;
    Random& m_random;
    bool m_ready{};
    TickValues m_current{};
    int m_burstCounter{};
    /// The canvas plus slack, so the presenter may read a whole word at the last pixel.
    ZeroedBytes m_canvas;
    std::vector<std::int32_t> m_fadePixels;
    std::vector<std::int32_t> m_wedgeMap;
    std::vector<std::int32_t> m_library;
    std::vector<std::int32_t> m_slots;
    FrameMap m_frameMap;
};

} // namespace kalvotune::kaleidoscope
