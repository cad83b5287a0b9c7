#include "core/Controls.hpp"
#include "core/Form.hpp"
#include "core/Random.hpp"
#include "core/TemplateChannels.hpp"
#include "support/Fakes.hpp"

#include <gtest/gtest.h>

namespace kalvotune {
namespace {

TEST(ListBox, SortedModeOrdersCaseInsensitivelyForLatinAndCyrillic)
{
    ListBox box;
    box.sorted = true;
    for (const char* text : {"яблоко", "Banana", "apple", "Ёлка", "Арбуз", "banana"})
        box.Add(text);
    EXPECT_EQ(box.Items()[0], "apple");
    EXPECT_TRUE(ListTextLess("apple", "Banana"));
    EXPECT_TRUE(ListTextLess("арбуз", "Банан"));
    EXPECT_FALSE(ListTextLess("Банан", "арбуз"));
}

TEST(ListBox, SelectionFollowsItsEntryThroughInsertAndDelete)
{
    ListBox box;
    box.Add("a");
    box.Add("b");
    box.Add("c");
    box.SetSelected(1, true);
    box.Insert(0, "z");
    EXPECT_TRUE(box.Selected(2));
    EXPECT_FALSE(box.Selected(1));
    box.Delete(0);
    EXPECT_TRUE(box.Selected(1));
    EXPECT_EQ(box.SelectedCount(), 1);
    box.Delete(7); // out of range: ignored
    EXPECT_EQ(box.Count(), 3);
    EXPECT_FALSE(box.Selected(-1));
}

TEST(TrackBar, ClampsAndReportsOnlyRealChanges)
{
    TrackBar bar;
    bar.min = 4;
    bar.max = 80;
    bar.position = 20;
    EXPECT_FALSE(bar.SetPosition(20));
    EXPECT_TRUE(bar.SetPosition(100));
    EXPECT_EQ(bar.position, 80);
    EXPECT_FALSE(bar.SetPosition(81));
}

TEST(Random, FifteenBitValuesRepeatWithinOneSecond)
{
    testing::FakeClock clock;
    Random random{clock};
    random.SeedFromClock();
    const int a = random.Next();
    const int b = random.Next();
    random.SeedFromClock();
    EXPECT_EQ(random.Next(), a);
    EXPECT_EQ(random.Next(), b);
    clock.AdvanceSeconds(1);
    random.SeedFromClock();
    EXPECT_NE(random.Next(), a);
    for (int i = 0; i < 10000; ++i) {
        const int v = random.Next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
}

TEST(TemplateChannels, TicksOutsideTheChannelsReadAsZero)
{
    TemplateChannels channels;
    channels.Reset(3);
    channels.speed[2] = 30;
    EXPECT_EQ(channels.Speed(2), 30);
    EXPECT_EQ(channels.Speed(3), 0);
    EXPECT_EQ(channels.Blue(-1), 0);
    EXPECT_EQ(channels.Length(), 3);
}

TEST(Form, MenuRadioGroupAndLookUpByName)
{
    Form form;
    form.Check(form.BallsItem, true);
    form.Check(form.MicroItem, true);
    EXPECT_FALSE(form.BallsItem.checked);
    EXPECT_TRUE(form.MicroItem.checked);
    form.Check(form.NoJokesItem, false); // not a radio item: others untouched
    EXPECT_TRUE(form.MicroItem.checked);
    EXPECT_EQ(form.Find("Sinhroniz"), &form.SyncTemplateItem);
    EXPECT_EQ(form.FindTimer("Timer13"), &form.Timer13);
    EXPECT_EQ(form.Find("NoSuchThing"), nullptr);
    EXPECT_EQ(form.PatternTimers().back(), &form.Timer13);
}

} // namespace
} // namespace kalvotune
