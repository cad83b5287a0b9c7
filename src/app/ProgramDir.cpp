#include "app/ProgramDir.hpp"

#include "app/UserDataDir.hpp"

namespace kalvotune::app {

std::filesystem::path ResolveProgramDir(const std::filesystem::path& startDir, const std::filesystem::path& exeDir)
{
    return ChooseProgramDir(startDir, exeDir, {}, [](const std::filesystem::path&) { return true; }).dir;
}

void RemoveWriteLeftoversIn(const std::filesystem::path& programDir)
{
    namespace fs = std::filesystem;
    for (const char* folder : {"", "Lists", "ScreenShot", "Data"})
        RemoveWriteLeftovers(programDir / folder);
    std::error_code ec;
    const fs::path data = programDir / "Data";
    for (fs::directory_iterator it{data, ec}, end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->symlink_status(typeError).type() == fs::file_type::directory)
            RemoveWriteLeftovers(it->path());
    }
}

} // namespace kalvotune::app
