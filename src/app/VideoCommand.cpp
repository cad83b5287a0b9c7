#include "app/VideoCommand.hpp"

#include "app/Options.hpp"
#include "app/SaveVideo.hpp"
#include "app/Settings.hpp"
#include "core/Form.hpp"

#include <charconv>
#include <string_view>
#include <tuple>

namespace kalvotune::app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage{
    "Укажите трек и файл: kalvotune --video ТРЕК --output ФАЙЛ.mp4 [--size ШxВ] [--fps N] [--seed S] [--overwrite]"};

template <typename Number> bool ParseNumber(std::string_view text, Number& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc{} && end == text.data() + text.size();
}

/// The saved picture settings, as the window applies them at start.
video::VideoLook SavedLook(const fs::path& programDir)
{
    Form form;
    form.Settings = ReadSettings(programDir / kSettingsFileName, form);
    ApplySettings(form, {{}, [&form] { form.Timer3.interval = form.TrackBar2.position; }});
    form.Timer3.enabled = form.Settings[12] == 1;
    const Options options = ReadOptions(programDir / kOptionsFileName);
    form.PictureDelayMs = options.pictureDelayMs;
    form.AutoMusicTemplate.checked = options.autoMusicTemplates != 0;
    video::VideoLook look = LookOf(form);
    look.figureType.reset();
    return look;
}

} // namespace

bool ParseVideoRequest(int argc, const char* const argv[], VideoCommandRequest& request)
{
    if (argc < 2 || std::string_view{argv[1]} != "--video")
        return false;
    request = {};
    for (int i = 2; i < argc; ++i) {
        const std::string_view option{argv[i]};
        const bool hasValue = i + 1 < argc;
        const std::string_view value = hasValue ? argv[i + 1] : "";
        if (option == "--output" && hasValue) {
            request.output = value;
        } else if (option == "--size" && hasValue) {
            const auto size = video::ParseVideoSize(value);
            if (!size)
                request.error = "Такой размер видео не годится: " + std::string{value}
                    + ". Пишите ШИРИНАxВЫСОТА, например 1920x1080.";
            else
                std::tie(request.format.width, request.format.height) = *size;
        } else if (option == "--fps" && hasValue) {
            if (!ParseNumber(value, request.format.fps))
                request.error = "Такая частота кадров не годится: " + std::string{value}
                    + ". Можно от 1 до 120 кадров в секунду.";
        } else if (option == "--seed" && hasValue) {
            std::uint32_t seed{};
            if (!ParseNumber(value, seed))
                request.error
                    = "Такое зерно не годится: " + std::string{value} + ". Нужно целое число от 0 до 4294967295.";
            else
                request.seed = seed;
        } else if (option == "--overwrite") {
            request.overwrite = true;
            continue;
        } else if (request.track.empty() && !option.starts_with("--")) {
            request.track = option;
            continue;
        } else {
            request.error = std::string{"Непонятный параметр: "} + std::string{option} + ". " + kUsage;
            continue;
        }
        ++i;
    }
    if (request.error.empty() && (request.track.empty() || request.output.empty()))
        request.error = kUsage;
    if (request.error.empty())
        request.error = video::CheckVideoFormat(request.format);
    return true;
}

int RunVideoCommand(const fs::path& programDir, const VideoCommandRequest& request, std::uint32_t drawnSeed,
    std::ostream& out, std::ostream& err, const video::VideoExporter& exportVideo)
{
    if (!request.error.empty()) {
        err << request.error << '\n';
        return 1;
    }
    video::VideoRequest job;
    job.programDir = programDir;
    std::error_code ec;
    const fs::path track = fs::absolute(request.track, ec);
    job.track = ec ? fs::path{request.track} : track.lexically_normal();
    const fs::path named = video::WithVideoExtension(request.output);
    const fs::path output = fs::absolute(named, ec);
    job.output = ec ? named : output.lexically_normal();
    if (const std::string overTrack = video::CheckVideoTarget(job.track, job.output); !overTrack.empty()) {
        err << overTrack << '\n';
        return 1;
    }
    if (!request.overwrite && video::VideoTargetExists(job.output)) {
        err << "Файл " << job.output.string()
            << " уже есть, видео не записано. Чтобы заменить файл, добавьте --overwrite.\n";
        return 1;
    }
    job.format = request.format;
    job.seed = request.seed.value_or(drawnSeed);
    job.look = SavedLook(programDir);
    out << "seed " << job.seed << '\n' << std::flush;
    const video::VideoResult result = exportVideo(job, {}, {});
    if (!result.ok) {
        err << result.message << '\n';
        return 1;
    }
    out << job.output.string() << '\n';
    return 0;
}

} // namespace kalvotune::app
