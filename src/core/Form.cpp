#include "core/Form.hpp"

#include "core/SavedSettings.hpp"

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

void Item(MenuItem& m, const char* name, const char* caption, bool autoCheck = false, bool checked = false,
    int radioGroup = 0)
{
    m.name = name;
    m.caption = caption;
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
    Place(AutoModeButton, "SpeedButton1", 6, 32, 36, 21, "Auto", "откл/вкл. автосмену граф. реж.");
    Place(ModeButton, "SpeedButton5", 12, 175, 24, 24, "1", "переключатель режимов");
    Place(BuildButton, "SpeedButton4", 8, 506, 35, 20, "Build", "если нечего делать", true, false);
    Place(DriveButton, "SpeedButton10", 746, 32, 36, 21, "Drive", "вкл/откл. движение фигур в узорах");
    Place(MyListsButton, "SpeedButton11", 745, 89, 36, 21, "My", "мои списки воспроизведения");
    Place(OpenButton, "OpenButton", 746, 109, 36, 21, "Open", "Открыть другую музыку");
    Place(ListButton, "SpeedButton2", 746, 129, 36, 21, "List", "показать/скрыть текущий список");

    Place(AboutLabel, "Label1", 749, 308, 27, 15, "About", "Автора! Автора! 2 раза...");
    Place(PictureRateSlider, "TrackBar1", 739, 55, 49, 33, "", "Частота смены картинки", false);
    PictureRateSlider.min = kFewestPictureChangeTicks;
    PictureRateSlider.max = kMostPictureChangeTicks;
    PictureRateSlider.position = 20;
    Place(AutoModeRateSlider, "TrackBar2", -1, 52, 49, 33, "", "Частота авто-смены режимов", false);
    AutoModeRateSlider.min = kShortestAutoModeMs;
    AutoModeRateSlider.max = kLongestAutoModeMs;
    AutoModeRateSlider.position = 6000;
    Place(TrackLengthText, "StaticText1", 742, 9, 37, 17);
    Place(ClockText, "ClockTrack", 12, 9, 37, 17, "", "", false);
    Place(ViewPanel, "Panel1", 52, 4, 690, 529);
    Place(PositionStrip, "Panel2", 52, 527, 685, 6);
    Place(PositionMark, "Panel3", 0, 2, 1, 3);
    Place(Picture, "Image1", 4, 4, 680, 523);
    Place(CurrentListBox, "ListBox1", 0, 0, 690, 529);
    CurrentListBox.sorted = true;
    Place(PathsBox, "ListBox2", 0, 329, 690, 200, "", "", false);
    Place(MyListsBox, "ListBox3", 0, 0, 690, 529, "", "", false);
    Place(WorkListBox, "ListBox4", 0, 0, 690, 529, "", "", false);
    Place(ListChoiceBox, "ListBox5", 88, 152, 518, 301, "", "", false);
    ListChoiceBox.multiSelect = false;
    Place(ButtonBack, "ButtonBack", 490, 500, 96, 25, "Назад на 0,05 сек", "если картинка опережает звук", false);
    Place(ButtonAhead, "ButtonAhead", 587, 500, 100, 25, "Вперед на 0,05 сек", "Если картинка отстает", false);

    Timer(Timer1, "Timer1", 20);
    Timer(NextTrackTimer, "Timer2", 10);
    Timer(AutoModeTimer, "Timer3", 5000);
    Timer(PositionTimer, "Timer4", 400);
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
    Timer(KeepAwakeTimer, "Timer15", 55000);
    Timer(ListenTimer, "ListenTimer", 100);
    Timer(SourceListTimer, "SourceListTimer", 50);

    Item(OpenItem, "N1", "Открыть");
    Separator(N2, "N2");
    Item(PlayItem, "Play1", "Воспроизвести");
    Item(PauseItem, "Pause1", "Пауза");
    Item(StopItem, "Stop1", "Стоп");
    Item(ListItem, "Listik", "Лист");
    Separator(N3, "N3");
    Item(FullScreenItem, "Fullscreen1", "Во весь экран");
    FullScreenItem.enabled = false;
    Item(FiguresMenu, "N4", "Фигурки");
    Item(BallsItem, "Ball", "шарики", true, false, 2);
    Item(BallsPlusItem, "BallCasual", "шарики+", true, false, 2);
    Item(RandomFiguresItem, "Casual", "наугад", true, false, 2);
    Item(MicroItem, "Micro", "микро", true, false, 2);
    Item(MicroPlusItem, "MicroPlus", "микро+", true, false, 2);
    Item(AutoFiguresItem, "AutoTipFig", "авто", true, false, 2);
    Item(DriveItem, "Drive", "Движение");
    Item(SettingsMenu, "Hi", "Настройки");
    Item(SmoothingItem, "Utiug", "сглаживать", false, true);
    Item(ClockItem, "N6", "Показывать таймер", true, true);
    Item(SmearingItem, "Razmazat", "\"размазать\"");
    Item(GraphicsItem, "StopGraphica", "Откл/включить графику");
    Item(ScreenShotItem, "ScreenShot1", "ScreenShot");
    Item(StayOnTopItem, "StilWindow", "поверх всех окон", true);
    Item(NoJokesItem, "Joces", "Без шуточек", true, true);
    Item(DropMissingLinesItem, "DeleteBadStringPop", "Удалять неверные строки", true);
    Item(NoStartWarningItem, "StartMessage", "Старт без предупрежд.", true);
    Item(PictureDelayItem, "PictureDelay", "Задержка картинки…");
    Item(AutoMusicTemplatesItem, "AutoMusicTemplate", "Сам создавать ЦМШ", true);
    Separator(N5, "N5");
    Item(HoldListItem, "FixatorLista1", "Фиксировать лист", true);
    Item(WindowWriteLineItem, "AddWorkeString2", "Записать текущую строку");
    Separator(N7, "N7");
    Item(ExitItem, "Exit1", "До свидания");

    Item(ListMenuListItem, "Listic2", "Лист");
    Item(DeleteLinesItem, "DeleteDrugMusic", "Удалить выделенн. строки");
    Item(AddMoreItem, "AddDrugujuMusic", "Добавить, открыв еще ");
    Item(WriteLineItem, "AddWorkeString", "Записать текущую строку");
    Item(PathsItem, "VisibleListBox2", "Только посмотреть пути", true);
    PathsItem.hint = "только посмотреть пути. ";
    Item(SaveListMenu, "SaveListOnHDD", "Сохранить (playlist) :");
    Item(SaveNewListItem, "SaveNewList", "Как новый список");
    Item(SaveIntoListItem, "SaveChangeList", "В текущий список");
    Item(SaveM3uItem, "SaveM3uList", "Сохранить как M3U8…");
    Separator(N8, "N8");
    Item(ServiceMenu, "Service", "Сервис (с изменен. списков)");
    Item(MoveTracksItem, "RemoveTracks", "Перемещение треков");
    Item(RenameTracksItem, "RenameTracks", "Переименование тр.");
    Item(DeleteTracksItem, "DeleteTracks", "Удаление треков");
    Item(FindMovedTracksItem, "FindMovedTracks", "Найти перемещённые треки…");
    Separator(N9, "N9");
    Item(InstallTemplatesItem, "InstallTemplates", "Установка ЦМШ");
    Item(SyncTemplateItem, "Sinhroniz", "Синхронизация ЦМШ");
    Item(MusicTemplateItem, "MakeMusicTemplate", "Создать ЦМШ по музыке");
    Item(SaveVideoItem, "SaveVideo", "Сохранить видео…");
    Separator(N10, "N10");
    Item(ListenItem, "ListenSound", "Слушать звук компьютера", true);
    Item(SoundSourceItem, "SoundSource", "Источник звука…");

    Item(OpenListsItem, "OpenSelecktLists", "Открыть выделенные списки");
    Item(DeleteListsItem, "DeleteList", "Удалить выделенные списки");
    Item(CopyTracksItem, "CopySelectTrack", "Копировать  треки");

    WindowMenu = {{&OpenItem, {}}, {&N2, {}}, {&PlayItem, {}}, {&PauseItem, {}}, {&StopItem, {}}, {&ListItem, {}},
        {&N3, {}}, {&FullScreenItem, {}},
        {&FiguresMenu,
            {{&BallsItem, {}}, {&BallsPlusItem, {}}, {&RandomFiguresItem, {}}, {&MicroItem, {}}, {&MicroPlusItem, {}},
                {&AutoFiguresItem, {}}}},
        {&DriveItem, {}},
        {&SettingsMenu,
            {{&SmoothingItem, {}}, {&ClockItem, {}}, {&SmearingItem, {}}, {&GraphicsItem, {}}, {&ScreenShotItem, {}},
                {&StayOnTopItem, {}}, {&NoJokesItem, {}}, {&DropMissingLinesItem, {}}, {&NoStartWarningItem, {}},
                {&PictureDelayItem, {}}, {&AutoMusicTemplatesItem, {}}}},
        {&N5, {}}, {&HoldListItem, {}}, {&WindowWriteLineItem, {}}, {&N7, {}}, {&ExitItem, {}}};
    ListMenu
        = {{&ListMenuListItem, {}}, {&DeleteLinesItem, {}}, {&AddMoreItem, {}}, {&WriteLineItem, {}}, {&PathsItem, {}},
            {&SaveListMenu, {{&SaveNewListItem, {}}, {&SaveIntoListItem, {}}, {&SaveM3uItem, {}}}}, {&N8, {}},
            {&ServiceMenu,
                {{&MoveTracksItem, {}}, {&RenameTracksItem, {}}, {&DeleteTracksItem, {}}, {&FindMovedTracksItem, {}},
                    {&N9, {}}, {&InstallTemplatesItem, {}}, {&SyncTemplateItem, {}}, {&MusicTemplateItem, {}},
                    {&SaveVideoItem, {}}, {&N10, {}}, {&ListenItem, {}}, {&SoundSourceItem, {}}}}};
    MyListsMenu = {{&OpenListsItem, {}}, {&DeleteListsItem, {}}};
    PathsMenu = {{&CopyTracksItem, {}}};
}

std::array<TimerControl*, 11> Form::PatternTimers()
{
    return {&Timer1, &Timer5, &Timer6, &Timer7, &Timer8, &Timer9, &Timer10, &Timer11, &Timer12, &Timer14, &Timer13};
}

std::vector<TimerControl*> Form::AllTimers()
{
    return {&Timer1, &NextTrackTimer, &AutoModeTimer, &PositionTimer, &Timer5, &Timer6, &Timer7, &Timer8, &Timer9,
        &Timer10, &Timer11, &Timer12, &Timer13, &Timer14, &KeepAwakeTimer, &ListenTimer,
        &SourceListTimer};
}

std::vector<Control*> Form::AllControls()
{
    std::vector<Control*> all{&PlayButton, &PauseButton, &StopButton, &AutoModeButton, &ModeButton, &BuildButton,
        &DriveButton, &MyListsButton, &OpenButton, &ListButton, &AboutLabel, &PictureRateSlider, &AutoModeRateSlider,
        &TrackLengthText, &ClockText, &ViewPanel, &PositionStrip, &PositionMark, &Picture, &CurrentListBox, &PathsBox,
        &MyListsBox, &WorkListBox, &ListChoiceBox, &ButtonBack, &ButtonAhead};
    const auto addMenu = [&all](const std::vector<MenuNode>& menu, auto& self) -> void {
        for (const MenuNode& node : menu) {
            all.push_back(node.item);
            self(node.children, self);
        }
    };
    for (const auto* menu : {&WindowMenu, &ListMenu, &MyListsMenu, &PathsMenu})
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
