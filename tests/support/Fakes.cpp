#include "support/Fakes.hpp"

namespace kalvotune::testing {

bool FakeDialogs::AskYesNo(const std::string& text, const std::string& caption)
{
    questions.push_back(caption + "|" + text);
    if (answers.empty())
        return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::string> FakeDialogs::InputBox(const std::string&, const std::string&, const std::string&)
{
    if (inputs.empty())
        return std::nullopt;
    auto value = inputs.front();
    inputs.pop_front();
    return value;
}

std::vector<std::filesystem::path> FakeDialogs::OpenAudioFiles(bool tracksOnly)
{
    openedTracksOnly.push_back(tracksOnly);
    if (openedFiles.empty())
        return {};
    auto files = openedFiles.front();
    openedFiles.pop_front();
    return files;
}

std::optional<std::filesystem::path> FakeDialogs::SavePlaylistFile(const std::string& suggested)
{
    savePrompts.push_back(suggested);
    if (savedFiles.empty())
        return std::nullopt;
    auto file = savedFiles.front();
    savedFiles.pop_front();
    return file;
}

std::optional<std::filesystem::path> FakeDialogs::ChooseFolder(const std::string&)
{
    if (folders.empty())
        return std::nullopt;
    auto folder = folders.front();
    folders.pop_front();
    return folder;
}

void FakeClock::AdvanceSeconds(int seconds)
{
    unixSeconds += seconds;
    now.second += seconds;
    now.minute += now.second / 60;
    now.second %= 60;
    now.hour += now.minute / 60;
    now.minute %= 60;
}

} // namespace kalvotune::testing
