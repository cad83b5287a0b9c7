#include "cli/CommandLine.hpp"

#include "core/Form.hpp"
#include "video/VideoExport.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace kalvotune::cli {

namespace {

/// The modes an option can belong to.
enum class Mode { Window, Analyse, Video, Relink, Listen };

/// Every argument read so far, whatever the mode; the mode's part becomes the result.
struct Reading {
    Mode mode{Mode::Window};
    WindowStart window;
    AnalyseRequest analyse;
    VideoCommandRequest video;
    RelinkRequest relink;
    ListenRequest listen;
    bool listenSeconds{}; ///< `--seconds` was given
};

/// Stores an option (and its value) into the reading; the program's message when the
/// value does not fit, empty when it does. A missing value comes as an empty one.
using Store = std::string (*)(Reading&, std::string_view);

struct Command {
    std::string_view name;
    Mode mode;
};

struct Option {
    std::string_view name;
    Mode mode;
    bool takesValue;
    Store store;
};

template <typename Number> bool ParseNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc{} && end == text.data() + text.size();
}

std::string StoreJobs(Reading& reading, std::string_view value)
{
    int jobs{};
    if (!ParseNumber(value, jobs) || jobs < 1 || jobs > kMostJobs)
        return "После --jobs нужно число от 1 до " + std::to_string(kMostJobs) + (value.empty() ? "" : ": ")
            + std::string{value};
    reading.analyse.jobs = jobs;
    return {};
}

std::string StoreOutput(Reading& reading, std::string_view value)
{
    if (value.empty())
        return "После --output нужно имя файла видео.";
    reading.video.output = value;
    return {};
}

std::string StoreSize(Reading& reading, std::string_view value)
{
    const auto size = video::ParseVideoSize(value);
    if (!size)
        return "Такой размер видео не годится: " + std::string{value} + ". Пишите ШИРИНАxВЫСОТА, например 1920x1080.";
    const video::VideoFormat format{size->first, size->second, video::VideoFormat{}.fps};
    if (std::string wrong = video::CheckVideoFormat(format); !wrong.empty())
        return wrong;
    reading.video.format.width = format.width;
    reading.video.format.height = format.height;
    return {};
}

std::string StoreFps(Reading& reading, std::string_view value)
{
    int fps{};
    if (!ParseNumber(value, fps) || fps < 1 || fps > video::kMaxFps)
        return "Такая частота кадров не годится: " + std::string{value} + ". Можно от 1 до 120 кадров в секунду.";
    reading.video.format.fps = fps;
    return {};
}

std::string StoreFit(Reading& reading, std::string_view value)
{
    const std::optional<video::VideoFit> fit = video::ParseVideoFit(value);
    if (!fit)
        return "После --fit нужно stretch, crop или pad" + std::string{value.empty() ? "." : ": "} + std::string{value};
    reading.video.fit = *fit;
    return {};
}

std::string StoreSeed(Reading& reading, std::string_view value)
{
    std::uint32_t seed{};
    if (!ParseNumber(value, seed))
        return "Такое зерно не годится: " + std::string{value} + ". Нужно целое число от 0 до 4294967295.";
    reading.video.seed = seed;
    return {};
}

std::string StoreSeconds(Reading& reading, std::string_view value)
{
    double seconds{};
    if (!ParseNumber(value, seconds) || !(seconds > 0) || seconds > kLongestListenSeconds)
        return "После --seconds нужно число секунд больше нуля (не больше суток)" + std::string{value.empty() ? "" : ": "}
            + std::string{value};
    reading.listen.seconds = seconds;
    reading.listenSeconds = true;
    return {};
}

std::string StoreTemplateFolder(Reading& reading, std::string_view value)
{
    if (value.empty())
        return "После --save-template нужна папка шаблона.";
    reading.listen.folder = value;
    return {};
}

std::string StoreSource(Reading& reading, std::string_view value)
{
    if (value.empty())
        return "После --source нужно имя источника звука.";
    reading.listen.source = value;
    return {};
}

constexpr std::array kCommands{
    Command{"--analyse", Mode::Analyse},
    Command{"--video", Mode::Video},
    Command{"--relink", Mode::Relink},
    Command{"--listen", Mode::Listen},
};

/// The program's options: the one place that says which command takes which option,
/// whether it takes a value and where that value goes.
constexpr std::array kOptions{
    Option{"--replace", Mode::Analyse, false,
        [](Reading& r, std::string_view) {
            r.analyse.replace = true;
            return std::string{};
        }},
    Option{"--jobs", Mode::Analyse, true, StoreJobs},
    Option{"--output", Mode::Video, true, StoreOutput},
    Option{"--size", Mode::Video, true, StoreSize},
    Option{"--fps", Mode::Video, true, StoreFps},
    Option{"--fit", Mode::Video, true, StoreFit},
    Option{"--seed", Mode::Video, true, StoreSeed},
    Option{"--overwrite", Mode::Video, false,
        [](Reading& r, std::string_view) {
            r.video.overwrite = true;
            return std::string{};
        }},
    Option{"--dry-run", Mode::Relink, false,
        [](Reading& r, std::string_view) {
            r.relink.dryRun = true;
            return std::string{};
        }},
    Option{"--seconds", Mode::Listen, true, StoreSeconds},
    Option{"--save-template", Mode::Listen, true, StoreTemplateFolder},
    Option{"--source", Mode::Listen, true, StoreSource},
};

constexpr const char* kAnalyseUsage{"Укажите файлы: kalvotune --analyse ФАЙЛ... [--replace] [--jobs N]"};
constexpr const char* kVideoUsage{"Укажите трек и файл: kalvotune --video ТРЕК --output ФАЙЛ.mp4 [--size ШxВ] "
                                  "[--fps N] [--fit stretch|crop|pad] [--seed S] [--overwrite]"};
constexpr const char* kRelinkUsage{"Укажите папку с музыкой: kalvotune --relink ПАПКА [--dry-run]"};
constexpr const char* kListenUsage{"Запись шаблона с живого звука: kalvotune --listen --seconds N --save-template ПАПКА "
                                   "[--source ИМЯ]"};

const Command* FindCommand(std::string_view name)
{
    const auto found
        = std::find_if(kCommands.begin(), kCommands.end(), [&](const Command& c) { return c.name == name; });
    return found == kCommands.end() ? nullptr : &*found;
}

const Option* FindOption(std::string_view name)
{
    const auto found = std::find_if(kOptions.begin(), kOptions.end(), [&](const Option& o) { return o.name == name; });
    return found == kOptions.end() ? nullptr : &*found;
}

std::string_view CommandName(Mode mode)
{
    const auto found
        = std::find_if(kCommands.begin(), kCommands.end(), [&](const Command& c) { return c.mode == mode; });
    return found == kCommands.end() ? std::string_view{} : found->name;
}

/// Takes an argument that is not an option: a file, a track or a folder, as the mode
/// wants; the message when the mode has no place left for it.
std::string StorePlain(Reading& reading, std::string_view argument)
{
    switch (reading.mode) {
    case Mode::Window:
        reading.window.files.emplace_back(argument);
        return {};
    case Mode::Analyse:
        reading.analyse.files.emplace_back(argument);
        return {};
    case Mode::Video:
        if (!reading.video.track.empty())
            return "Лишний аргумент: " + std::string{argument} + ". Команда --video делает видео из одного трека.";
        reading.video.track = argument;
        return {};
    case Mode::Relink:
        if (!reading.relink.folder.empty())
            return "Лишний аргумент: " + std::string{argument} + ". Команда --relink ищет в одной папке.";
        reading.relink.folder = argument;
        return {};
    case Mode::Listen:
        return "Лишний аргумент: " + std::string{argument} + ". Команда --listen не открывает файлов.";
    }
    return {};
}

/// The mode's result once every argument is read: a mistake when something it needs is missing.
CommandLine Finished(Reading&& reading)
{
    switch (reading.mode) {
    case Mode::Window:
        return std::move(reading.window);
    case Mode::Analyse:
        if (reading.analyse.files.empty())
            return UsageMistake{kAnalyseUsage};
        return std::move(reading.analyse);
    case Mode::Video:
        if (reading.video.track.empty() || reading.video.output.empty())
            return UsageMistake{kVideoUsage};
        return std::move(reading.video);
    case Mode::Relink:
        if (reading.relink.folder.empty())
            return UsageMistake{kRelinkUsage};
        return std::move(reading.relink);
    case Mode::Listen:
        // Without a recording asked for, the window starts listening.
        if (!reading.listenSeconds && reading.listen.folder.empty())
            return WindowStart{.files = {}, .listen = true, .source = std::move(reading.listen.source)};
        if (!reading.listenSeconds || reading.listen.folder.empty())
            return UsageMistake{kListenUsage};
        return std::move(reading.listen);
    }
    return std::move(reading.window);
}

} // namespace

CommandLine ReadCommandLine(int argc, const char* const argv[])
{
    Reading reading;
    int first{1};
    if (const Command* command = argc > 1 ? FindCommand(argv[1]) : nullptr) {
        reading.mode = command->mode;
        first = 2;
    }
    std::optional<std::string> mistake;
    for (int i = first; i < argc; ++i) {
        const std::string_view argument{argv[i]};
        if (argument == "--help")
            return ShowHelp{};
        if (argument == "--version")
            return ShowVersion{};
        if (!argument.starts_with("--")) {
            if (!mistake)
                if (std::string wrong = StorePlain(reading, argument); !wrong.empty())
                    mistake = std::move(wrong);
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const std::optional<std::string_view> joined
            = equals == std::string_view::npos ? std::nullopt : std::optional{argument.substr(equals + 1)};
        const Option* option = FindOption(name);
        // A value that follows its option is the option's, whatever it looks like, even
        // after a mistake (so `--output --help` names a file).
        std::string_view value;
        if (option != nullptr && option->takesValue && !joined && i + 1 < argc)
            value = argv[++i];
        else if (joined)
            value = *joined;
        if (mistake)
            continue;
        if (option == nullptr) {
            if (FindCommand(name) != nullptr)
                mistake = "Ключ " + std::string{name} + " должен стоять первым.";
            else
                mistake = "Неизвестный ключ: " + std::string{name};
        } else if (option->mode != reading.mode) {
            mistake
                = "Ключ " + std::string{name} + " действует только с " + std::string{CommandName(option->mode)} + ".";
        } else if (!option->takesValue && joined) {
            mistake = "Ключ " + std::string{name} + " пишется без значения.";
        } else if (std::string wrong = option->store(reading, value); !wrong.empty()) {
            mistake = std::move(wrong);
        }
    }
    if (mistake)
        return UsageMistake{std::move(*mistake)};
    return Finished(std::move(reading));
}

std::string UsageText()
{
    return "Использование:\n"
           "  kalvotune [ФАЙЛ...]\n"
           "  kalvotune --analyse ФАЙЛ... [--replace] [--jobs N]\n"
           "  kalvotune --video ТРЕК --output ФАЙЛ.mp4 [--size ШxВ] [--fps N] [--fit stretch|crop|pad]\n"
           "            [--seed S] [--overwrite]\n"
           "  kalvotune --relink ПАПКА [--dry-run]\n"
           "  kalvotune --listen [--source ИМЯ]\n"
           "  kalvotune --listen --seconds N --save-template ПАПКА [--source ИМЯ]\n"
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
          "    --fit ВИД         как картинка 675x524 заполняет кадр: stretch - растянуть (как во\n"
          "                      весь экран, по умолчанию), crop - обрезать, сохранив пропорции,\n"
          "                      pad - целиком, с чёрными полями\n"
          "    --seed S          число для случайного выбора (по умолчанию выбирается и печатается)\n"
          "    --overwrite       заменить уже имеющийся файл (но никогда не сам трек)\n"
          "  --relink ПАПКА      найти в папке перемещённые треки списков, \"Былое\" и ЦМШ, без окна\n"
          "    --dry-run         только показать, что изменилось бы\n"
          "  --listen            открыть окно, слушая звук компьютера (\"Слушать звук компьютера\")\n"
          "    --seconds N       без окна: записать N секунд звука как ЦМШ\n"
          "    --save-template ПАПКА  папка, куда записать ЦМШ (Blu.kvt, Green.kvt, Red.kvt, Speed.kvt)\n"
          "    --source ИМЯ      источник звука по имени звукового сервера (по умолчанию - то, что\n"
          "                      играет компьютер)\n"
          "  --help              эта справка\n"
          "  --version           версия программы\n"
          "\n"
          "Значение ключа пишется через пробел или через \"=\": --jobs 2 или --jobs=2.\n"
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
    if (std::holds_alternative<ShowHelp>(command)) {
        out << HelpText();
        return 0;
    }
    if (std::holds_alternative<ShowVersion>(command)) {
        out << VersionText();
        return 0;
    }
    if (const auto* mistake = std::get_if<UsageMistake>(&command)) {
        err << "kalvotune: " << mistake->text << '\n' << UsageText();
        return 2;
    }
    return std::nullopt;
}

} // namespace kalvotune::cli
