#pragma once

#include "app/Kalvotune.hpp"
#include "app/WindowBindings.hpp"

#include <QRect>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <vector>

class QAction;
class QActionGroup;
class QListWidget;
class QMenu;
class QTimer;

namespace kalvotune::app {

class SurfaceView;

/// The Qt face of the player. It builds one widget per component of the model, forwards
/// every event to `Kalvotune` by component name and mirrors the model afterwards. It
/// holds no behaviour of its own.
class MainWindow : public QWidget {
public:
    explicit MainWindow(Kalvotune& app);

    /// Copies the model into the widgets, timers and menus.
    void Sync();
    /// Runs input that comes from outside the window (files handed over by a second start,
    /// media controls) like a window event: an error escaping it is shown and the program
    /// goes on; the window mirrors the model afterwards.
    void Run(const std::function<void()>& handler);
    /// Files and folders dropped on the window go to `dropped`, which runs on the window's
    /// thread like any other window event; the window mirrors the model afterwards.
    void SetDropHandler(std::function<void(const std::vector<std::filesystem::path>&)> dropped);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* Build(Control& control, const WidgetBinding& binding, QWidget* parent);
    QMenu* BuildMenu(const std::vector<MenuNode>& nodes, QMenu* menu);
    void SyncList(ListBox& model, QListWidget* widget);
    void ListSelectionChanged(ListBox& model, QListWidget* widget);
    /// Mouse input on a list box's viewport; true when it ends there.
    bool ListMouseEvent(ListBox& model, QListWidget* widget, QEvent* event);
    /// Runs an event handler of the model, then mirrors the result.
    template <typename F> void Forward(F&& handler);

    /// What the widgets last showed of a control.
    struct Shown {
        std::string caption;
        std::string hint;
        QRect design;
    };

    Kalvotune& m_app;
    Form& m_form;
    std::map<Control*, QWidget*> m_widgets;
    std::map<const Control*, const WidgetBinding*> m_bindings;
    std::map<MenuItem*, QAction*> m_actions;
    std::map<TimerControl*, QTimer*> m_timers;
    std::map<int, QActionGroup*> m_radioGroups;
    std::map<ListBox*, std::uint64_t> m_listRevisions;
    std::map<Control*, Shown> m_shown;
    std::string m_shownCaption;
    QWidget* m_body{};
    SurfaceView* m_surfaceView{};
    /// The popup menus by name; the window's own menu also opens over the picture.
    std::map<std::string, QMenu*> m_menus;
    QMenu* m_windowMenu{};
    std::uint64_t m_placement{};
    bool m_syncing{};
    bool m_closing{};
    /// A mouse press on a list box is being handled: its selection changes are its click.
    bool m_listPressed{};
    /// A right press landed on a control; its release opens the window's menu.
    bool m_rightPressed{};
    std::function<void(const std::vector<std::filesystem::path>&)> m_dropped;
};

} // namespace kalvotune::app
