#include "app/AccessibleNames.hpp"
#include "app/AppFixture.hpp"
#include "app/MediaControls.hpp"
#include "app/qt/MainWindow.hpp"
#include "app/qt/Mpris.hpp"
#include "playlists/CurrentList.hpp"
#include "playlists/ExternalFiles.hpp"
#include "playlists/ListLine.hpp"

#include <QAccessible>
#include <QApplication>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QSlider>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

namespace kalvotune::testing {
namespace {

namespace fs = std::filesystem;

QString Name(QObject* object)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
    return accessible != nullptr ? accessible->text(QAccessible::Name) : QStringLiteral("<none>");
}

class QtWindow : public ::testing::Test, public AppFixture {
protected:
    static void SetUpTestSuite()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "kalvotune_accessible_tests";
        static char* argv[] = {name, nullptr};
        // Never destroyed: at exit Qt's own global state goes first, and destroying the
        // application after it crashes in the input devices mouse events made.
        static QApplication* application = new QApplication{argc, argv};
        (void)application;
    }
    void SetUp() override { MakeProgramFolder(); }
};

TEST_F(QtWindow, EveryControlHasANameAndListItemsSayOnlyTheirTitle)
{
    const fs::path track = Dir() / "music" / "Ночная песня.mp3";
    fs::create_directories(track.parent_path());
    std::ofstream{track} << "audio";
    device.AddFile(track, 60'000);

    app::Kalvotune& player = Start();
    app::MainWindow window{player};
    window.Sync();
    player.currentList().OpenTracks({track});
    window.Sync();

    const std::map<QString, QString> expected{
        {"ListBox1", "Текущий список"},
        {"ListBox2", "Пути"},
        {"ListBox3", "Мои списки"},
        {"TrackBar1", "Частота смены картинки"},
        {"TrackBar2", "Частота авто-смены режимов"},
        {"OpenButton", "Открыть другую музыку"},
        {"PauseButton", "Пауза"},
    };
    for (const auto& [object, name] : expected) {
        QWidget* widget = window.findChild<QWidget*>(object);
        ASSERT_NE(widget, nullptr) << object.toStdString();
        EXPECT_EQ(Name(widget), name) << object.toStdString();
    }
    // No control of the form is left without a name.
    for (Control* control : player.form().AllControls()) {
        QWidget* widget = window.findChild<QWidget*>(QString::fromStdString(control->name));
        if (widget != nullptr) {
            EXPECT_FALSE(Name(widget).isEmpty()) << control->name;
        }
    }

    auto* list = window.findChild<QListWidget*>(QStringLiteral("ListBox1"));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 1);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(accessible, nullptr);
    QAccessibleInterface* item = nullptr;
    for (int i = 0; i < accessible->childCount() && item == nullptr; ++i)
        if (accessible->child(i)->role() == QAccessible::ListItem)
            item = accessible->child(i);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(QAccessible::Name), QStringLiteral("Ночная песня"));
}

TEST_F(QtWindow, DroppedFilesAreAddedThroughTheWindowsDropHandler)
{
    const fs::path track = Dir() / "music" / "a.mp3";
    fs::create_directories(track.parent_path());
    std::ofstream{track} << "audio";
    device.AddFile(track, 60'000);
    std::ofstream{Dir() / "music" / "notes.txt"} << "text";

    app::Kalvotune& player = Start();
    app::MainWindow window{player};
    playlists::ExternalFiles external{player.currentList(), dialogs};
    window.SetDropHandler([&external](const std::vector<fs::path>& dropped) { external.DropFiles(dropped); });
    window.Sync();
    const int before = player.form().CurrentListBox.Count();
    dialogs.messages.clear(); // the start's own (no pattern tables here)

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(track.parent_path().string()))});
    QDragEnterEvent enter{QPoint{10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier};
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop{QPointF{10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier};
    QApplication::sendEvent(&window, &drop);
    QApplication::processEvents();

    ASSERT_EQ(player.form().CurrentListBox.Count(), before + 1);
    EXPECT_EQ(playlists::LinePath(player.form().CurrentListBox.Item(before)), track.string());
    auto* list = window.findChild<QListWidget*>(QStringLiteral("ListBox1"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), before + 1); // mirrored after the drop
    EXPECT_TRUE(dialogs.messages.empty()); // a folder's other files are passed over quietly
}

/// Sends one mouse event, as the window system would deliver it, to `widget`.
void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons{button};
    QMouseEvent event{type, QPointF{at}, widget->mapToGlobal(QPointF{at}), button, held, Qt::NoModifier};
    QApplication::sendEvent(widget, &event);
}

void Click(QWidget* widget, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    Mouse(widget, QEvent::MouseButtonPress, at, button);
    Mouse(widget, QEvent::MouseButtonRelease, at, button);
    QApplication::processEvents();
    // A right click opens the window's menu; the tests go on without it.
    while (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}

class QtWindowPlaying : public QtWindow {
protected:
    /// Starts the player with the window shown and the current list holding `count` tracks.
    app::MainWindow& ShowWithTracks(int count)
    {
        std::vector<fs::path> tracks;
        for (int i = 0; i < count; ++i) {
            const fs::path track = Dir() / "music" / (std::string(1, static_cast<char>('a' + i)) + ".mp3");
            fs::create_directories(track.parent_path());
            std::ofstream{track} << "audio";
            device.AddFile(track, 60'000);
            tracks.push_back(track);
        }
        app::Kalvotune& player = Start();
        m_window = std::make_unique<app::MainWindow>(player);
        player.currentList().OpenTracks(tracks);
        player.Click("StopButton");
        if (!Window().CurrentListBox.visible)
            player.Click("SpeedButton2");
        m_window->Sync();
        m_window->show();
        QApplication::processEvents();
        return *m_window;
    }
    QListWidget* List() { return m_window->findChild<QListWidget*>(QStringLiteral("ListBox1")); }
    QPoint ItemCentre(int row) { return List()->visualItemRect(List()->item(row)).center(); }

    std::unique_ptr<app::MainWindow> m_window;
};

TEST_F(QtWindowPlaying, EveryListClickRestartsTheOrderAndTheRightButtonKeepsTheSelection)
{
    app::MainWindow& window = ShowWithTracks(3);
    Form& f = Window();
    f.CurrentListBox.SelectAll(false);
    f.CurrentListBox.SetSelected(0, true);
    f.TrackIndex = 2;
    f.ListExhausted = true;
    window.Sync();

    // A click on the entry that is already selected changes no selection but is a click.
    Click(List()->viewport(), ItemCentre(0));
    EXPECT_EQ(f.TrackIndex, -1);
    EXPECT_FALSE(f.ListExhausted);
    EXPECT_TRUE(f.CurrentListBox.Selected(0));

    // The right button opens the list's menu over the selection as it is.
    f.CurrentListBox.SetSelected(2, true);
    window.Sync();
    f.TrackIndex = 1;
    Click(List()->viewport(), ItemCentre(1), Qt::RightButton);
    EXPECT_TRUE(f.CurrentListBox.Selected(0));
    EXPECT_FALSE(f.CurrentListBox.Selected(1));
    EXPECT_TRUE(f.CurrentListBox.Selected(2));
    EXPECT_TRUE(List()->item(2)->isSelected());
    EXPECT_EQ(f.TrackIndex, 1) << "a right click is no click on the list";

    // A double click plays also when it lands on the empty space below the entries.
    const QPoint empty{10, List()->viewport()->height() - 5};
    ASSERT_EQ(List()->itemAt(empty), nullptr);
    Click(List()->viewport(), empty);
    Mouse(List()->viewport(), QEvent::MouseButtonDblClick, empty, Qt::LeftButton);
    Mouse(List()->viewport(), QEvent::MouseButtonRelease, empty, Qt::LeftButton);
    QApplication::processEvents();
    Advance(100); // with nothing selected the pick runs 10 ms later
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
}

TEST_F(QtWindowPlaying, AnyButtonReleasedOverTheStripSeeks)
{
    app::MainWindow& window = ShowWithTracks(1);
    App().Click("PlayButton");
    window.Sync();
    ASSERT_EQ(device.Mode(), DeviceMode::Playing);
    auto* strip = window.findChild<QWidget*>(QStringLiteral("Panel2"));
    ASSERT_NE(strip, nullptr);
    const int x = Window().PositionStrip.width / 2;
    Click(strip, {x, 2}, Qt::RightButton);
    EXPECT_EQ(device.PositionMs(), (x * 60 / Window().PositionStrip.width + 1) * 1000);
}

TEST_F(QtWindowPlaying, InputFromOutsideTheWindowGoesThroughTheErrorNet)
{
    app::MainWindow& window = ShowWithTracks(1);
    window.SetDropHandler([](const std::vector<fs::path>&) { throw std::runtime_error{"Диск недоступен"}; });
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Dir().string()))});
    QDragEnterEvent enter{QPoint{10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier};
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop{QPointF{10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier};
    QApplication::sendEvent(&window, &drop);
    QApplication::processEvents();
    // A second start's files and the media controls' calls.
    window.Run([] { throw std::runtime_error{"Список занят"}; });
    app::MediaControls media{App(), device};
    app::Mpris mpris{media, {window, [](const std::vector<fs::path>&) { throw std::runtime_error{"Файл исчез"}; }},
        Window().surface};
    mpris.OpenUri(QStringLiteral("file:///music/x.mp3"));
    // Both the drop and the bus call run from the event loop once it is idle.
    for (int i = 0; i < 100 && dialogs.errors.size() < 3; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds{2});
    }
    std::vector<std::string> errors = dialogs.errors;
    std::sort(errors.begin(), errors.end());
    EXPECT_EQ(errors, (std::vector<std::string>{"Диск недоступен", "Список занят", "Файл исчез"}));
}

TEST_F(QtWindowPlaying, LeavingFullScreenGivesBackANormalWindow)
{
    app::MainWindow& window = ShowWithTracks(1);
    window.setWindowState(Qt::WindowMaximized);
    App().DoubleClick("Form1");
    window.Sync();
    App().Click("Fullscreen1");
    window.Sync();
    EXPECT_FALSE(window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
}

TEST(AccessibleItemText, DropsTheHiddenLineTail)
{
    EXPECT_EQ(app::AccessibleItemText(playlists::MakeListItem("*/m/Рок  и ролл.mp3*0*")), "Рок  и ролл");
    EXPECT_EQ(app::AccessibleItemText("Былое"), "Былое");
}

} // namespace
} // namespace kalvotune::testing
