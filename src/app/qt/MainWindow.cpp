#include "app/qt/MainWindow.hpp"
#include "app/qt/SurfaceView.hpp"

#include "app/AccessibleNames.hpp"
#include "app/WindowBindings.hpp"
#include "app/qt/WhenIdle.hpp"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMetaObject>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <functional>

namespace kalvotune::app {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// What the desktop's frame adds to the client area in the design (800 x 572 around
// 790 x 536), for the moments the real frame is not known yet.
constexpr int kDesignFrameWidth{10};
constexpr int kDesignFrameHeight{36};

constexpr const char* kWindowStyle{
    "QWidget#WindowBody { background: rgb(0,0,255); }"
    "QWidget { font-family: 'MS Sans Serif', 'DejaVu Sans'; font-size: 8pt; color: rgb(255,255,0); }"
    "QToolButton { font-family: Impact, 'DejaVu Sans Condensed', 'DejaVu Sans'; font-size: 8pt;"
    "  color: rgb(255,255,0); background: transparent; border: none; padding: 0; }"
    "QToolButton:hover { border: 1px solid rgb(255,255,0); }"
    "QToolButton:disabled { color: rgb(128,128,160); }"
    "QLabel#StaticText1, QLabel#ClockTrack { background: rgb(0,0,255); color: rgb(0,255,255); font-size: 10pt; }"
    "QLabel#Label1 { font-family: Impact, 'DejaVu Sans Condensed', 'DejaVu Sans'; }"
    "QFrame#Panel1 { background: black; border: 2px inset rgb(0,0,128); }"
    "QFrame#Panel2 { background: rgb(0,0,200); border: 1px inset rgb(0,0,128); }"
    "QFrame#Panel3 { background: rgb(255,0,0); }"
    "QListWidget#ListBox1, QListWidget#ListBox2 { background: rgb(0,0,128); font-family: 'Book Antiqua';"
    "  font-size: 12pt; font-weight: bold; color: rgb(255,255,0); }"
    "QListWidget#ListBox2 { font-size: 11pt; font-weight: normal; }"
    "QListWidget#ListBox3, QListWidget#ListBox5 { background: black; font-family: 'Arial Narrow';"
    "  font-size: 12pt; font-weight: bold; color: rgb(255,255,0); }"
    "QListWidget#ListBox4 { background: rgb(0,128,0); }"
    "QListWidget::item:selected { background: rgb(0,0,255); color: white; }"
    "QPushButton { color: black; }"
    "QMenu { color: black; }"};

/// Watches every key press of the application. A key press travels from the focus widget
/// up to the window; it counts once, at its first receiver. While `preview` is set every
/// character key of the window counts, whatever widget has the focus (auto-repeat
/// included); otherwise only keys that go to the window itself, no widget having the focus.
class KeyPreviewFilter : public QObject {
public:
    KeyPreviewFilter(QWidget* window, const bool& preview, std::function<void(const std::string&)> keyPress)
        : QObject{window}
        , m_window{window}
        , m_preview{preview}
        , m_keyPress{std::move(keyPress)}
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget->window() != m_window)
            return false;
        QWidget* focus = QApplication::focusWidget();
        if (widget != (focus != nullptr ? focus : m_window))
            return false;
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (!text.isEmpty() && (m_preview || widget == m_window))
            m_keyPress(text.toStdString());
        return false;
    }

private:
    QWidget* m_window;
    const bool& m_preview;
    std::function<void(const std::string&)> m_keyPress;
};

} // namespace

MainWindow::MainWindow(Kalvotune& app)
    : m_app{app}
    , m_form{app.form()}
{
    setObjectName("MainWindow");
    setMinimumSize(320, 200);
    // The window's colours live on a body that fills it, not on the window itself: a
    // style sheet set on the window would also reach every dialog and menu opened over
    // it, which keep the desktop's palette.
    m_body = new QWidget{this};
    m_body->setObjectName("WindowBody");
    m_body->setAttribute(Qt::WA_StyledBackground);
    m_body->setStyleSheet(kWindowStyle);
    resize(m_form.clientWidth, m_form.clientHeight);

    // Each control lies in the window or in the control its binding names, built before it.
    for (const WidgetBinding& binding : WindowBindings()) {
        Control* control = m_form.Find(std::string{binding.widget});
        if (control == nullptr || binding.kind == WidgetKind::MenuItem)
            continue;
        QWidget* parent = m_body;
        if (!binding.place.empty())
            parent = m_widgets.at(m_form.Find(std::string{binding.place}));
        Build(*control, binding, parent);
    }

    for (const auto& [name, nodes] :
        std::initializer_list<std::pair<std::string, const std::vector<MenuNode>*>>{{"PopupMenu1", &m_form.WindowMenu},
            {"PopupMenu2", &m_form.ListMenu}, {"PopupMenu3", &m_form.MyListsMenu}, {"PopupMenu4", &m_form.PathsMenu}}) {
        QMenu* menu = BuildMenu(*nodes, new QMenu{this});
        connect(menu, &QMenu::aboutToShow, this, [this, name] { Forward([this, name] { m_app.MenuPopup(name); }); });
        m_menus[name] = menu;
    }
    m_windowMenu = m_menus.at("PopupMenu1");

    for (TimerControl* timer : m_form.AllTimers()) {
        auto* qtimer = new QTimer{this};
        qtimer->setTimerType(Qt::PreciseTimer);
        connect(
            qtimer, &QTimer::timeout, this, [this, timer] { Forward([this, timer] { m_app.TimerFired(*timer); }); });
        m_timers[timer] = qtimer;
    }

    qApp->installEventFilter(new KeyPreviewFilter{this, m_form.keyPreview,
        [this](const std::string& character) { Forward([this, character] { m_app.KeyPress(character); }); }});
}

QWidget* MainWindow::Build(Control& control, const WidgetBinding& binding, QWidget* parent)
{
    QWidget* widget = nullptr;
    switch (binding.kind) {
    case WidgetKind::List: {
        auto& list = static_cast<ListBox&>(control);
        auto* box = new QListWidget{parent};
        box->setSelectionMode(
            list.multiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        box->setTextElideMode(Qt::ElideNone);
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QListWidget::itemSelectionChanged, this, [this, &list, box] {
            if (!m_syncing)
                ListSelectionChanged(list, box);
        });
        box->viewport()->installEventFilter(this);
        if (!binding.contextMenu.empty()) {
            const std::string menu{binding.contextMenu};
            connect(box, &QListWidget::customContextMenuRequested, this,
                [this, menu, box](const QPoint& at) { m_menus.at(menu)->popup(box->viewport()->mapToGlobal(at)); });
        }
        widget = box;
        break;
    }
    case WidgetKind::Slider: {
        auto& bar = static_cast<TrackBar&>(control);
        auto* slider = new QSlider{Qt::Horizontal, parent};
        slider->setRange(bar.min, bar.max);
        slider->setSingleStep(binding.sliderStep);
        slider->setPageStep(binding.sliderStep);
        slider->setTickInterval(binding.sliderTicks);
        slider->setTickPosition(QSlider::TicksBelow);
        connect(slider, &QSlider::valueChanged, this, [this, &bar](int value) {
            if (!m_syncing)
                Forward([this, &bar, value] { m_app.TrackBarMoved(bar.name, value); });
        });
        widget = slider;
        break;
    }
    case WidgetKind::Picture:
        m_surfaceView = new SurfaceView{m_form.surface, parent};
        widget = m_surfaceView;
        break;
    case WidgetKind::Panel: {
        auto* frame = new QFrame{parent};
        frame->setCursor(Qt::ArrowCursor);
        widget = frame;
        break;
    }
    case WidgetKind::Label:
    case WidgetKind::Link:
        widget = new QLabel{parent};
        break;
    case WidgetKind::PushButton: {
        auto* button = new QPushButton{parent};
        connect(button, &QPushButton::clicked, this,
            [this, &control] { Forward([this, &control] { m_app.Click(control.name); }); });
        widget = button;
        break;
    }
    default: {
        auto* button = new QToolButton{parent};
        button->setAutoRaise(true);
        QPalette palette = button->palette();
        palette.setColor(QPalette::ButtonText, QColor{255, 255, 0});
        palette.setColor(QPalette::WindowText, QColor{255, 255, 0});
        button->setPalette(palette);
        connect(button, &QToolButton::clicked, this,
            [this, &control] { Forward([this, &control] { m_app.Click(control.name); }); });
        widget = button;
        break;
    }
    }
    if (binding.pointingHand)
        widget->setCursor(Qt::PointingHandCursor);
    widget->setObjectName(Q(control.name));
    widget->setAccessibleName(Q(AccessibleName(control)));
    widget->installEventFilter(this);
    m_widgets[&control] = widget;
    m_bindings[&control] = &binding;
    return widget;
}

QMenu* MainWindow::BuildMenu(const std::vector<MenuNode>& nodes, QMenu* menu)
{
    // Items with a hint show it when hovered; the others show nothing.
    menu->setToolTipsVisible(true);
    for (const MenuNode& node : nodes) {
        MenuItem* item = node.item;
        if (item->separator) {
            m_actions[item] = menu->addSeparator();
            continue;
        }
        if (!node.children.empty()) {
            QMenu* sub = BuildMenu(node.children, menu->addMenu(Q(item->caption)));
            m_actions[item] = sub->menuAction();
            continue;
        }
        QAction* action = menu->addAction(Q(item->caption));
        if (const WidgetBinding* binding = FindBinding(item->name); binding != nullptr && !binding->shortcut.empty())
            action->setShortcut(QKeySequence{Q(std::string{binding->shortcut})});
        action->setShortcutContext(Qt::WindowShortcut);
        action->setCheckable(item->autoCheck || item->radioGroup != 0 || item->checked);
        if (!item->hint.empty())
            action->setToolTip(Q(item->hint));
        if (item->radioGroup != 0) {
            // One exclusive group shows radio marks; the model decides what stays ticked.
            QActionGroup*& group = m_radioGroups[item->radioGroup];
            if (group == nullptr)
                group = new QActionGroup{this};
            group->addAction(action);
        }
        // Shortcuts work while the menu is closed, so the window carries the actions too.
        addAction(action);
        connect(
            action, &QAction::triggered, this, [this, item] { Forward([this, item] { m_app.Click(item->name); }); });
        m_actions[item] = action;
    }
    return menu;
}

template <typename F> void MainWindow::Forward(F&& handler)
{
    // Every event passes here: Qt cannot carry an exception through its event loop, so
    // the model catches and shows it, and the window mirrors whatever state it left.
    m_app.HandleEvent(std::forward<F>(handler));
    Sync();
}

void MainWindow::Run(const std::function<void()>& handler)
{
    Forward(handler);
}

void MainWindow::ListSelectionChanged(ListBox& model, QListWidget* widget)
{
    for (int i = 0; i < model.Count() && i < widget->count(); ++i)
        model.SetSelected(i, widget->item(i)->isSelected());
    model.itemIndex = widget->currentRow();
    m_listRevisions[&model] = model.revision;
    // A change made with the keyboard is a click; one made with the mouse is part of the
    // click its press gives.
    if (!m_listPressed && m_bindings.at(&model)->click != nullptr)
        Forward([this, &model] { m_app.Click(model.name); });
}

bool MainWindow::ListMouseEvent(ListBox& model, QListWidget* widget, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    // The right button only opens the list's menu: the selection it acts on stays.
    if (mouse->button() == Qt::RightButton)
        return true;
    if (mouse->button() != Qt::LeftButton)
        return false;
    const bool clicks = m_bindings.at(&model)->click != nullptr;
    // Every press is a click, also on the entry that is already selected and on the empty
    // space below the entries; a double click counts wherever it lands. Both run once the
    // box has handled the press.
    m_listPressed = true;
    QMetaObject::invokeMethod(
        this,
        [this, &model, widget, clicks, doubleClick = type == QEvent::MouseButtonDblClick] {
            m_listPressed = false;
            ListSelectionChanged(model, widget);
            if (doubleClick)
                Forward([this, &model] { m_app.DoubleClick(model.name); });
            else if (clicks)
                Forward([this, &model] { m_app.Click(model.name); });
        },
        Qt::QueuedConnection);
    return false;
}

void MainWindow::SyncList(ListBox& model, QListWidget* widget)
{
    auto& seen = m_listRevisions[&model];
    if (seen == model.revision && widget->count() == model.Count())
        return;
    seen = model.revision;
    if (widget->count() != model.Count()) {
        widget->clear();
        for (const std::string& text : model.Items()) {
            widget->addItem(Q(text));
            widget->item(widget->count() - 1)->setData(Qt::AccessibleTextRole, Q(AccessibleItemText(text)));
        }
    } else {
        for (int i = 0; i < model.Count(); ++i) {
            const QString text = Q(model.Item(i));
            if (widget->item(i)->text() != text) {
                widget->item(i)->setText(text);
                widget->item(i)->setData(Qt::AccessibleTextRole, Q(AccessibleItemText(model.Item(i))));
            }
        }
    }
    for (int i = 0; i < model.Count(); ++i)
        widget->item(i)->setSelected(model.Selected(i));
}

void MainWindow::Sync()
{
    m_syncing = true;
    if (m_shownCaption != m_form.caption) {
        m_shownCaption = m_form.caption;
        setWindowTitle(Q(m_form.caption));
    }
    for (auto& [control, widget] : m_widgets) {
        // Only what changed since the last mirror touches the widget: this runs after
        // every pattern tick.
        Shown& shown = m_shown[control];
        const bool captionChanged = shown.caption != control->caption;
        if (captionChanged) {
            shown.caption = control->caption;
            if (auto* button = qobject_cast<QAbstractButton*>(widget))
                button->setText(Q(control->caption));
            else if (auto* label = qobject_cast<QLabel*>(widget))
                label->setText(Q(control->caption));
        }
        if (shown.hint != control->hint) {
            shown.hint = control->hint;
            widget->setToolTip(Q(control->hint));
            widget->setAccessibleName(Q(AccessibleName(*control)));
        }
        const QRect design{control->left, control->top, control->width, control->height};
        if (captionChanged || shown.design != design) {
            shown.design = design;
            // Fonts differ from the design's; a caption never gets clipped by its design width.
            QRect geometry = design;
            if (qobject_cast<QToolButton*>(widget) != nullptr || qobject_cast<QLabel*>(widget) != nullptr) {
                geometry.setWidth(std::max(design.width(), widget->sizeHint().width()));
                if (m_bindings.at(control)->growsLeft)
                    geometry.moveLeft(design.left() - (geometry.width() - design.width()));
            }
            widget->setGeometry(geometry);
        }
        if (widget->isVisibleTo(widget->parentWidget()) != control->visible)
            widget->setVisible(control->visible);
        if (widget->isEnabled() != control->enabled)
            widget->setEnabled(control->enabled);
        if (auto* list = qobject_cast<QListWidget*>(widget))
            SyncList(*static_cast<ListBox*>(control), list);
        else if (auto* slider = qobject_cast<QSlider*>(widget))
            slider->setValue(static_cast<TrackBar*>(control)->position);
    }
    for (auto& [item, action] : m_actions) {
        if (item->separator)
            continue;
        if (action->isEnabled() != item->enabled)
            action->setEnabled(item->enabled);
        if (action->isVisible() != item->visible)
            action->setVisible(item->visible);
        Shown& shown = m_shown[item];
        if (shown.caption != item->caption) {
            shown.caption = item->caption;
            action->setText(Q(item->caption));
        }
        if (shown.hint != item->hint) {
            shown.hint = item->hint;
            action->setToolTip(Q(item->hint));
        }
        if (item->checked && !action->isCheckable())
            action->setCheckable(true);
        if (action->isCheckable() && action->isChecked() != item->checked)
            action->setChecked(item->checked);
    }
    for (auto& [timer, qtimer] : m_timers) {
        if (!timer->enabled) {
            qtimer->stop();
        } else if (!qtimer->isActive() || qtimer->interval() != timer->interval) {
            qtimer->start(std::max(1, timer->interval));
        }
    }
    const bool onTop = (windowFlags() & Qt::WindowStaysOnTopHint) != 0;
    const bool frameless = (windowFlags() & Qt::FramelessWindowHint) != 0;
    if (onTop != m_form.stayOnTop || frameless != m_form.frameless) {
        const bool shown = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, m_form.stayOnTop);
        setWindowFlag(Qt::FramelessWindowHint, m_form.frameless);
        if (shown)
            show();
    }
    if (m_placement != m_form.placementRevision) {
        m_placement = m_form.placementRevision;
        // The model places the outer frame; a top-level widget's move() does the same.
        QSize frame{0, 0};
        if (!m_form.frameless) {
            frame = frameGeometry().size() - size();
            if (frame.isEmpty())
                frame = QSize{kDesignFrameWidth, kDesignFrameHeight};
        }
        // Placing the window also ends a maximised or minimised state, which would keep it
        // from moving (leaving full screen restores a normal window).
        if ((windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)) != 0)
            setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
        move(m_form.windowLeft, m_form.windowTop);
        resize(m_form.windowWidth - frame.width(), m_form.windowHeight - frame.height());
    }
    m_surfaceView->ShowNewFrame();
    m_syncing = false;
    if (m_form.closeRequested && !m_closing)
        QTimer::singleShot(0, this, [this] { close(); });
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_closing) {
        m_closing = true;
        for (auto& [timer, qtimer] : m_timers)
            qtimer->stop();
        m_app.HandleEvent([this] { m_app.FormCloseQuery(); });
    }
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_body->setGeometry(rect());
    Forward([this] { m_app.Resize(width(), height()); });
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event)
{
    m_windowMenu->popup(event->globalPos());
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Forward([this] { m_app.DoubleClick("Form1"); });
}

void MainWindow::wheelEvent(QWheelEvent* event)
{
    // Only vertical turns zoom; the model counts whole notches of 120.
    const int delta = event->angleDelta().y();
    if (delta != 0)
        Forward([this, delta] { m_app.MouseWheel(delta); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick
        && type != QEvent::MouseMove && type != QEvent::ContextMenu)
        return false;
    for (auto& [control, widget] : m_widgets) {
        if (auto* list = qobject_cast<QListWidget*>(widget); list != nullptr && watched == list->viewport())
            return ListMouseEvent(*static_cast<ListBox*>(control), list, event);
        if (widget != watched)
            continue;
        const bool isList = qobject_cast<QListWidget*>(widget) != nullptr;
        const bool ownMouse
            = qobject_cast<QAbstractButton*>(widget) != nullptr || qobject_cast<QSlider*>(widget) != nullptr;
        if (type == QEvent::ContextMenu) {
            if (isList)
                return false;
            // Over the panels, the picture and the labels a right click opens the menu once
            // the button is released (below), after the control has had the release like
            // any other button's.
            if (ownMouse || static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Mouse)
                m_windowMenu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        if (isList || ownMouse)
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int x = static_cast<int>(mouse->position().x());
        const int y = static_cast<int>(mouse->position().y());
        const std::string name = control->name;
        const bool right = type != QEvent::MouseMove && mouse->button() == Qt::RightButton;
        if (type == QEvent::MouseButtonRelease) {
            // Any button seeks on the strip and ends a drag of the picture; "About" is a
            // click, a left-button thing.
            if (m_bindings.at(control)->kind != WidgetKind::Link)
                Forward([this, name, x, y] { m_app.MouseUp(name, x, y); });
            else if (!right)
                Forward([this, name] { m_app.Click(name); });
            if (right && m_rightPressed) {
                m_rightPressed = false;
                m_windowMenu->popup(mouse->globalPosition().toPoint());
            }
        } else if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            m_rightPressed = m_rightPressed || right;
            // The second press of a double click is a press like the first.
            Forward([this, name, x, y] { m_app.MouseDown(name, x, y); });
        } else if (type == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton) != 0) {
            Forward([this, name, x, y] { m_app.MouseMove(name, x, y, true); });
        }
        // The event ends with the control it happened on: a release over the picture must
        // not seek through the panel behind it, nor a double click there switch full screen.
        return true;
    }
    return false;
}

void MainWindow::SetDropHandler(std::function<void(const std::vector<std::filesystem::path>&)> dropped)
{
    m_dropped = std::move(dropped);
    setAcceptDrops(static_cast<bool>(m_dropped));
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    std::vector<std::filesystem::path> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.emplace_back(url.toLocalFile().toStdString());
    if (paths.empty() || !m_dropped)
        return;
    event->acceptProposedAction();
    // The drag source waits for the drop to end; the tracks are added right after it.
    RunWhenIdle(this, [this, paths] { Forward([this, &paths] { m_dropped(paths); }); });
}

} // namespace kalvotune::app
