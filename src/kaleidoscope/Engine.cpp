#include "kaleidoscope/Engine.hpp"

#include "core/FileIO.hpp"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
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

ZeroedBytes::ZeroedBytes(std::size_t size)
    : m_size{size}
{
    Clear();
}

void ZeroedBytes::Clear()
{
    m_bytes.reset();
    m_bytes.reset(static_cast<std::uint8_t*>(std::calloc(m_size, 1)));
    if (!m_bytes)
        throw std::bad_alloc{};
}

void ZeroedBytes::Free::operator()(std::uint8_t* bytes) const
{
    std::free(bytes);
}

Engine::Engine(PatternInputs inputs, Random& random)
    : m_inputs{inputs}
    , m_random{random}
    , m_canvas(kCanvasBytes + kSlack)
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
        const std::filesystem::path file = programDir / name;
        std::error_code ec;
        const std::uintmax_t size = IsFile(file) ? std::filesystem::file_size(file, ec) : 0;
        if (!IsFile(file) || ec)
            return {false, std::string{"Не найден файл таблицы узоров "} + name + ". Калейдоскоп не будет работать."};
        if (size != expected[f] * 4)
            return {false,
                Damaged(name,
                    "в нём " + std::to_string(size) + " байт, а должно быть " + std::to_string(expected[f] * 4) + ".")};
        // Straight into the words: 2 MB read once, not copied from a byte buffer.
        std::vector<std::int32_t>& out = *files[f].second;
        out.resize(expected[f]);
        const ReadResult read
            = ReadFileInto(file, {reinterpret_cast<std::uint8_t*>(out.data()), out.size() * sizeof(std::int32_t)});
        if (read.status == ReadResult::Status::Missing)
            return {false, std::string{"Не найден файл таблицы узоров "} + name + ". Калейдоскоп не будет работать."};
        if (!read.ok())
            return {false, read.message + ". Калейдоскоп не будет работать."};
        if constexpr (std::endian::native == std::endian::big) {
            for (std::int32_t& word : out) {
                const auto u = static_cast<std::uint32_t>(word);
                word = static_cast<std::int32_t>((u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24));
            }
        }
    }
    return LoadTables(std::move(tables));
}

LoadResult Engine::LoadTables(TableData tables)
{
    if (auto error = CheckTables(tables))
        return {false, *error + " Калейдоскоп не будет работать."};
    m_fadePixels = std::move(tables.fadePixels);
    m_wedgeMap = std::move(tables.wedgeMap);
    m_library = std::move(tables.figures);
    m_frameMap.Build(m_wedgeMap);
    m_canvas.Clear();
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
    const PatternState& state = m_inputs.state;
    if (state.smearing) {
        FoldBack();
        BlurCentre();
        BlurCentre();
    }
    if (state.smoothing) {
        if (state.templateTick % 3 == 0) {
            FoldBack();
            BlurCentre();
        }
        SmoothFigures();
    }
    const int mark = m_inputs.channels.Speed(state.templateTick);
    if (state.noTemplate) {
        if (mark <= 21 && m_burstCounter == 0)
            return;
        if (++m_burstCounter > 3)
            m_burstCounter = 0;
        PresentFrame();
    } else if (state.motionOff) {
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
    m_frameMap.Present(m_canvas.data(), m_inputs.surface);
    ++m_inputs.surface.revision;
}

} // namespace kalvotune::kaleidoscope
