// A window of the program: numbered, fixed size, with an optional menu bar above the
// client area. It turns close boxes and clicks into events and ignores input while disabled.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <optional>
#include <utility>

#include "ui/fltk/event_queue.h"
#include "ui/toolkit.h"

namespace ui::fltk {

class MenuBar;

class AppWindow : public Fl_Double_Window {
public:
    static constexpr int kMenuBarHeight = 25;

    AppWindow(const WindowSpec& spec, EventQueue& events);

    int Top() const { return top_; }  // client y = 0 in window coordinates
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    void Post(EventKind kind, int id = 0);

    // Number of the option group a new option button joins.
    int OptionGroup(bool start);

    MenuBar* Menu() const { return menu_; }
    // Puts the bar above the client area; the first bar makes the window taller.
    void SetMenu(MenuBar* menu);

    // The outer frame's top left corner; while minimised, where it was before.
    std::pair<int, int> RestoredPosition() const;

    int handle(int event) override;

private:
    static void OnClose(Fl_Widget* widget, void*);
    void MakeRoomForMenu();

    int id_;
    EventQueue& events_;
    bool enabled_ = true;
    int top_ = 0;
    int optionGroup_ = 0;
    MenuBar* menu_ = nullptr;
    std::optional<std::pair<int, int>> minimisedFrom_;
};

// Widget callback posting a Control event for the number carried by ControlData.
void NotifyControl(Fl_Widget* widget, void* data);
void* ControlData(int id);

}  // namespace ui::fltk
