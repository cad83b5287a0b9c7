#include "app/CommandLine.hpp"

#include "core/Form.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

namespace kalvotune::app {

namespace {

struct Option {
    std::string_view name;
    bool takesValue{};
};

/// A command and the options it takes after its own argument.
struct Command {
    std::string_view name;
    CommandMode mode;
    std::span<const Option> options;
};

constexpr std::array kAnalyseOptions{Option{"--replace", false}, Option{"--jobs", true}};
constexpr std::array kVideoOptions{Option{"--output", true}, Option{"--size", true}, Option{"--fps", true},
    Option{"--seed", true}, Option{"--overwrite", false}};
constexpr std::array kRelinkOptions{Option{"--dry-run", false}};

constexpr std::array kCommands{
    Command{"--analyse", CommandMode::Analyse, kAnalyseOptions},
    Command{"--video", CommandMode::Video, kVideoOptions},
    Command{"--relink", CommandMode::Relink, kRelinkOptions},
};

bool IsOption(std::string_view argument)
{
    return argument.starts_with("--");
}

const Command* FindCommand(std::string_view name)
{
    const auto found
        = std::find_if(kCommands.begin(), kCommands.end(), [&](const Command& c) { return c.name == name; });
    return found == kCommands.end() ? nullptr : &*found;
}

const Option* FindOption(std::span<const Option> options, std::string_view name)
{
    const auto found = std::find_if(options.begin(), options.end(), [&](const Option& o) { return o.name == name; });
    return found == options.end() ? nullptr : &*found;
}

/// The command an option belongs to, for saying where it goes.
const Command* OwnerOf(std::string_view option)
{
    const auto found = std::find_if(
        kCommands.begin(), kCommands.end(), [&](const Command& c) { return FindOption(c.options, option) != nullptr; });
    return found == kCommands.end() ? nullptr : &*found;
}

CommandLine Mistake(std::string text)
{
    return {CommandMode::Mistake, std::move(text)};
}

} // namespace

CommandLine ReadCommandLine(int argc, const char* const argv[])
{
    const Command* command = argc > 1 ? FindCommand(argv[1]) : nullptr;
    const std::span<const Option> allowed = command ? command->options : std::span<const Option>{};
    std::optional<CommandLine> mistake;
    for (int i = command ? 2 : 1; i < argc; ++i) {
        const std::string_view argument{argv[i]};
        if (argument == "--help")
            return {CommandMode::Help, {}};
        if (argument == "--version")
            return {CommandMode::Version, {}};
        if (!IsOption(argument) || mistake)
            continue;
        if (const Option* option = FindOption(allowed, argument)) {
            i += option->takesValue ? 1 : 0; // a value may look like anything
            continue;
        }
        const std::string name{argument};
        if (FindCommand(argument))
            mistake = Mistake("Ключ " + name + " должен стоять первым.");
        else if (const Command* owner = OwnerOf(argument))
            mistake = Mistake("Ключ " + name + " действует только с " + std::string{owner->name} + ".");
        else
            mistake = Mistake("Неизвестный ключ: " + name);
    }
    if (mistake)
        return *mistake;
    return {command ? command->mode : CommandMode::Window, {}};
}

std::string UsageText()
{
    return "Использование:\n"
           "  kalvotune [ФАЙЛ...]\n"
           "  kalvotune --analyse ФАЙЛ... [--replace] [--jobs N]\n"
           "  kalvotune --video ТРЕК --output ФАЙЛ.mp4 [--size ШxВ] [--fps N] [--seed S] [--overwrite]\n"
           "  kalvotune --relink ПАПКА [--dry-run]\n"
           "  kalvotune --help | --version\n";
}

std::string HelpText()
{
    return std::string{kApplicationTitle}
    + " - цветомузыкальный калейдоскоп: проигрыватель музыки (WMA, MP3, WAV),\n"
      "окно которого заполняет цветной калейдоскоп, следующий за музыкой.\n"
      "\n"
        + UsageText()
        + "\n"
          "  ФАЙЛ...             открыть треки и списки .m3u, .m3u8 в окне, как \"Open\"; если окно\n"
          "                      уже открыто, файлы передаются ему\n"
          "  --analyse ФАЙЛ...   создать ЦМШ по музыке для каждого трека, без окна; строка на трек\n"
          "    --replace         заменять уже имеющиеся ЦМШ (без него они остаются)\n"
          "    --jobs N          сколько треков разбирать одновременно (по умолчанию - по числу ядер)\n"
          "  --video ТРЕК        сохранить калейдоскоп трека с музыкой как видео, без окна\n"
          "    --output ФАЙЛ.mp4 куда записать видео (.mp4 добавляется к имени без расширения)\n"
          "    --size ШxВ        размер кадра (по умолчанию 1920x1080)\n"
          "    --fps N           кадров в секунду (по умолчанию 30)\n"
          "    --seed S          число для случайного выбора (по умолчанию выбирается и печатается)\n"
          "    --overwrite       заменить уже имеющийся файл (но никогда не сам трек)\n"
          "  --relink ПАПКА      найти в папке перемещённые треки списков, \"Былое\" и ЦМШ, без окна\n"
          "    --dry-run         только показать, что изменилось бы\n"
          "  --help              эта справка\n"
          "  --version           версия программы\n"
          "\n"
          "Списки, настройки и ЦМШ хранятся в ~/.local/share/Kalvotune\n"
          "($XDG_DATA_HOME/Kalvotune), куда при первом запуске копируется папка программы.\n"
          "Файл с именем, начинающимся на \"--\", указывайте так: ./--имя\n"
          "\n"
          "Код выхода: 0 - готово, 1 - команда не удалась, 2 - ошибка в командной строке.\n";
}

std::string VersionText()
{
    return std::string{kApplicationTitle} + "\n";
}

std::optional<int> AnswerCommandLine(const CommandLine& command, std::ostream& out, std::ostream& err)
{
    switch (command.mode) {
    case CommandMode::Help:
        out << HelpText();
        return 0;
    case CommandMode::Version:
        out << VersionText();
        return 0;
    case CommandMode::Mistake:
        err << "kalvotune: " << command.mistake << '\n' << UsageText();
        return 2;
    default:
        return std::nullopt;
    }
}

} // namespace kalvotune::app
