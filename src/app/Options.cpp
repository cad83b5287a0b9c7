#include "app/Options.hpp"

#include <string>

namespace kalvotune::app {

namespace {

constexpr const char* kDelayCaption{"Задержка картинки"};
constexpr const char* kDelayPrompt{"На сколько миллисекунд картинка отстает от звука (от -1000 до 1000).\n"
                                   "Беспроводным наушникам обычно нужно 150-250:"};
constexpr const char* kDelayRefused{"Задержка картинки - целое число миллисекунд от -1000 до 1000. Оставлено "};

} // namespace

void AskPictureDelay(Form& form, Services& services)
{
    const std::optional<std::string> input
        = services.dialogs.InputBox(kDelayCaption, kDelayPrompt, std::to_string(form.PictureDelayMs));
    if (!input)
        return;
    const std::optional<int> delay = ParsePictureDelay(*input);
    if (!delay) {
        services.dialogs.ShowMessage(kDelayRefused + std::to_string(form.PictureDelayMs) + ".");
        return;
    }
    form.PictureDelayMs = *delay;
    const std::filesystem::path file = form.ProgramDir / kOptionsFileName;
    Options options = ReadOptions(file);
    options.pictureDelayMs = *delay;
    if (const WriteResult written = WriteOptions(file, options); !written.ok)
        services.dialogs.ShowMessage(written.message);
}

void SaveAutoMusicTemplates(Form& form, Services& services)
{
    const std::filesystem::path file = form.ProgramDir / kOptionsFileName;
    Options options = ReadOptions(file);
    options.autoMusicTemplates = form.AutoMusicTemplatesItem.checked ? 1 : 0;
    if (const WriteResult written = WriteOptions(file, options); !written.ok)
        services.dialogs.ShowMessage(written.message);
}

} // namespace kalvotune::app
