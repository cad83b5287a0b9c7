#include "AppFixture.hpp"

#include "app/Settings.hpp"

#include <gtest/gtest.h>

namespace kalvotune::testing {
namespace {

constexpr int kFlagWords[]{4, 5, 6, 8, 9, 10, 11, 13, 14, 15, 16, 17, 18, 19, 20};

/// Every number word distinct and in range, every flag clear.
SettingsWords Numbers()
{
    SettingsWords record{};
    record[0] = 3; // figure type
    record[1] = 9; // mode
    record[2] = 44; // picture-change frequency
    record[3] = 13'000; // automatic mode-change interval
    record[7] = 1; // graphics off
    for (int i = 21; i < 100; ++i)
        record[static_cast<std::size_t>(i)] = 1000 + i;
    return record;
}

SettingsWords ApplyAndGather(const SettingsWords& record)
{
    Form form;
    app::ApplySettings(form, FromWords(record), {});
    return ToWords(app::GatherSettings(form, FromWords(record)));
}

// A flag set alone must come back in its own word and nowhere else, so two words swapped
// in applying or in gathering show.
TEST(SettingsRoundTrip, EveryWordComesBackInItsOwnPlace)
{
    EXPECT_EQ(ApplyAndGather(Numbers()), Numbers());
    for (const int word : kFlagWords) {
        SettingsWords record = Numbers();
        record[static_cast<std::size_t>(word)] = 1;
        EXPECT_EQ(ApplyAndGather(record), record) << "word " << word;
    }
}

TEST(SettingsRoundTrip, FigureItemsKeepAtMostOneTickAsRadioItems)
{
    SettingsWords record = Numbers();
    for (const int word : {13, 15, 16, 17, 18, 19})
        record[static_cast<std::size_t>(word)] = 1;
    Form form;
    app::ApplySettings(form, FromWords(record), {});
    int ticked = 0;
    for (const MenuItem* item : {&form.AutoFiguresItem, &form.BallsItem, &form.BallsPlusItem, &form.RandomFiguresItem,
             &form.MicroItem, &form.MicroPlusItem})
        ticked += item->checked ? 1 : 0;
    EXPECT_EQ(ticked, 1);
    EXPECT_TRUE(form.MicroPlusItem.checked) << "the last word applied wins";
    const SettingsWords gathered = ToWords(app::GatherSettings(form, FromWords(record)));
    for (const int word : {13, 15, 16, 17, 18})
        EXPECT_EQ(gathered[static_cast<std::size_t>(word)], 0) << word;
    EXPECT_EQ(gathered[19], 1);
}

class SettingsThroughTheWindow : public ::testing::Test, public AppFixture {
protected:
    void SetUp() override { MakeProgramFolder(); }
};

// Start and close with a record whose flags are all set, then with all clear: the file
// comes back as written, but for the figure type that every start draws anew.
TEST_F(SettingsThroughTheWindow, StartAndCloseGiveTheRecordBack)
{
    for (const int flags : {1, 0}) {
        SettingsWords record = Numbers();
        for (const int word : kFlagWords)
            record[static_cast<std::size_t>(word)] = flags;
        record[12] = flags; // automatic mode change, applied by "Auto"
        // One figure item at most, as radio items allow.
        for (const int word : {13, 16, 17, 18, 19})
            record[static_cast<std::size_t>(word)] = 0;
        WriteSettings(Dir() / "SetGet.kvt", FromWords(record));
        Start();
        Close();
        SettingsWords written = ToWords(ReadSettings(Dir() / "SetGet.kvt"));
        written[0] = record[0];
        EXPECT_EQ(written, record) << "flags " << flags;
    }
}

TEST_F(SettingsThroughTheWindow, StayOnTopComesFromItsWordAndSurvivesFullScreen)
{
    SettingsWords record = ToWords(SavedSettings{});
    record[8] = 1;
    WriteSettings(Dir() / "SetGet.kvt", FromWords(record));
    Start();
    EXPECT_TRUE(Window().StayOnTopItem.checked);
    EXPECT_TRUE(Window().stayOnTop);
    App().DoubleClick("Form1");
    App().DoubleClick("Form1");
    EXPECT_TRUE(Window().stayOnTop) << "leaving full screen keeps the window on top";

    App().Click("StilWindow");
    EXPECT_FALSE(Window().stayOnTop);
    Close();
    EXPECT_EQ(ReadSettings(Dir() / "SetGet.kvt").stayOnTop, 0);
    Start();
    EXPECT_FALSE(Window().stayOnTop);
}

} // namespace
} // namespace kalvotune::testing
