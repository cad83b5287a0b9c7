#include "core/Controls.hpp"

#include <algorithm>

namespace kalvotune {

bool TrackBar::SetPosition(int value)
{
    const int clamped = std::clamp(value, min, max);
    if (clamped == position)
        return false;
    position = clamped;
    return true;
}

namespace {

// Folds one UTF-8 code point to lower case for Latin and Cyrillic letters; other
// code points pass unchanged.
char32_t FoldCase(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c + 32;
    if (c >= U'\u0410' && c <= U'\u042F')
        return c + 32;
    if (c == U'\u0401')
        return U'\u0451';
    return c;
}

char32_t NextCodePoint(const std::string& s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : 0;
    if (i + static_cast<std::size_t>(extra) >= s.size())
        extra = 0; // a cut-off sequence compares byte by byte
    char32_t c = extra == 0 ? b0 : (b0 & (0x3F >> extra));
    ++i;
    for (int k = 0; k < extra; ++k, ++i)
        c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return c;
}

} // namespace

bool ListTextLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t ca = FoldCase(NextCodePoint(a, i));
        const char32_t cb = FoldCase(NextCodePoint(b, j));
        if (ca != cb)
            return ca < cb;
    }
    if ((i < a.size()) != (j < b.size()))
        return j < b.size();
    return a < b;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCase(NextCodePoint(a, i)) != FoldCase(NextCodePoint(b, j)))
            return false;
    }
    return i == a.size() && j == b.size();
}

int ListBox::Add(std::string text)
{
    int index = Count();
    if (sorted) {
        const auto at = std::upper_bound(m_items.begin(), m_items.end(), text, ListTextLess);
        index = static_cast<int>(at - m_items.begin());
    }
    Insert(index, std::move(text));
    return index;
}

void ListBox::Insert(int index, std::string text)
{
    const auto at = static_cast<std::size_t>(std::clamp(index, 0, Count()));
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(at), std::move(text));
    m_selected.insert(m_selected.begin() + static_cast<std::ptrdiff_t>(at), 0);
    if (itemIndex >= static_cast<int>(at))
        ++itemIndex;
    ++revision;
}

void ListBox::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_items.erase(m_items.begin() + index);
    m_selected.erase(m_selected.begin() + index);
    if (itemIndex == index)
        itemIndex = -1;
    else if (itemIndex > index)
        --itemIndex;
    ++revision;
}

void ListBox::Clear()
{
    m_items.clear();
    m_selected.clear();
    itemIndex = -1;
    ++revision;
}

void ListBox::SetItem(int index, std::string text)
{
    if (index < 0 || index >= Count())
        return;
    m_items[static_cast<std::size_t>(index)] = std::move(text);
    ++revision;
}

bool ListBox::Selected(int index) const
{
    return index >= 0 && index < Count() && m_selected[static_cast<std::size_t>(index)] != 0;
}

void ListBox::SetSelected(int index, bool selected)
{
    if (index < 0 || index >= Count())
        return;
    m_selected[static_cast<std::size_t>(index)] = selected ? 1 : 0;
    ++revision;
}

int ListBox::SelectedCount() const
{
    return static_cast<int>(std::count(m_selected.begin(), m_selected.end(), 1));
}

void ListBox::SelectAll(bool selected)
{
    std::fill(m_selected.begin(), m_selected.end(), selected ? 1 : 0);
    ++revision;
}

} // namespace kalvotune
