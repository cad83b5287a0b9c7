#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kalvotune {

/// State the window reads and writes on one visible control. The Qt layer mirrors
/// these fields; handlers change them and never touch a widget.
struct Control {
    virtual ~Control() = default;

    std::string name;
    bool visible{true};
    bool enabled{true};
    std::string caption;
    std::string hint;
    int tag{};
    int left{};
    int top{};
    int width{};
    int height{};
};

struct MenuItem : Control {
    bool checked{};
    bool autoCheck{};
    /// Items sharing a non-zero group behave as radio items: checking one unchecks the rest.
    int radioGroup{};
    bool separator{};
};

/// A window timer: the app layer fires its handler every `interval` ms while enabled.
struct TimerControl {
    std::string name;
    bool enabled{};
    int interval{};
};

struct TrackBar : Control {
    int min{};
    int max{};
    int position{};

    /// Clamps `value` to the range and stores it. Returns true when the position changed,
    /// which is when the caller must run the bar's change handler.
    bool SetPosition(int value);
};

/// A list box: its entries, their selection flags, and whether it keeps them sorted.
/// `revision` grows with every change so the window can tell when to re-read it.
struct ListBox : Control {
    bool sorted{};
    bool multiSelect{true};
    int itemIndex{-1};
    std::uint64_t revision{};

    int Count() const { return static_cast<int>(m_items.size()); }
    const std::string& Item(int index) const { return m_items.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Items() const { return m_items; }

    /// Appends, or inserts at its sorted place when `sorted` is on. Returns the index used.
    int Add(std::string text);
    void Insert(int index, std::string text);
    void Delete(int index);
    void Clear();
    void SetItem(int index, std::string text);

    bool Selected(int index) const;
    void SetSelected(int index, bool selected);
    int SelectedCount() const;
    void SelectAll(bool selected);

private:
    std::vector<std::string> m_items;
    std::vector<char> m_selected;
};

/// Orders two list texts as the sorted list box does: case-insensitive for Latin and
/// Cyrillic letters, then byte order.
bool ListTextLess(const std::string& a, const std::string& b);

/// True when two texts are equal but for the letter case of Latin and Cyrillic letters.
bool SameTextIgnoringCase(const std::string& a, const std::string& b);

} // namespace kalvotune
