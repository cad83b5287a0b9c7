#include "PlayerFixture.hpp"

namespace kalvotune::playback {
namespace {

class MissingEntryTest : public PlayerTest {
protected:
    std::string Moved(const std::string& title) const
    {
        return "Трек  <" + title
            + ">  имеет установленный шаблон, но имя трека или местонахождение при установке было другим. Пожалуйста, "
              "для перемещения, удаления или переименования треков с установленными шаблонами, используйте сервис "
              "Kalvotune. Для треков без шаблонов это не обязательно, но если Вы хотите чтобы строки работали при "
              "любых обстоятельствах, также используйте для перемещения,удаления и переименования музыкальных файлов "
              "неудобный (но очень полезный) сервис Kalvotune. Тогда программа сама внесет в списки необходимые "
              "изменения.";
    }
    std::string PutBack(const std::string& title) const
    {
        return "Необходимо положить  <" + title
            + ">  на место. Если забыли куда, откройте Блокнотом файл Kalvotune в папке .../Lists. Там все записанно. "
              "На будующее: Не рвите ниточку от шаблона к треку, пользуйтесь сервисом и помните, что вы используете "
              "встроенный плеер (для муз. с ЦМШ), который почти невозможно передать из инета без музыки. Вам это "
              "удалось! Удачи.";
    }
    std::string Missing(const std::string& title) const
    {
        return "  Увы! Что-то не сложилось. Переименована папка? переехал? и т.п.  Возможно трек  <" + title
            + ">  из папки  <" + Music().string()
            + ">  'съехал', а в списках остался старый адрес. Если Вы хотите обойти эту проблему - используйте для "
              "перемещения,удаления и переименования музыкальных файлов неудобный (но очень полезный) сервис "
              "Kalvotune. Тогда программа сама внесет в списки необходимые изменения.";
    }
};

TEST_F(MissingEntryTest, RegistryListShowsThreeMessagesAndKeepsTheEntry)
{
    m_form.CurrentListName = "Kalvotune";
    m_form.DropMissingLinesItem.checked = true;
    AddTrack("gone.mp3", -1, true);

    m_player.PlayOrNext();

    EXPECT_EQ(m_fakes.dialogs.messages, (std::vector<std::string>{Moved("gone"), PutBack("gone"), Missing("gone")}));
    EXPECT_EQ(m_form.CurrentListBox.Count(), 1);
    EXPECT_FALSE(m_form.NextTrackTimer.enabled);
    EXPECT_FALSE(m_form.PositionTimer.enabled);
}

TEST_F(MissingEntryTest, AWindowsPathIsMissingAndItsMessageNamesTheWindowsFolder)
{
    m_form.CurrentListBox.SetSelected(
        m_form.CurrentListBox.Add(playlists::MakeListItem("*C:\\Музыка\\Вальс.mp3*0*")), true);
    m_player.PlayOrNext();
    ASSERT_EQ(m_fakes.dialogs.messages.size(), 1u);
    const std::string& message = m_fakes.dialogs.messages[0];
    EXPECT_NE(message.find("трек  <Вальс>  из папки  <C:\\Музыка>"), std::string::npos);
    EXPECT_FALSE(m_form.PositionTimer.enabled);
}

TEST_F(MissingEntryTest, OrdinaryListShowsOneMessageUnlessBadLinesAreDropped)
{
    AddTrack("gone.mp3", -1, true);
    m_player.PlayOrNext();
    EXPECT_EQ(m_fakes.dialogs.messages, std::vector<std::string>{Missing("gone")});
    EXPECT_EQ(m_form.CurrentListBox.Count(), 1);

    m_fakes.dialogs.messages.clear();
    WriteList("Калейдоскоп", {LineOf(Music() / "gone.mp3")});
    m_form.DropMissingLinesItem.checked = true;
    m_player.PlayOrNext();
    EXPECT_TRUE(m_fakes.dialogs.messages.empty());
    EXPECT_EQ(m_form.CurrentListBox.Count(), 0);
    EXPECT_TRUE(ReadList("Калейдоскоп").empty());
}

TEST_F(MissingEntryTest, HistoryListDropsTheEntryAndTriesTheNext)
{
    m_form.CurrentListName = "Былое";
    const auto gone = AddTrack("a.mp3", -1, true);
    const auto b = AddTrack("b.mp3", 60'000, true);
    WriteList("Былое", {LineOf(gone), LineOf(b)});

    m_player.PlayOrNext();
    EXPECT_TRUE(m_fakes.dialogs.messages.empty());
    EXPECT_EQ(m_form.CurrentListBox.Count(), 1);
    EXPECT_EQ(ReadList("Былое"), std::vector<std::string>{LineOf(b)});

    ASSERT_TRUE(FireTimer2());
    EXPECT_EQ(Playing(), "b.mp3");
    // Playing from the history does not reorder it.
    EXPECT_EQ(ReadList("Былое"), std::vector<std::string>{LineOf(b)});
}

TEST_F(MissingEntryTest, DroppingTheLastEntryDrawsInsteadOfSearchingPastTheEnd)
{
    m_form.CurrentListName = "Былое";
    const auto a = AddTrack("a.mp3");
    const auto gone = AddTrack("b.mp3", -1, true);
    WriteList("Былое", {LineOf(a), LineOf(gone)});

    m_player.PlayOrNext();
    ASSERT_EQ(m_form.CurrentListBox.Count(), 1);
    while (FireTimer2()) { }
    EXPECT_EQ(Playing(), "a.mp3");
    EXPECT_TRUE(m_form.ListExhausted);
}

TEST_F(MissingEntryTest, NextToAMissingFileStopsThePositionTick)
{
    AddTrack("a.mp3", 60'000, true);
    AddTrack("gone.mp3", -1, true);
    m_player.PlayOrNext();
    Tick(3);

    m_player.PlayOrNext();
    EXPECT_EQ(m_fakes.dialogs.messages, std::vector<std::string>{Missing("gone")});
    EXPECT_EQ(m_fakes.device.Mode(), DeviceMode::NotOpen);
    EXPECT_FALSE(m_form.PositionTimer.enabled);
    // Pause is still enabled here; it only says that nothing is open.
    m_player.PauseTrack();
    EXPECT_EQ(m_fakes.dialogs.errors, std::vector<std::string>{"No MCI device open"});
}

TEST_F(MissingEntryTest, PositionTickWithNoDeviceStopsItself)
{
    m_form.PositionTimer.enabled = true;
    m_form.TrackSeconds = 0;
    m_player.OnPositionTick();
    EXPECT_FALSE(m_form.PositionTimer.enabled);
    EXPECT_FALSE(m_form.NextTrackTimer.enabled);
}

} // namespace
} // namespace kalvotune::playback
