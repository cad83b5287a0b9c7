#include "template_commands/Recording.hpp"

#include "core/AudioDevice.hpp"
#include "core/FileIO.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Registry.hpp"
#include "playlists/TemplateRegistration.hpp"
#include "templates/TemplateFolders.hpp"
#include "templates/TemplateLoader.hpp"

#include <algorithm>

namespace kalvotune::template_commands {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStartQuestion{
    "Для создания ШНК нажимайте под музычку любую клавишу в нужный Вам момент. В конце трека новый шаблон будет "
    "сохранен и подключен. Пробуем? "};
constexpr const char* kStartCaption{"  Создание шаблона неподвижных картинок (ШНК) "};
constexpr const char* kDeclinedHead{" ...и верно!  На "};
constexpr const char* kDeclinedTail{" почти все есть. Пожелания о ЦМШ - пишите в книгу гостей (страница Загрузки) "};
constexpr const char* kRecordingSuffix{" (Внимание! Пишем ЦМШ)"};
constexpr const char* kFolderGoneHead{"Нет папки <"};
constexpr const char* kFolderGoneTail{
    "> с шаблонами.  Заведем новую с новым ШНК. Остальные шаблоны (если они были) искать нет желания. "};
constexpr const char* kSaved{" OK! "};
constexpr const char* kNotSaved{" Шаблон не сохранен."};
constexpr const char* kSynchronisationHint{
    "Если картинка отстает или опережает, Жмите кнопки в нижнем правом углу окна. Смелее. В конце трека Вы сможете "
    "отказаться сохранить изменения шаблона"};

constexpr std::uint8_t kMarkerStep{22};
constexpr std::uint8_t kLastSpeed{21};
constexpr std::uint8_t kClearedMarker{2};

bool IsFolder(const fs::path& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

bool IsEmptyFolder(const fs::path& path)
{
    std::error_code ec;
    return fs::is_empty(path, ec) && !ec;
}

} // namespace

Recording::Recording(Form& form, Services& services, playback::Player& player)
    : m_form{form}
    , m_services{services}
    , m_player{player}
{
}

bool Recording::Playing() const
{
    return m_services.device.Mode() == DeviceMode::Playing;
}

void Recording::ToggleTemplateRecording()
{
    Form& f = m_form;
    if (m_services.device.Mode() != DeviceMode::Stopped)
        m_player.StopTrack();
    f.BuildButton.enabled = false;
    f.PictureRateSlider.visible = false;
    f.PlayButton.enabled = false;
    if (!m_services.dialogs.AskYesNo(kStartQuestion, kStartCaption)) {
        m_services.dialogs.ShowMessage(kDeclinedHead + std::string{kWebSiteAddress} + kDeclinedTail);
        f.PlayButton.enabled = true;
        return;
    }

    m_player.PlayOrNext();
    // With nothing selected the player defers a random pick by one timer tick; the
    // recording needs its track now, so the pick is made here.
    if (f.NextTrackTimer.enabled)
        m_player.OnNextTrackDue();
    if (!Playing()) {
        // The track could not start (its messages were shown): a recording without a
        // track would leave Play disabled with nothing to stop.
        f.PlayButton.enabled = true;
        return;
    }

    // Starting the track shows the picture-change slider of a track without template;
    // moving it would rewrite the speed channel and wipe the presses made so far.
    f.PictureRateSlider.visible = false;
    f.caption = f.CaptionPrefix + "        " + f.TrackTitle + kRecordingSuffix;
    for (std::uint8_t& speed : f.channels.speed)
        if (speed > kLastSpeed)
            speed = kClearedMarker;
    f.keyPreview = true;
    f.BuildButton.tag = 1;
}

void Recording::OnRecordingKey()
{
    const int tick = m_form.TemplateTick;
    std::vector<std::uint8_t>& speed = m_form.channels.speed;
    if (tick < 0 || tick >= m_form.channels.Length() || static_cast<std::size_t>(tick) >= speed.size())
        return;
    speed[static_cast<std::size_t>(tick)] += kMarkerStep;
}

void Recording::SaveStillTemplate()
{
    Form& f = m_form;
    Dialogs& dialogs = m_services.dialogs;
    const std::string track = f.CurrentTrackName.string();
    if (!playlists::FitsListLine(track)) {
        dialogs.ShowMessage(playlists::UnlistableTracksMessage({track}));
        return;
    }
    playlists::ListReadResult registry = playlists::ReadRegistryWorkList(playlists::RegistryFile(f.ProgramDir));
    if (!registry.ok() && !registry.missing()) {
        // Writing the registry back now would lose the lines that could not be read.
        dialogs.ShowMessage(registry.message + kNotSaved);
        return;
    }
    const std::vector<std::string> read{registry.lines};
    std::vector<std::string>& lines = registry.lines;

    const auto line = std::find_if(
        lines.begin(), lines.end(), [&track](const std::string& l) { return playlists::LinePath(l) == track; });
    if (line != lines.end()) {
        // The folder the registry names now, not `TemplateName` as looked up when the track
        // started: a template made from the music, or by another start of the program,
        // may have been registered while the track was recorded. Its line and folder stay,
        // and the recorded picture changes go into it.
        const std::string registered = playlists::LineTemplate(*line);
        const fs::path folder = templates::TemplateFolderOf(f.ProgramDir, registered);
        if (IsFolder(folder)) {
            // The template's other files stay as they are; only the picture changes move.
            if (const WriteResult written = WriteFileAtomically(folder / templates::kSpeedFile, f.channels.speed);
                !written.ok)
                dialogs.ShowMessage(written.message + kNotSaved);
            return;
        }
        dialogs.ShowMessage(kFolderGoneHead + registered + kFolderGoneTail);
        lines.erase(line);
    }

    const fs::path data = f.ProgramDir / playlists::kDataFolder;
    playlists::TemplateRegistration registration{f.ProgramDir};
    const templates::TemplateFolderResult made = templates::MakeTemplateFolder(
        data, f.TrackTitle, m_services.random, std::nullopt, registration.AnnounceFor(track));
    if (!made.ok) {
        dialogs.ShowMessage(made.message + kNotSaved);
        return;
    }
    const fs::path folder = data / made.name;
    const WriteResult speed = WriteFileAtomically(folder / templates::kSpeedFile, f.channels.speed);
    if (!speed.ok) {
        dialogs.ShowMessage(speed.message + kNotSaved);
        // A folder holding a template moved in from `Data` keeps its registry line, so
        // the move loses nothing; an empty one goes.
        if (IsEmptyFolder(folder)) {
            templates::DeleteFolderTree(folder);
            return;
        }
    }
    playlists::AddRegistryLine(lines, "*" + track + "*" + made.name + "*");
    if (const WriteResult written = playlists::WriteRegistry(f.ProgramDir, read, lines); !written.ok) {
        dialogs.ShowMessage(written.message + kNotSaved);
        return;
    }
    registration.Registered();
    if (speed.ok)
        dialogs.ShowMessage(kSaved);
}

void Recording::SaveSynchronisedTemplate()
{
    Form& f = m_form;
    const fs::path folder = templates::TemplateFolderOf(f.ProgramDir, f.TemplateName);
    if (!IsFolder(folder))
        return;
    const TemplateChannels& c = f.channels;
    const WriteResult written = WriteFilesTogether(
        {{folder / templates::kSpeedFile, BytesView(c.speed)}, {folder / templates::kGreenFile, BytesView(c.green)},
            {folder / templates::kBlueFile, BytesView(c.blue)}, {folder / templates::kRedFile, BytesView(c.red)}});
    if (!written.ok)
        m_services.dialogs.ShowMessage(written.message + kNotSaved);
}

void Recording::ToggleTemplateSync()
{
    Form& f = m_form;
    if (f.SyncTemplateItem.checked) {
        f.SyncTemplateItem.checked = false;
        f.ButtonBack.visible = false;
        f.ButtonAhead.visible = false;
        return;
    }
    f.SyncTemplateItem.checked = true;
    f.ButtonBack.visible = true;
    f.ButtonAhead.visible = true;
    m_services.dialogs.ShowMessage(kSynchronisationHint);
}

void Recording::ShiftTemplateBack()
{
    if (!Playing())
        return;
    TemplateChannels& c = m_form.channels;
    for (std::vector<std::uint8_t>* channel : {&c.blue, &c.green, &c.red, &c.speed}) {
        if (channel->empty())
            continue;
        std::copy_backward(channel->begin(), channel->end() - 1, channel->end());
        channel->front() = 0;
    }
}

void Recording::ShiftTemplateAhead()
{
    if (!Playing())
        return;
    TemplateChannels& c = m_form.channels;
    for (std::vector<std::uint8_t>* channel : {&c.blue, &c.green, &c.red, &c.speed}) {
        if (channel->empty())
            continue;
        std::copy(channel->begin() + 1, channel->end(), channel->begin());
        channel->back() = 0;
    }
}

} // namespace kalvotune::template_commands
