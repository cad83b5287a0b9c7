#include "app/ProgramDir.hpp"

#include "core/FileIO.hpp"

namespace kalvotune::app {

std::filesystem::path ResolveProgramDir(const std::filesystem::path& startDir, const std::filesystem::path& exeDir)
{
    return IsFile(startDir / "MassP1.kvt") ? startDir : exeDir;
}

} // namespace kalvotune::app
