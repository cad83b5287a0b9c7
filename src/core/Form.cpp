#include "core/Form.hpp"

namespace kalvotune {

namespace {

void Place(Control& c, const char* name, int left, int top, int width, int height, const char* caption = "",
    const char* hint = "", bool visible = true, bool enabled = true)
{
    c.name = name;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.caption = caption;
    c.hint = hint;
    c.visible = visible;
    c.enabled = enabled;
}

void Item(MenuItem& m, const char* name, const char* caption, const char* shortcut = "", bool autoCheck = false,
    bool checked = false, int radioGroup = 0)
{
    m.name = name;
    m.caption = caption;
    m.shortcut = shortcut;
    m.autoCheck = autoCheck;
    m.checked = checked;
    m.radioGroup = radioGroup;
}

void Separator(MenuItem& m, const char* name)
{
    m.name = name;
    m.caption = "-";
    m.separator = true;
}

void Timer(TimerControl& t, const char* name, int interval)
{
    t.name = name;
    t.interval = interval;
    t.enabled = false;
}

} // namespace

Form::Form()
{
    Place(PlayButton, "PlayButton", 6, 89, 36, 21, "Play");
    Place(PauseButton, "PauseButton", 6, 110, 36, 19, "Pause", "", true, false);
    Place(StopButton, "StopButton", 6, 129, 36, 20, "Stop", "", true, false);
    Place(SpeedButton1, "SpeedButton1", 6, 32, 36, 21, "Auto", "откл/вкл. автосмену граф. реж.");
    Place(SpeedButton5, "SpeedButton5", 12, 175, 24, 24, "1", "переключатель режимов");
    Place(SpeedButton4, "SpeedButton4", 8, 506, 35, 20, "Build", "если нечего делать", true, false);
    Place(SpeedButton10, "SpeedButton10", 746, 32, 36, 21, "Drive", "вкл/откл. движение фигур в узорах");
    Place(SpeedButton11, "SpeedButton11", 745, 89, 36, 21, "My", "мои списки воспроизведения");
    Place(OpenButton, "OpenButton", 746, 109, 36, 21, "Open", "Открыть другую музыку");
    Place(SpeedButton2, "SpeedButton2", 746, 129, 36, 21, "List", "показать/скрыть текущий список");

    Place(Label1, "Label1", 749, 308, 27, 15, "About", "Автора! Автора! 2 раза...");
    Place(TrackBar1, "TrackBar1", 739, 55, 49, 33, "", "Частота смены картинки", false);
    TrackBar1.min = kMinPictureChangeTicks;
    TrackBar1.max = kMaxPictureChangeTicks;
    TrackBar1.position = 20;
    Place(TrackBar2, "TrackBar2", -1, 52, 49, 33, "", "Частота авто-смены режимов", false);
    TrackBar2.min = 1000;
    TrackBar2.max = 20000;
    TrackBar2.position = 6000;
    Place(StaticText1, "StaticText1", 742, 9, 37, 17);
    Place(ClockTrack, "ClockTrack", 12, 9, 37, 17, "", "", false);
    Place(Panel1, "Panel1", 52, 4, 690, 529);
    Place(Panel2, "Panel2", 52, 527, 685, 6);
    Place(Panel3, "Panel3", 0, 2, 1, 3);
    Place(Image1, "Image1", 4, 4, 680, 523);
    Place(ListBox1, "ListBox1", 0, 0, 690, 529);
    ListBox1.sorted = true;
    Place(ListBox2, "ListBox2", 0, 329, 690, 200, "", "", false);
    Place(ListBox3, "ListBox3", 0, 0, 690, 529, "", "", false);
    Place(ListBox4, "ListBox4", 0, 0, 690, 529, "", "", false);
    Place(ListBox5, "ListBox5", 88, 152, 518, 301, "", "", false);
    ListBox5.multiSelect = false;
    Place(ButtonBack, "ButtonBack", 490, 500, 96, 25, "Назад на 0,05 сек", "если картинка опережает звук", false);
    Place(ButtonAhead, "ButtonAhead", 587, 500, 100, 25, "Вперед на 0,05 сек", "Если картинка отстает", false);

    Timer(Timer1, "Timer1", 20);
    Timer(Timer2, "Timer2", 10);
    Timer(Timer3, "Timer3", 5000);
    Timer(Timer4, "Timer4", 400);
    Timer(Timer5, "Timer5", 20);
    Timer(Timer6, "Timer6", 20);
    Timer(Timer7, "Timer7", 20);
    Timer(Timer8, "Timer8", 20);
    Timer(Timer9, "Timer9", 20);
    Timer(Timer10, "Timer10", 20);
    Timer(Timer11, "Timer11", 20);
    Timer(Timer12, "Timer12", 20);
    Timer(Timer13, "Timer13", 20);
    Timer(Timer14, "Timer14", 20);
    Timer(Timer15, "Timer15", 55000);

    Item(N1, "N1", "Открыть", "F9");
    Separator(N2, "N2");
    Item(Play1, "Play1", "Воспроизвести", "F4");
    Item(Pause1, "Pause1", "Пауза", "Ctrl+Z");
    Item(Stop1, "Stop1", "Стоп", "Ctrl+S");
    Item(Listik, "Listik", "Лист", "Ctrl+L");
    Separator(N3, "N3");
    Item(Fullscreen1, "Fullscreen1", "Во весь экран", "F5");
    Fullscreen1.enabled = false;
    Item(N4, "N4", "Фигурки");
    Item(Ball, "Ball", "шарики", "Shift+F1", true, false, 2);
    Item(BallCasual, "BallCasual", "шарики+", "Shift+F2", true, false, 2);
    Item(Casual, "Casual", "наугад", "Shift+F3", true, false, 2);
    Item(Micro, "Micro", "микро", "Shift+F4", true, false, 2);
    Item(MicroPlus, "MicroPlus", "микро+", "Shift+F5", true, false, 2);
    Item(AutoTipFig, "AutoTipFig", "авто", "Shift+F6", true, false, 2);
    Item(Drive, "Drive", "Движение", "F3");
    Item(Hi, "Hi", "Настройки");
    Item(Utiug, "Utiug", "сглаживать", "", false, true);
    Item(N6, "N6", "Показывать таймер", "Ctrl+T", true, true);
    Item(Razmazat, "Razmazat", "\"размазать\"");
    Item(StopGraphica, "StopGraphica", "Откл/включить графику", "Ctrl+G");
    Item(ScreenShot1, "ScreenShot1", "ScreenShot", "Ctrl+C");
    Item(StilWindow, "StilWindow", "поверх всех окон", "Ctrl+W", true);
    Item(Joces, "Joces", "Без шуточек", "", true, true);
    Item(DeleteBadStringPop, "DeleteBadStringPop", "Удалять неверные строки", "", true);
    Item(StartMessage, "StartMessage", "Старт без предупрежд.", "", true);
    Item(PictureDelay, "PictureDelay", "Задержка картинки…");
    Item(AutoMusicTemplate, "AutoMusicTemplate", "Сам создавать ЦМШ", "", true);
    Separator(N5, "N5");
    Item(FixatorLista1, "FixatorLista1", "Фиксировать лист", "", true);
    Item(AddWorkeString2, "AddWorkeString2", "Записать текущую строку");
    Separator(N7, "N7");
    Item(Exit1, "Exit1", "До свидания", "Ctrl+X");

    Item(Listic2, "Listic2", "Лист");
    Item(DeleteDrugMusic, "DeleteDrugMusic", "Удалить выделенн. строки");
    Item(AddDrugujuMusic, "AddDrugujuMusic", "Добавить, открыв еще ");
    Item(AddWorkeString, "AddWorkeString", "Записать текущую строку");
    Item(VisibleListBox2, "VisibleListBox2", "Только посмотреть пути", "", true);
    VisibleListBox2.hint = "только посмотреть пути. ";
    Item(SaveListOnHDD, "SaveListOnHDD", "Сохранить (playlist) :");
    Item(SaveNewList, "SaveNewList", "Как новый список");
    Item(SaveChangeList, "SaveChangeList", "В текущий список");
    Item(SaveM3uList, "SaveM3uList", "Сохранить как M3U8…");
    Separator(N8, "N8");
    Item(Service, "Service", "Сервис (с изменен. списков)");
    Item(RemoveTracks, "RemoveTracks", "Перемещение треков");
    Item(RenameTracks, "RenameTracks", "Переименование тр.");
    Item(DeleteTracks, "DeleteTracks", "Удаление треков");
    Item(FindMovedTracks, "FindMovedTracks", "Найти перемещённые треки…");
    Separator(N9, "N9");
    Item(InstallTemplates, "InstallTemplates", "Установка ЦМШ");
    Item(Sinhroniz, "Sinhroniz", "Синхронизация ЦМШ");
    Item(MakeMusicTemplate, "MakeMusicTemplate", "Создать ЦМШ по музыке");
    Item(SaveVideo, "SaveVideo", "Сохранить видео…");

    Item(OpenSelecktLists, "OpenSelecktLists", "Открыть выделенные списки");
    Item(DeleteList, "DeleteList", "Удалить выделенные списки");
    Item(CopySelectTrack, "CopySelectTrack", "Копировать  треки");

    PopupMenu1 = {{&N1, {}}, {&N2, {}}, {&Play1, {}}, {&Pause1, {}}, {&Stop1, {}}, {&Listik, {}}, {&N3, {}},
        {&Fullscreen1, {}},
        {&N4, {{&Ball, {}}, {&BallCasual, {}}, {&Casual, {}}, {&Micro, {}}, {&MicroPlus, {}}, {&AutoTipFig, {}}}},
        {&Drive, {}},
        {&Hi,
            {{&Utiug, {}}, {&N6, {}}, {&Razmazat, {}}, {&StopGraphica, {}}, {&ScreenShot1, {}}, {&StilWindow, {}},
                {&Joces, {}}, {&DeleteBadStringPop, {}}, {&StartMessage, {}}, {&PictureDelay, {}},
                {&AutoMusicTemplate, {}}}},
        {&N5, {}}, {&FixatorLista1, {}}, {&AddWorkeString2, {}}, {&N7, {}}, {&Exit1, {}}};
    PopupMenu2 = {{&Listic2, {}}, {&DeleteDrugMusic, {}}, {&AddDrugujuMusic, {}}, {&AddWorkeString, {}},
        {&VisibleListBox2, {}}, {&SaveListOnHDD, {{&SaveNewList, {}}, {&SaveChangeList, {}}, {&SaveM3uList, {}}}},
        {&N8, {}},
        {&Service,
            {{&RemoveTracks, {}}, {&RenameTracks, {}}, {&DeleteTracks, {}}, {&FindMovedTracks, {}}, {&N9, {}},
                {&InstallTemplates, {}}, {&Sinhroniz, {}}, {&MakeMusicTemplate, {}}, {&SaveVideo, {}}}}};
    PopupMenu3 = {{&OpenSelecktLists, {}}, {&DeleteList, {}}};
    PopupMenu4 = {{&CopySelectTrack, {}}};
}

std::array<TimerControl*, 11> Form::PatternTimers()
{
    return {&Timer1, &Timer5, &Timer6, &Timer7, &Timer8, &Timer9, &Timer10, &Timer11, &Timer12, &Timer14, &Timer13};
}

std::vector<TimerControl*> Form::AllTimers()
{
    return {&Timer1, &Timer2, &Timer3, &Timer4, &Timer5, &Timer6, &Timer7, &Timer8, &Timer9, &Timer10, &Timer11,
        &Timer12, &Timer13, &Timer14, &Timer15};
}

std::vector<Control*> Form::AllControls()
{
    std::vector<Control*> all{&PlayButton, &PauseButton, &StopButton, &SpeedButton1, &SpeedButton5, &SpeedButton4,
        &SpeedButton10, &SpeedButton11, &OpenButton, &SpeedButton2, &Label1, &TrackBar1, &TrackBar2, &StaticText1,
        &ClockTrack, &Panel1, &Panel2, &Panel3, &Image1, &ListBox1, &ListBox2, &ListBox3, &ListBox4, &ListBox5,
        &ButtonBack, &ButtonAhead};
    const auto addMenu = [&all](const std::vector<MenuNode>& menu, auto& self) -> void {
        for (const MenuNode& node : menu) {
            all.push_back(node.item);
            self(node.children, self);
        }
    };
    for (const auto* menu : {&PopupMenu1, &PopupMenu2, &PopupMenu3, &PopupMenu4})
        addMenu(*menu, addMenu);
    return all;
}

Control* Form::Find(const std::string& name)
{
    for (Control* c : AllControls())
        if (c->name == name)
            return c;
    return nullptr;
}

TimerControl* Form::FindTimer(const std::string& name)
{
    for (TimerControl* t : AllTimers())
        if (t->name == name)
            return t;
    return nullptr;
}

void Form::Check(MenuItem& item, bool checked)
{
    if (checked && item.radioGroup != 0) {
        for (Control* c : AllControls()) {
            auto* other = dynamic_cast<MenuItem*>(c);
            if (other != nullptr && other != &item && other->radioGroup == item.radioGroup)
                other->checked = false;
        }
    }
    item.checked = checked;
}

} // namespace kalvotune
