#include "cli/VideoCommand.hpp"

#include "core/OptionsFile.hpp"

#include <algorithm>

namespace kalvotune::cli {

namespace fs = std::filesystem;

video::VideoLook SavedLook(const SavedSettings& saved, const Options& options)
{
    video::VideoLook look;
    look.mode = saved.mode;
    look.autoModes = saved.autoModes == 1;
    // The window runs the auto-mode slider's handler, which sets the interval, only when
    // the stored position moves the slider from where it starts; otherwise the auto-mode
    // timer keeps its own initial interval.
    const int autoModeMs = std::clamp(saved.autoModeSlider, kShortestAutoModeMs, kLongestAutoModeMs);
    if (autoModeMs != SavedSettings{}.autoModeSlider)
        look.autoIntervalMs = autoModeMs;
    // The figure items are one radio group: "авто" stays ticked only when no figure item
    // after it in the file is ticked too.
    look.autoFigureType = saved.autoFigureType != 0 && saved.figureBalls == 0 && saved.figureBallsPlus == 0
        && saved.figureCasual == 0 && saved.figureMicro == 0 && saved.figureMicroPlus == 0;
    look.smoothing = saved.smoothing != 0;
    look.smearing = saved.smearing != 0;
    look.motionOff = saved.motionOff != 0;
    look.pictureDelayMs = options.pictureDelayMs;
    look.musicTemplates = options.autoMusicTemplates != 0;
    look.pictureChangeTicks = std::clamp(saved.pictureChangeSlider, kFewestPictureChangeTicks, kMostPictureChangeTicks);
    return look;
}

int RunVideoCommand(const fs::path& programDir, const VideoCommandRequest& request, std::uint32_t drawnSeed,
    std::ostream& out, std::ostream& err, const video::VideoExporter& exportVideo)
{
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
    job.fit = request.fit;
    job.seed = request.seed.value_or(drawnSeed);
    job.look = SavedLook(ReadSettings(programDir / kSettingsFileName), ReadOptions(programDir / kOptionsFileName));
    out << "seed " << job.seed << '\n' << std::flush;
    const video::VideoResult result = exportVideo(job, {}, {});
    if (!result.ok) {
        err << result.message << '\n';
        return 1;
    }
    out << job.output.string() << '\n';
    return 0;
}

} // namespace kalvotune::cli
