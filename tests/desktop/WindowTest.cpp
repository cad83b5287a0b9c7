#include "app/AccessibleNames.hpp"
#include "app/AppFixture.hpp"
#include "app/qt/MainWindow.hpp"
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

#include <fstream>

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
        static QApplication application{argc, argv};
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
    const int before = player.form().ListBox1.Count();
    dialogs.messages.clear(); // the start's own (no pattern tables here)

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(track.parent_path().string()))});
    QDragEnterEvent enter{QPoint{10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier};
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop{QPointF{10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier};
    QApplication::sendEvent(&window, &drop);
    QApplication::processEvents();

    ASSERT_EQ(player.form().ListBox1.Count(), before + 1);
    EXPECT_EQ(playlists::LinePath(player.form().ListBox1.Item(before)), track.string());
    auto* list = window.findChild<QListWidget*>(QStringLiteral("ListBox1"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), before + 1); // mirrored after the drop
    EXPECT_TRUE(dialogs.messages.empty()); // a folder's other files are passed over quietly
}

TEST(AccessibleItemText, DropsTheHiddenLineTail)
{
    EXPECT_EQ(app::AccessibleItemText(playlists::MakeListItem("*/m/Рок  и ролл.mp3*0*")), "Рок  и ролл");
    EXPECT_EQ(app::AccessibleItemText("Былое"), "Былое");
}

} // namespace
} // namespace kalvotune::testing
