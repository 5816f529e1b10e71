#include "ui/fltk/fltk_toolkit.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <type_traits>

#include "platform/disks.h"
#include "ui/fltk/app_window.h"
#include "ui/fltk/controls.h"
#include "ui/fltk/dialogs.h"
#include "ui/fltk/event_queue.h"
#include "ui/fltk/images.h"
#include "ui/fltk/interface_thread.h"
#include "ui/fltk/menu_bar.h"
#include "ui/fltk/text.h"
#include "ui/native.h"

namespace ui::fltk {
namespace {

// The usual sans face is wider than the 8-point face the layout was made for; at 10 px its
// texts take about the same room.
constexpr Fl_Fontsize kDefaultFontSize = 10;

Fl_Font FindFont(const std::string& face) {
    Fl_Font count = Fl::set_fonts(nullptr);
    for (Fl_Font font = 0; font < count; ++font) {
        int attributes = 0;
        const char* name = Fl::get_font_name(font, &attributes);
        if (attributes == 0 && name && strcasecmp(name, face.c_str()) == 0) return font;
    }
    return -1;
}

class FltkToolkit : public Toolkit {
public:
    FltkToolkit();
    ~FltkToolkit() override;

    void PostEvent(const Event& event) {
        events_.Push(event);
        Fl::awake();
    }

    bool SetDefaultFont(const std::string& face, int points) override;
    void RegisterImage(int number, const Image& image) override;

    bool OpenWindow(const WindowSpec& spec) override;
    void CloseWindow(int window) override;
    bool WindowExists(int window) const override;
    void EnableWindow(int window, bool enable) override;
    void ActivateWindow(int window) override;
    Rect WindowFrame(int window) const override;
    void MoveWindow(int window, int x, int y) override;
    void SetWindowTitle(int window, const std::string& title) override;
    Size DesktopSize() const override;

    void SetMenuBar(int window, const std::vector<Menu>& menus) override;
    void SetMenuTitle(int menu, const std::string& title) override;
    void EnableMenuItem(int item, bool enable) override;

    void CreateControl(int window, int id, ControlKind kind, Rect rect, const std::string& text,
                       const std::string& toolTip, const ControlStyle& style) override;
    void SetText(int id, const std::string& text) override;
    std::string GetText(int id) const override;
    void SetState(int id, int state) override;
    int GetState(int id) const override;
    void EnableControl(int id, bool enable) override;
    bool ControlEnabled(int id) const override;
    Rect ControlScreenRect(int id) const override;
    Size ControlSize(int id) const override;

    void ClearItems(int id) override;
    void AddItem(int id, const std::string& text, int level) override;
    int ItemCount(int id) const override;
    std::string ItemText(int id, int index) const override;
    int ItemLevel(int id, int index) const override;
    void SelectItem(int id, int index) override;
    int SelectedItem(int id) const override;

    std::optional<Event> WaitEvent(int timeoutMs) override;
    std::optional<std::pair<int, int>> CursorPosition() const override;

    Answer MessageBox(const std::string& title, const std::string& text, Icon icon,
                      Buttons buttons) override;
    std::string OpenFileRequester(const std::string& title, const std::string& file,
                                  const std::vector<FileFilter>& filters, int filterIndex) override;
    std::string SaveFileRequester(const std::string& title, const std::string& file,
                                  const std::vector<FileFilter>& filters, int filterIndex) override;
    std::string FolderRequester(const std::string& title, const std::string& folder) override;

    Size MeasureText(const std::string& text) const override;
    void PaintStatus(int id, const StatusPaint& paint) override;
    std::unique_ptr<TaskbarProgress> CreateTaskbarProgress(int window, int64_t minimum,
                                                           int64_t maximum) override;
    void Shutdown() override;

private:
    struct ControlEntry {
        int window;
        Control* control;
    };

    AppWindow* FindWindow(int window) const;
    Control* Find(int id) const;
    void PlaceWindow(AppWindow& window, const WindowSpec& spec) const;
    bool DoOpenWindow(const WindowSpec& spec);
    void DoCloseWindow(int window);
    void DoSetMenuBar(int window, const std::vector<Menu>& menus);
    void DoCreateControl(int window, int id, ControlKind kind, Rect rect, const std::string& text,
                         const std::string& toolTip, const ControlStyle& style);
    std::optional<Event> DoWaitEvent(int timeoutMs);
    void OnDeviceChange();

    // Runs f on the control under the FLTK lock; a missing control gives R().
    template <class F, class R = std::invoke_result_t<F, Control&>>
    R WithControl(int id, F&& f) const {
        return thread_.Locked([&]() -> R {
            if (Control* control = Find(id)) return f(*control);
            if constexpr (!std::is_void_v<R>) return R();
        });
    }

    InterfaceThread thread_;
    EventQueue events_;
    ImageStore images_;
    std::map<int, std::unique_ptr<AppWindow>> windows_;
    std::map<int, ControlEntry> controls_;
    std::atomic<int> mainWindow_{-1};  // the open window of WindowStyle::Main; -1: none
    std::unique_ptr<platform::DeviceWatch> deviceWatch_;  // last, so it stops first
};

FltkToolkit::FltkToolkit() {
    thread_.Locked([] {
        fl_open_display();
        Fl_Window::default_xclass("stickforge");
        RegisterPlainLabel();
        FL_NORMAL_SIZE = kDefaultFontSize;
        Fl::scheme("gtk+");
        Fl::background(240, 240, 240);  // the usual button face of desktop dialogs
    });
    deviceWatch_ = platform::WatchDeviceChanges([this] { OnDeviceChange(); });
}

FltkToolkit::~FltkToolkit() {
    thread_.Locked([this] {
        controls_.clear();
        windows_.clear();
    });
}

AppWindow* FltkToolkit::FindWindow(int window) const {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.get();
}

Control* FltkToolkit::Find(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second.control;
}

// Windows, menus, controls.

bool FltkToolkit::SetDefaultFont(const std::string& face, int points) {
    return thread_.Locked([&] {
        Fl_Font font = FindFont(face);
        if (font < 0) return false;
        // Every widget uses FL_HELVETICA unless told otherwise, so that slot takes the face.
        Fl::set_font(FL_HELVETICA, font);
        FL_NORMAL_SIZE = Fl_Fontsize(std::lround(points * 96.0 / 72.0));  // 96 dots per inch
        return true;
    });
}

void FltkToolkit::RegisterImage(int number, const Image& image) {
    thread_.Locked([&] { images_.Register(number, image); });
}

bool FltkToolkit::OpenWindow(const WindowSpec& spec) {
    return thread_.OnInterfaceThread([&] { return DoOpenWindow(spec); });
}

bool FltkToolkit::DoOpenWindow(const WindowSpec& spec) {
    if (windows_.count(spec.id)) return false;
    Fl_Group::current(nullptr);
    auto& window = windows_[spec.id] = std::make_unique<AppWindow>(spec, events_);
    if (spec.style == WindowStyle::Main) mainWindow_ = spec.id;
    // A dialog over a parent stays above it, as an owned window does.
    if (spec.style == WindowStyle::Dialog && spec.parent >= 0) window->set_non_modal();
    PlaceWindow(*window, spec);
    window->show();
    return true;
}

// Centred over the parent or the screen, but never off the screen's top or left.
void FltkToolkit::PlaceWindow(AppWindow& window, const WindowSpec& spec) const {
    if (spec.position) return window.position(spec.position->x, spec.position->y);
    int screenX, screenY, screenW, screenH;
    Fl::screen_work_area(screenX, screenY, screenW, screenH, 0);
    Rect area{screenX, screenY, screenW, screenH};
    if (AppWindow* parent = FindWindow(spec.parent))
        area = {parent->x(), parent->y(), parent->w(), parent->h()};
    window.position(std::max(screenX, area.x + (area.w - window.w()) / 2),
                    std::max(screenY, area.y + (area.h - window.h()) / 2));
}

void FltkToolkit::CloseWindow(int window) {
    thread_.OnInterfaceThread([&] { DoCloseWindow(window); });
}

void FltkToolkit::DoCloseWindow(int window) {
    auto it = windows_.find(window);
    if (it == windows_.end()) return;
    std::erase_if(controls_, [window](const auto& entry) { return entry.second.window == window; });
    if (mainWindow_ == window) mainWindow_ = -1;
    Fl::delete_widget(it->second.release());  // later: a handler of the window may be running
    windows_.erase(it);
}

void FltkToolkit::Shutdown() {
    if (!thread_.IsCurrent()) return;
    thread_.Close();
    thread_.Locked([this] {
        while (!windows_.empty()) {
            windows_.begin()->second->hide();
            DoCloseWindow(windows_.begin()->first);
        }
        Fl::flush();
    });
}

bool FltkToolkit::WindowExists(int window) const {
    return thread_.Locked([&] { return FindWindow(window) != nullptr; });
}

void FltkToolkit::EnableWindow(int window, bool enable) {
    thread_.Locked([&] {
        if (AppWindow* found = FindWindow(window)) found->SetEnabled(enable);
    });
}

void FltkToolkit::ActivateWindow(int window) {
    thread_.OnInterfaceThread([&] {
        if (AppWindow* found = FindWindow(window)) found->show();  // raises a shown window
    });
}

Rect FltkToolkit::WindowFrame(int window) const {
    return thread_.Locked([&] {
        AppWindow* found = FindWindow(window);
        if (!found) return Rect{};
        auto [x, y] = found->RestoredPosition();
        return Rect{x, y, found->decorated_w(), found->decorated_h()};
    });
}

void FltkToolkit::MoveWindow(int window, int x, int y) {
    thread_.OnInterfaceThread([&] {
        if (AppWindow* found = FindWindow(window)) found->position(x, y);
    });
}

void FltkToolkit::SetWindowTitle(int window, const std::string& title) {
    thread_.OnInterfaceThread([&] {
        if (AppWindow* found = FindWindow(window)) found->copy_label(title.c_str());
    });
}

Size FltkToolkit::DesktopSize() const {
    return thread_.Locked([] { return Size{Fl::w(), Fl::h()}; });
}

void FltkToolkit::SetMenuBar(int window, const std::vector<Menu>& menus) {
    thread_.OnInterfaceThread([&] { DoSetMenuBar(window, menus); });
}

void FltkToolkit::DoSetMenuBar(int window, const std::vector<Menu>& menus) {
    AppWindow* found = FindWindow(window);
    if (!found) return;
    Fl_Group::current(nullptr);
    found->SetMenu(new MenuBar(found->w(), AppWindow::kMenuBarHeight, menus, images_));
}

void FltkToolkit::SetMenuTitle(int menu, const std::string& title) {
    thread_.Locked([&] {
        for (auto& [id, window] : windows_)
            if (window->Menu() && window->Menu()->SetTitle(menu, title)) return;
    });
}

void FltkToolkit::EnableMenuItem(int item, bool enable) {
    thread_.Locked([&] {
        for (auto& [id, window] : windows_)
            if (window->Menu() && window->Menu()->Enable(item, enable)) return;
    });
}

void FltkToolkit::CreateControl(int window, int id, ControlKind kind, Rect rect,
                                const std::string& text, const std::string& toolTip,
                                const ControlStyle& style) {
    thread_.Locked([&] { DoCreateControl(window, id, kind, rect, text, toolTip, style); });
}

void FltkToolkit::DoCreateControl(int window, int id, ControlKind kind, Rect rect,
                                  const std::string& text, const std::string& toolTip,
                                  const ControlStyle& style) {
    AppWindow* parent = FindWindow(window);
    if (!parent || controls_.count(id)) return;
    ControlParams params{kind, id, rect, text, style, images_.Find(style.image), 0};
    params.rect.y += parent->Top();
    if (kind == ControlKind::OptionButton)
        params.optionGroup = parent->OptionGroup(style.optionGroupStart);
    Control* control = MakeControl(params);
    Fl_Widget& widget = control->Widget();
    if (!toolTip.empty()) widget.copy_tooltip(toolTip.c_str());
    parent->add(widget);
    widget.redraw();
    controls_[id] = {window, control};
}

void FltkToolkit::SetText(int id, const std::string& text) {
    WithControl(id, [&](Control& control) { control.SetText(text); });
}

std::string FltkToolkit::GetText(int id) const {
    return WithControl(id, [](Control& control) { return control.Text(); });
}

void FltkToolkit::SetState(int id, int state) {
    WithControl(id, [&](Control& control) { control.SetState(state); });
}

int FltkToolkit::GetState(int id) const {
    return WithControl(id, [](Control& control) { return control.State(); });
}

void FltkToolkit::EnableControl(int id, bool enable) {
    WithControl(id, [&](Control& control) {
        if (enable)
            control.Widget().activate();
        else
            control.Widget().deactivate();
    });
}

bool FltkToolkit::ControlEnabled(int id) const {
    return WithControl(id, [](Control& control) { return control.Widget().active() != 0; });
}

Rect FltkToolkit::ControlScreenRect(int id) const {
    return WithControl(id, [](Control& control) {
        Fl_Widget& widget = control.Widget();
        Fl_Window* window = widget.window();
        return Rect{window->x() + widget.x(), window->y() + widget.y(), widget.w(), widget.h()};
    });
}

Size FltkToolkit::ControlSize(int id) const {
    return WithControl(id, [](Control& control) {
        return Size{control.Widget().w(), control.Widget().h()};
    });
}

// Items.

void FltkToolkit::ClearItems(int id) {
    WithControl(id, [](Control& control) { control.ClearItems(); });
}

void FltkToolkit::AddItem(int id, const std::string& text, int level) {
    WithControl(id, [&](Control& control) { control.AddItem(text, level); });
}

int FltkToolkit::ItemCount(int id) const {
    return WithControl(id, [](Control& control) { return control.ItemCount(); });
}

std::string FltkToolkit::ItemText(int id, int index) const {
    return WithControl(id, [&](Control& control) { return control.ItemText(index); });
}

int FltkToolkit::ItemLevel(int id, int index) const {
    return WithControl(id, [&](Control& control) { return control.ItemLevel(index); });
}

void FltkToolkit::SelectItem(int id, int index) {
    WithControl(id, [&](Control& control) { control.SelectItem(index); });
}

int FltkToolkit::SelectedItem(int id) const {
    return thread_.Locked([&] {
        Control* control = Find(id);
        return control ? control->SelectedItem() : -1;
    });
}

// Events.

std::optional<Event> FltkToolkit::WaitEvent(int timeoutMs) {
    if (!thread_.IsCurrent()) return events_.Wait(timeoutMs);
    return thread_.Locked([&] { return DoWaitEvent(timeoutMs); });
}

std::optional<Event> FltkToolkit::DoWaitEvent(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto left = [&] { return std::chrono::duration<double>(deadline - Clock::now()).count(); };
    do {
        if (auto event = events_.Pop()) {
            Fl::flush();  // show what the event changed before the program acts on it
            return event;
        }
        Fl::wait(std::max(0.0, left()));
    } while (left() > 0);
    return events_.Pop();
}

// As with WM_DEVICECHANGE, the main window hears of device changes while it is open. The
// watch thread must not wait for the FLTK lock: the interface thread holds it while it
// stops the watch.
void FltkToolkit::OnDeviceChange() {
    int window = mainWindow_;
    if (window >= 0) PostEvent({EventKind::DeviceChange, window, 0});
}

std::optional<std::pair<int, int>> FltkToolkit::CursorPosition() const {
    return thread_.Locked([] {
        int x = 0, y = 0;
        Fl::get_mouse(x, y);
        return std::optional<std::pair<int, int>>({x, y});
    });
}

// Dialogs.

Answer FltkToolkit::MessageBox(const std::string& title, const std::string& text, Icon icon,
                               Buttons buttons) {
    return thread_.OnInterfaceThread([&] { return RunMessageBox(title, text, icon, buttons); },
                                     DecliningAnswer(buttons));
}

std::string FltkToolkit::OpenFileRequester(const std::string& title, const std::string& file,
                                           const std::vector<FileFilter>& filters,
                                           int filterIndex) {
    return thread_.OnInterfaceThread(
        [&] { return RunRequester(RequesterKind::Open, title, file, filters, filterIndex); });
}

std::string FltkToolkit::SaveFileRequester(const std::string& title, const std::string& file,
                                           const std::vector<FileFilter>& filters,
                                           int filterIndex) {
    return thread_.OnInterfaceThread(
        [&] { return RunRequester(RequesterKind::Save, title, file, filters, filterIndex); });
}

std::string FltkToolkit::FolderRequester(const std::string& title, const std::string& folder) {
    return thread_.OnInterfaceThread(
        [&] { return RunRequester(RequesterKind::Folder, title, folder, {}, 0); });
}

// Status area.

Size FltkToolkit::MeasureText(const std::string& text) const {
    return thread_.Locked([&] {
        int w = 0, h = 0;
        fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
        fl_measure(text.c_str(), w, h, 0);
        return Size{w, h};
    });
}

void FltkToolkit::PaintStatus(int id, const StatusPaint& paint) {
    WithControl(id, [&](Control& control) {
        control.Paint(paint);
        // The interface thread may go on working or sleeping before it waits again.
        if (thread_.IsCurrent()) Fl::flush();
    });
}

std::unique_ptr<TaskbarProgress> FltkToolkit::CreateTaskbarProgress(int, int64_t, int64_t) {
    return nullptr;  // no taskbar button progress on Linux desktops
}

}  // namespace
}  // namespace ui::fltk

namespace ui {

std::unique_ptr<Toolkit> CreateFltkToolkit() { return std::make_unique<fltk::FltkToolkit>(); }

std::unique_ptr<Toolkit> CreateNativeToolkit() { return CreateFltkToolkit(); }

void PostFltkEvent(Toolkit& toolkit, const Event& event) {
    if (auto* fltkToolkit = dynamic_cast<fltk::FltkToolkit*>(&toolkit))
        fltkToolkit->PostEvent(event);
}

}  // namespace ui
