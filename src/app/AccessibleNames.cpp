#include "app/AccessibleNames.hpp"

#include "playlists/ListLine.hpp"

#include <map>

namespace kalvotune::app {

namespace {

/// Descriptions of the controls that have no hint.
const std::map<std::string, std::string, std::less<>> kDescriptions{
    {"PlayButton", "Воспроизведение, следующий трек"},
    {"PauseButton", "Пауза"},
    {"StopButton", "Стоп"},
    {"StaticText1", "Длительность трека"},
    {"ClockTrack", "Время от начала трека"},
    {"Panel1", "Калейдоскоп"},
    {"Panel2", "Позиция воспроизведения"},
    {"Panel3", "Позиция воспроизведения"},
    {"Image1", "Картинка калейдоскопа"},
    {"ListBox1", "Текущий список"},
    {"ListBox2", "Пути"},
    {"ListBox3", "Мои списки"},
    {"ListBox4", "Рабочий список"},
    {"ListBox5", "Выбор списка для записи"},
};

} // namespace

std::string AccessibleName(const Control& control)
{
    if (!control.hint.empty())
        return control.hint;
    if (const auto found = kDescriptions.find(control.name); found != kDescriptions.end())
        return found->second;
    return control.caption;
}

std::string AccessibleItemText(std::string_view item)
{
    static const std::string pad(static_cast<std::size_t>(playlists::kItemPadWidth), ' ');
    return std::string{item.substr(0, item.find(pad))};
}

} // namespace kalvotune::app
