#include "app/SaveVideo.hpp"

#include "playlists/CurrentList.hpp"
#include "playlists/ListLine.hpp"

#include <algorithm>
#include <array>

namespace kalvotune::app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNoTrack{"Выберите трек в списке или включите его: видео делается из трека."};
constexpr const char* kBusy{"Видео уже записывается. Дождитесь конца или отмените запись."};
constexpr const char* kSaveCaption{"Сохранить видео…"};
// The shapes the dialog offers, stretched first as the window shows the picture full screen.
constexpr std::array kShapes{"растянуть на весь кадр", "обрезать, сохранив пропорции", "целиком, с чёрными полями"};
constexpr std::array kFits{video::VideoFit::Stretch, video::VideoFit::Crop, video::VideoFit::Pad};

} // namespace

video::VideoLook LookOf(const Form& form)
{
    video::VideoLook look;
    look.mode = form.ModeNumber;
    look.figureType = form.FigureType;
    look.autoModes = form.AutoModeTimer.enabled;
    look.autoIntervalMs = form.AutoModeTimer.interval;
    look.autoFigureType = form.AutoFiguresItem.checked;
    look.smoothing = form.SmoothingItem.checked;
    look.smearing = form.SmearingItem.checked;
    look.motionOff = form.MotionOff;
    look.pictureDelayMs = form.PictureDelayMs;
    look.musicTemplates = form.AutoMusicTemplatesItem.checked;
    look.pictureChangeTicks = form.PictureRateSlider.position;
    return look;
}

SaveVideo::SaveVideo(Form& form, Services& services)
    : m_form{form}
    , m_services{services}
{
}

fs::path SaveVideo::TrackToSave() const
{
    const std::vector<std::string> tracks = playlists::SelectedOrPlayingTracks(m_form);
    return tracks.empty() ? fs::path{} : fs::path{tracks.front()};
}

void SaveVideo::ChooseFileAndSaveVideo()
{
    if (m_runner == nullptr)
        return;
    const fs::path track = TrackToSave();
    if (track.empty()) {
        m_services.dialogs.ShowMessage(kNoTrack);
        return;
    }
    const std::optional<VideoFileChoice> chosen = m_services.dialogs.SaveVideoFile(
        playlists::TrackTitleOf(track.string()) + ".mp4", {kShapes.begin(), kShapes.end()});
    if (!chosen)
        return;
    const fs::path output = video::WithVideoExtension(chosen->file);
    if (const std::string overTrack = video::CheckVideoTarget(track, output); !overTrack.empty()) {
        m_services.dialogs.ShowMessage(overTrack);
        return;
    }
    if (video::VideoTargetExists(output)
        && !m_services.dialogs.AskYesNo("Файл " + output.string() + " уже есть. Заменить его видео?", kSaveCaption))
        return;
    video::VideoRequest request;
    request.programDir = m_form.ProgramDir;
    request.track = track;
    request.output = output;
    request.fit = kFits[static_cast<std::size_t>(std::clamp(chosen->shape, 0, static_cast<int>(kFits.size()) - 1))];
    // What the window shows full screen: the screen's own pixels, even sides for the encoder.
    const int width = m_services.screen.PhysicalWidth();
    const int height = m_services.screen.Width() > 0
        ? static_cast<int>(static_cast<std::int64_t>(m_services.screen.Height()) * width / m_services.screen.Width())
        : 0;
    if (width >= video::kMinSide && height >= video::kMinSide) {
        request.format.width = std::min(width, video::kMaxWidth) & ~1;
        request.format.height = std::min(height, video::kMaxHeight) & ~1;
    }
    request.seed = static_cast<std::uint32_t>(m_services.clock.UnixSeconds());
    request.look = LookOf(m_form);
    if (!m_runner->Run(std::move(request)))
        m_services.dialogs.ShowMessage(kBusy);
}

void SaveVideo::Finished(const fs::path& output, const video::VideoResult& result)
{
    if (result.ok)
        m_services.dialogs.ShowMessage("Видео записано: " + output.string());
    else if (!result.cancelled)
        m_services.dialogs.ShowMessage(result.message);
}

} // namespace kalvotune::app
