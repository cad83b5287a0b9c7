#include "template_commands/Installation.hpp"

#include "playlists/CurrentList.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Registry.hpp"
#include "playlists/TemplateRegistration.hpp"
#include "templates/TemplateFolders.hpp"

#include <vector>

namespace kalvotune::template_commands {

namespace fs = std::filesystem;

namespace {

constexpr const char* kInstallHint{
    "   Вы поместили папки с шаблонами в ...\\Kalvotune\\Data?  Имена ЦМШ(папка) и трека (без учета расширения MP3 и "
    "т.п.) совпадают?  Если нет, на следующем шаге нажмите кнопку 'Отмена' !!!"};
constexpr const char* kNoFolderQuestion{
    "В моей папке <Data> ЦМШ с таким именем нет. Проверьте регистр буковок, количество пробелов и т.п.Можно "
    "продолжить дальше, если Вы устанавливаете пакетом"};
constexpr const char* kNoFolderCaption{"ВНИМАНИЕ"};
constexpr const char* kNotInstalled{" Шаблоны не установлены."};

} // namespace

std::optional<std::string> HandedOutFolder(const fs::path& dataDir, const std::string& title)
{
    if (!templates::IsPlainFolderName(title))
        return std::nullopt;
    std::error_code ec;
    if (fs::is_directory(dataDir / title, ec))
        return title;
    // Folders copied from a file system that ignores letter case may differ in it; only
    // an unambiguous match is taken.
    std::optional<std::string> match;
    for (fs::directory_iterator it{dataDir, ec}, end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        const std::string name = it->path().filename().string();
        if (!it->is_directory(typeError) || !SameTextIgnoringCase(name, title))
            continue;
        if (match)
            return std::nullopt;
        match = name;
    }
    return match;
}

void InstallTemplateFolders(Form& form, Services& services)
{
    Dialogs& dialogs = services.dialogs;
    dialogs.ShowMessage(kInstallHint);
    const std::vector<fs::path> files = dialogs.OpenAudioFiles(true);
    if (files.empty() || playlists::DialogFilesMissing(files, dialogs))
        return;

    playlists::ListReadResult registry = playlists::ReadRegistryWorkList(playlists::RegistryFile(form.ProgramDir));
    if (!registry.ok() && !registry.missing()) {
        dialogs.ShowMessage(registry.message + kNotInstalled);
        return;
    }
    const std::vector<std::string> read{registry.lines};

    const fs::path data = form.ProgramDir / playlists::kDataFolder;
    playlists::TemplateRegistration registration{form.ProgramDir};
    for (const fs::path& file : files) {
        const std::string track = file.string();
        const std::string title = playlists::TrackTitleOf(track);
        const std::optional<std::string> folder = HandedOutFolder(data, title);
        if (!folder) {
            if (!dialogs.AskYesNo(kNoFolderQuestion, kNoFolderCaption))
                break;
            continue;
        }
        if (!playlists::FitsListLine(track)) {
            dialogs.ShowMessage(playlists::UnlistableTracksMessage({track}));
            continue;
        }
        const templates::TemplateFolderResult made
            = templates::MakeTemplateFolder(data, title, services.random, folder, registration.AnnounceFor(track));
        if (!made.ok) {
            dialogs.ShowMessage(made.message);
            continue;
        }
        playlists::AddRegistryLine(registry.lines, "*" + track + "*" + made.name + "*");
    }

    if (const WriteResult written = playlists::WriteRegistry(form.ProgramDir, read, registry.lines); !written.ok) {
        dialogs.ShowMessage(written.message);
        return;
    }
    // Only now that the registry names the new folders do the handed-out ones go.
    registration.Registered();
}

} // namespace kalvotune::template_commands
