#include "app/ProgramDir.hpp"

#include "app/UserDataDir.hpp"

namespace kalvotune::app {

std::filesystem::path ResolveProgramDir(const std::filesystem::path& startDir, const std::filesystem::path& exeDir)
{
    return ChooseProgramDir(startDir, exeDir, {}, [](const std::filesystem::path&) { return true; }).dir;
}

} // namespace kalvotune::app
