#include "app/AccessibleNames.hpp"

#include "app/WindowBindings.hpp"
#include "playlists/ListLine.hpp"

namespace kalvotune::app {

std::string AccessibleName(const Control& control)
{
    if (!control.hint.empty())
        return control.hint;
    if (const WidgetBinding* binding = FindBinding(control.name); binding != nullptr && !binding->description.empty())
        return std::string{binding->description};
    return control.caption;
}

std::string AccessibleItemText(std::string_view item)
{
    static const std::string pad(static_cast<std::size_t>(playlists::kItemPadWidth), ' ');
    return std::string{item.substr(0, item.find(pad))};
}

} // namespace kalvotune::app
