#include "ui/fltk/app_window.h"

#include <FL/Fl.H>

#include <cstdint>

#include "ui/fltk/menu_bar.h"

namespace ui::fltk {
namespace {

bool IsInput(int event) {
    switch (event) {
        case FL_PUSH:
        case FL_RELEASE:
        case FL_DRAG:
        case FL_MOUSEWHEEL:
        case FL_KEYBOARD:
        case FL_KEYUP:
        case FL_SHORTCUT:
            return true;
        default:
            return false;
    }
}

}  // namespace

AppWindow::AppWindow(const WindowSpec& spec, EventQueue& events)
    : Fl_Double_Window(spec.client.w, spec.client.h), id_(spec.id), events_(events) {
    end();
    resizable(nullptr);  // fixed size, and children keep their places when the bar is added
    copy_label(spec.title.c_str());
    callback(OnClose);
}

void AppWindow::Post(EventKind kind, int id) { events_.Push({kind, id_, id}); }

int AppWindow::OptionGroup(bool start) {
    if (start) ++optionGroup_;
    return optionGroup_;
}

void AppWindow::SetMenu(MenuBar* menu) {
    if (menu_) {
        remove(menu_);
        Fl::delete_widget(menu_);  // its own pull-down may be running
    } else {
        MakeRoomForMenu();
    }
    menu_ = menu;
    insert(*menu_, 0);
    redraw();
}

void AppWindow::MakeRoomForMenu() {
    top_ = kMenuBarHeight;
    for (int i = 0; i < children(); ++i) child(i)->position(child(i)->x(), child(i)->y() + top_);
    size(w(), h() + top_);
}

std::pair<int, int> AppWindow::RestoredPosition() const {
    return minimisedFrom_.value_or(std::pair{x(), y()});
}

int AppWindow::handle(int event) {
    if (!enabled_ && IsInput(event)) return 0;
    // The window manager unmaps a minimised window, and may park it anywhere meanwhile.
    if (event == FL_HIDE && shown() && !minimisedFrom_) minimisedFrom_ = {x(), y()};
    if (event == FL_SHOW) minimisedFrom_.reset();
    if (event == FL_PUSH && Fl::event_button() == FL_LEFT_MOUSE && Fl::event_y() >= top_)
        Post(EventKind::LeftClick);
    return Fl_Double_Window::handle(event);
}

void AppWindow::OnClose(Fl_Widget* widget, void*) {
    auto* window = static_cast<AppWindow*>(widget);
    // FLTK also calls this for Escape; only the close box counts.
    if (Fl::event() == FL_CLOSE && window->enabled_) window->Post(EventKind::CloseBox);
}

void NotifyControl(Fl_Widget* widget, void* data) {
    auto* window = static_cast<AppWindow*>(widget->window());
    window->Post(EventKind::Control, int(reinterpret_cast<intptr_t>(data)));
}

void* ControlData(int id) { return reinterpret_cast<void*>(intptr_t(id)); }

}  // namespace ui::fltk
