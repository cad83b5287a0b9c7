// Writes the three pattern tables into the program folder given as the only argument.

#include "PatternTables.hpp"

#include "core/FileIO.hpp"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    using namespace kalvotune;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <program folder>\n", argv[0]);
        return 2;
    }
    const fs::path folder{argv[1]};
    const kaleidoscope::TableData tables = tables::BuildTables();
    const auto faults = tables::FindFaults(tables);
    for (const auto& fault : faults)
        std::fprintf(stderr, "pattern tables: %s\n", fault.c_str());
    if (!faults.empty())
        return 1;

    std::error_code error;
    fs::create_directories(folder, error);
    const std::pair<const char*, const std::vector<std::int32_t>*> files[] = {
        {kaleidoscope::Engine::kFadeFile, &tables.fadePixels},
        {kaleidoscope::Engine::kWedgeFile, &tables.wedgeMap},
        {kaleidoscope::Engine::kFigureFile, &tables.figures},
    };
    for (const auto& [name, values] : files) {
        const WriteResult written = WriteFileAtomically(folder / name, tables::ToFileBytes(*values));
        if (!written.ok) {
            std::fprintf(stderr, "%s\n", written.message.c_str());
            return 1;
        }
    }
    return 0;
}
