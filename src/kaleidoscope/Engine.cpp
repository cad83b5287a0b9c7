#include "kaleidoscope/Engine.hpp"

#include "core/FileIO.hpp"

#include <algorithm>
#include <cstring>
#include <optional>

namespace kalvotune::kaleidoscope {

namespace {

constexpr std::size_t kFadeCount{kFadePixelCount};
constexpr std::size_t kWedgeCount{static_cast<std::size_t>(kWedgeRows) * kWedgeColumns};
constexpr std::size_t kLibraryWords{static_cast<std::size_t>(kLibraryFigures) * kFigureWords};
constexpr std::size_t kSlack{4};

std::string Damaged(const char* file, const std::string& reason)
{
    return std::string{"Файл таблицы узоров "} + file + " повреждён: " + reason;
}

/// A pixel offset whose three bytes lie inside the canvas.
std::optional<std::string> CheckPixel(const char* file, std::int32_t offset, std::size_t index)
{
    if (offset % 3 != 0)
        return Damaged(
            file, "смещение " + std::to_string(offset) + " (число № " + std::to_string(index) + ") не кратно 3.");
    if (offset < 0 || static_cast<std::int64_t>(offset) + 2 >= kCanvasBytes)
        return Damaged(file,
            "смещение " + std::to_string(offset) + " (число № " + std::to_string(index)
                + ") выходит за пределы холста.");
    return std::nullopt;
}

/// Smoothing reads a point's bytes one row and one pixel either side, so a point must keep
/// that margin where it lies in the file and wherever its anchor goes in the movement window.
bool PointFits(std::int64_t point, std::int64_t anchor)
{
    const auto fits = [](std::int64_t p) { return p - kFrameRowBytes >= 0 && p + 2 + kFrameRowBytes < kCanvasBytes; };
    const std::int64_t fromAnchor = point - anchor;
    return fits(point) && fits(kWindowLow + fromAnchor) && fits(kWindowHigh + fromAnchor);
}

std::optional<std::string> CheckFigures(const std::vector<std::int32_t>& words)
{
    const char* file = Engine::kFigureFile;
    for (int k = 0; k < kChoosableFigures; ++k) {
        const std::int32_t* record = words.data() + static_cast<std::size_t>(k) * kFigureWords;
        const std::int32_t n = record[kLength];
        if (n < kMinFigureLength || n > kFigureWords)
            return Damaged(file,
                "длина фигуры № " + std::to_string(k) + " равна " + std::to_string(n)
                    + ", а должна быть от 10 до 4000.");
        for (int w = kAnchor; w < n; ++w) {
            const std::int32_t p = record[w];
            if (p % 3 != 0)
                return Damaged(file,
                    "точка " + std::to_string(p) + " фигуры № " + std::to_string(k) + " (слово " + std::to_string(w)
                        + ") не кратна 3.");
            if (!PointFits(p, record[kAnchor]))
                return Damaged(file,
                    "точка " + std::to_string(p) + " фигуры № " + std::to_string(k) + " (слово " + std::to_string(w)
                        + ") выходит за пределы холста при движении фигуры.");
        }
    }
    return std::nullopt;
}

std::optional<std::string> CheckTables(const TableData& tables)
{
    const auto checkSize = [](const char* file, std::size_t count, std::size_t expected) -> std::optional<std::string> {
        if (count != expected)
            return Damaged(file,
                "в нём " + std::to_string(count * 4) + " байт, а должно быть " + std::to_string(expected * 4) + ".");
        return std::nullopt;
    };
    if (auto error = checkSize(Engine::kFadeFile, tables.fadePixels.size(), kFadeCount))
        return error;
    for (std::size_t i = 0; i < kFadeCount; ++i)
        if (auto error = CheckPixel(Engine::kFadeFile, tables.fadePixels[i], i))
            return error;
    if (auto error = checkSize(Engine::kWedgeFile, tables.wedgeMap.size(), kWedgeCount))
        return error;
    for (std::size_t i = 0; i < kWedgeCount; ++i)
        if (auto error = CheckPixel(Engine::kWedgeFile, tables.wedgeMap[i], i))
            return error;
    if (auto error = checkSize(Engine::kFigureFile, tables.figures.size(), kLibraryWords))
        return error;
    return CheckFigures(tables.figures);
}

} // namespace

Engine::Engine(Form& form, Random& random)
    : m_form{form}
    , m_random{random}
    , m_canvas(kCanvasBytes + kSlack, 0)
    , m_slots(static_cast<std::size_t>(kFigureSlots) * kFigureWords, 0)
{
}

LoadResult Engine::LoadTables(const std::filesystem::path& programDir)
{
    TableData tables;
    const std::pair<const char*, std::vector<std::int32_t>*> files[]{
        {kFadeFile, &tables.fadePixels}, {kWedgeFile, &tables.wedgeMap}, {kFigureFile, &tables.figures}};
    const std::size_t expected[]{kFadeCount, kWedgeCount, kLibraryWords};
    for (std::size_t f = 0; f < 3; ++f) {
        const char* name = files[f].first;
        // One byte more than the table's size tells a longer file without reading all of it.
        const std::optional<Bytes> bytes = ReadFileBytes(programDir / name, expected[f] * 4 + 1);
        if (!bytes)
            return {false, std::string{"Не найден файл таблицы узоров "} + name + ". Калейдоскоп не будет работать."};
        if (bytes->size() != expected[f] * 4) {
            std::error_code ec;
            const std::uintmax_t size = std::filesystem::file_size(programDir / name, ec);
            return {false,
                Damaged(name,
                    "в нём " + std::to_string(ec ? bytes->size() : size) + " байт, а должно быть "
                        + std::to_string(expected[f] * 4) + ".")};
        }
        std::vector<std::int32_t>& out = *files[f].second;
        out.resize(expected[f]);
        for (std::size_t i = 0; i < expected[f]; ++i) {
            const std::uint8_t* b = bytes->data() + 4 * i;
            out[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8
                | static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
        }
    }
    return LoadTables(tables);
}

LoadResult Engine::LoadTables(const TableData& tables)
{
    if (auto error = CheckTables(tables))
        return {false, *error + " Калейдоскоп не будет работать."};
    m_fadePixels = tables.fadePixels;
    m_wedgeMap = tables.wedgeMap;
    m_library = tables.figures;
    m_frameMap.Build(m_wedgeMap);
    std::fill(m_canvas.begin(), m_canvas.end(), std::uint8_t{0});
    std::fill(m_slots.begin(), m_slots.end(), 0);
    m_burstCounter = 0;
    m_ready = true;
    return {true, {}};
}

std::span<std::int32_t, kFigureWords> Engine::Figure(int slot)
{
    return std::span<std::int32_t, kFigureWords>{
        m_slots.data() + static_cast<std::size_t>(slot) * kFigureWords, kFigureWords};
}

std::span<const std::int32_t, kFigureWords> Engine::Figure(int slot) const
{
    return std::span<const std::int32_t, kFigureWords>{
        m_slots.data() + static_cast<std::size_t>(slot) * kFigureWords, kFigureWords};
}

int Engine::LibraryKind(int record) const
{
    if (!m_ready || record < 0 || record >= kLibraryFigures)
        return 0;
    return m_library[static_cast<std::size_t>(record) * kFigureWords + kKind];
}

void Engine::CopyFigure(int record, int slot)
{
    if (!m_ready || record < 0 || record >= kChoosableFigures || slot < 0 || slot >= kFigureSlots)
        return;
    const std::int32_t* source = m_library.data() + static_cast<std::size_t>(record) * kFigureWords;
    std::copy(source, source + source[kLength], Figure(slot).begin());
}

void Engine::Fade(int aBlue, int bBlue, int aGreen, int bGreen, int aRed, int bRed)
{
    if (!m_ready)
        return;
    // One table per channel turns the per-byte division into a look-up.
    std::array<std::array<std::uint8_t, 256>, 3> scaled{};
    const int factors[3][2]{{aBlue, bBlue}, {aGreen, bGreen}, {aRed, bRed}};
    for (int k = 0; k < 3; ++k)
        for (int v = 0; v < 256; ++v)
            scaled[static_cast<std::size_t>(k)][static_cast<std::size_t>(v)]
                = static_cast<std::uint8_t>(v * factors[k][0] / factors[k][1]);
    std::uint8_t* canvas = m_canvas.data();
    for (const std::int32_t p : m_fadePixels) {
        canvas[p] = scaled[0][canvas[p]];
        canvas[p + 1] = scaled[1][canvas[p + 1]];
        canvas[p + 2] = scaled[2][canvas[p + 2]];
    }
}

void Engine::FinishFrame()
{
    if (!m_ready)
        return;
    if (m_form.Razmazat.checked) {
        FoldBack();
        BlurCentre();
        BlurCentre();
    }
    if (m_form.Utiug.checked) {
        if (m_form.TemplateTick % 3 == 0) {
            FoldBack();
            BlurCentre();
        }
        SmoothFigures();
    }
    const int mark = m_form.channels.Speed(m_form.TemplateTick);
    if (m_form.NoTemplate) {
        if (mark <= 21 && m_burstCounter == 0)
            return;
        if (++m_burstCounter > 3)
            m_burstCounter = 0;
        PresentFrame();
    } else if (m_form.MotionOff) {
        if (mark > 21)
            PresentFrame();
    } else {
        PresentFrame();
    }
}

void Engine::PresentFrame()
{
    if (!m_ready)
        return;
    m_frameMap.Present(m_canvas.data(), m_form.surface);
    ++m_form.surface.revision;
}

} // namespace kalvotune::kaleidoscope
