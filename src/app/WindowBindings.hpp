#pragma once

#include "core/Controls.hpp"

#include <span>
#include <string_view>

namespace kalvotune::app {

class Kalvotune;

/// How the window shows a control.
enum class WidgetKind {
    Window, ///< the window itself: only its double click
    Button, ///< a flat button of the side bars
    PushButton, ///< a raised button (the template shift buttons over the picture)
    Label, ///< a text display
    Link, ///< a label that answers a left click
    Slider,
    List,
    Panel, ///< a frame; a button released over it reaches `release`
    Picture, ///< the kaleidoscope's surface
    MenuItem,
    Timer,
};

/// What a click, a double click or a menu item does; gets the control it came from, null
/// for the window itself.
using WidgetAction = void (*)(Kalvotune& app, Control* source);
/// What a mouse button released over a panel does, at `x`, `y` in the panel.
using ReleaseAction = void (*)(Kalvotune& app, int x, int y);
/// What a timer does when it fires.
using TimerAction = void (*)(Kalvotune& app, TimerControl& timer);

/// One control of the window: its key among the window's controls, how it shows, where it
/// sits, and what the user's gestures on it do. The Qt window builds its widgets from
/// these; the model dispatches every event through them.
struct WidgetBinding {
    std::string_view widget{};
    WidgetKind kind{};
    /// The control it sits in ("" the window) or, for a menu item, its menu.
    std::string_view place{};
    /// Menu items: the key that runs the item while the menu is closed.
    std::string_view shortcut{};
    /// Lists: the menu their right click opens; "" none.
    std::string_view contextMenu{};
    /// What a screen reader says when the control has no hint; "" its caption.
    std::string_view description{};
    /// A click, a keyboard selection in a list, a menu item, a slider moved.
    WidgetAction click{};
    WidgetAction doubleClick{};
    ReleaseAction release{};
    TimerAction tick{};
    /// The cursor over it is a pointing hand.
    bool pointingHand{};
    /// Grows to the left when its text is wider than its design (anchored at its right).
    bool growsLeft{};
    /// Sliders: the step of an arrow key or page, and the distance between tick marks.
    int sliderStep{};
    int sliderTicks{};
};

/// Every control of the window, those of the window first, in the order they are built
/// (a later one lies above an earlier one in the same place), then the menu items and the
/// timers.
std::span<const WidgetBinding> WindowBindings();

/// The binding of the control keyed `widget`; null when there is none.
const WidgetBinding* FindBinding(std::string_view widget);

} // namespace kalvotune::app
