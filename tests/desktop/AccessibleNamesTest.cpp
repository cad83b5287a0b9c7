#include "app/AccessibleNames.hpp"
#include "app/AppFixture.hpp"
#include "app/qt/MainWindow.hpp"
#include "playlists/CurrentList.hpp"
#include "playlists/ListLine.hpp"

#include <QAccessible>
#include <QApplication>
#include <QListWidget>
#include <QSlider>

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

class AccessibleWindow : public ::testing::Test, public AppFixture {
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

TEST_F(AccessibleWindow, EveryControlHasANameAndListItemsSayOnlyTheirTitle)
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

TEST(AccessibleItemText, DropsTheHiddenLineTail)
{
    EXPECT_EQ(app::AccessibleItemText(playlists::MakeListItem("*/m/Рок  и ролл.mp3*0*")), "Рок  и ролл");
    EXPECT_EQ(app::AccessibleItemText("Былое"), "Былое");
}

} // namespace
} // namespace kalvotune::testing
