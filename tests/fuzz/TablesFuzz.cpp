// The three pattern tables through the loader's checks; tables it accepts are then drawn
// with, in every mode, so a check that lets a bad offset through shows as a crash.
// Input: the raw `MassP1.kvt` when it starts with "RAW"; otherwise patches of 9 bytes
// (table, index, value) over the shipped tables.
#include "app/PatternCommands.hpp"
#include "fuzz/FuzzSupport.hpp"
#include "kaleidoscope/Engine.hpp"
#include "kaleidoscope/Scheduler.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"

#include "PatternTables.hpp"

using namespace kalvotune;
namespace fs = std::filesystem;

namespace {

std::uint32_t Word(const std::uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const kaleidoscope::TableData shipped = tables::BuildTables();
    static const testing::TempDir dir;
    // The form and the engine are large; loading replaces every table and clears the canvas.
    static testing::FakeServices fakes;
    static Form form;
    static kaleidoscope::Engine engine{form.Pattern(), fakes.random};
    static kaleidoscope::Scheduler scheduler{engine, fakes.device, fakes.random};
    static app::PatternCommands commands{form, fakes.device, engine, scheduler};
    fakes.dialogs.ForgetRecords();

    if (size >= 3 && fuzz::AsText(data, 3) == "RAW") {
        // The file reader: a damaged first table must be refused with a message.
        fuzz::PutFile(dir.Path() / kaleidoscope::Engine::kFadeFile, fuzz::AsText(data + 3, size - 3));
        static bool written = false;
        if (!written) {
            for (const auto& [name, words] : {std::pair{kaleidoscope::Engine::kWedgeFile, &shipped.wedgeMap},
                     std::pair{kaleidoscope::Engine::kFigureFile, &shipped.figures}}) {
                fuzz::PutFile(dir.Path() / name, tables::ToFileBytes(*words));
            }
            written = true;
        }
        const kaleidoscope::LoadResult result = engine.LoadTables(dir.Path());
        fuzz::Require(result.ok == result.message.empty(), "a refused table without a message");
        if (!result.ok)
            return 0;
    } else {
        kaleidoscope::TableData tables = shipped;
        std::vector<std::int32_t>* lists[]{&tables.fadePixels, &tables.wedgeMap, &tables.figures};
        for (std::size_t at = 0; at + 9 <= size; at += 9) {
            std::vector<std::int32_t>& list = *lists[data[at] % 3];
            const std::uint32_t index = Word(data + at + 1);
            const auto value = static_cast<std::int32_t>(Word(data + at + 5));
            // Figure records are small: most patches aim at the words in use.
            const std::size_t target = data[at] % 3 == 2
                ? (index >> 16) % kaleidoscope::kLibraryFigures * kaleidoscope::kFigureWords + (index & 0xFFFF) % 64
                : index % list.size();
            list[target] = value;
        }
        const kaleidoscope::LoadResult result = engine.LoadTables(tables);
        fuzz::Require(result.ok == result.message.empty(), "a refused table without a message");
        if (!result.ok)
            return 0;
    }

    // Accepted tables: every mode and figure type must stay inside the canvas.
    fakes.device.AddFile("track", 600'000);
    fakes.device.Open("track");
    form.channels.Reset(6000);
    for (std::size_t i = 0; i < form.channels.speed.size(); ++i) {
        form.channels.speed[i] = static_cast<std::uint8_t>(i * 7 % 44);
        form.channels.blue[i] = static_cast<std::uint8_t>(i % 13 == 0 ? 1 : 200);
        form.channels.red[i] = static_cast<std::uint8_t>(i % 5 == 0 ? 255 : 90);
        form.channels.green[i] = static_cast<std::uint8_t>(i * 3);
    }
    form.SmoothingItem.checked = size % 2 == 0;
    form.SmearingItem.checked = !form.SmoothingItem.checked;
    const auto timers = form.PatternTimers();
    for (std::size_t mode = 0; mode < timers.size(); ++mode) {
        form.FigureType = static_cast<std::uint8_t>(mode % 5);
        form.ModeNumber = static_cast<int>(mode);
        scheduler.SelectFigures();
        fakes.device.Seek(static_cast<std::int64_t>(mode * 4000));
        fakes.device.Play();
        fakes.device.Advance(100);
        commands.OnPatternTick(*timers[mode]);
    }
    return 0;
}
