// The headless toolkit: windows and controls exist as state, the status line goes to the
// terminal and message boxes are answered from the command line or a prompt.
#pragma once

#include <atomic>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "ui/toolkit.h"

namespace ui {

struct ConsoleOptions {
    bool assumeYes = false;  // answer OK / Yes without asking
    FILE* out = stdout;
    FILE* in = stdin;
};

class ConsoleToolkit : public Toolkit {
public:
    explicit ConsoleToolkit(ConsoleOptions options = {});
    ~ConsoleToolkit() override;

    // Queues an event for WaitEvent, as a click or key press would.
    void PostEvent(const Event& event);
    void SetCursor(int x, int y);
    void SetAssumeYes(bool assumeYes);  // how later questions are answered
    // What the file requesters answer from now on, as a path given on the command line
    // would; "" asks again (or takes the suggestion when nobody can answer).
    void SetFileAnswer(const std::string& path);
    // The answer of the next requester that asks (a folder one, or a file one without a
    // file answer), as a user would type it; "" = cancelled.
    void QueueRequesterAnswer(const std::string& answer);

    struct Control {
        int window = 0;
        ControlKind kind = ControlKind::Text;
        Rect rect;
        std::string text, toolTip;
        ControlStyle style;
        int state = 0;
        bool enabled = true;
        std::vector<std::pair<std::string, int>> items;  // text, level
        int selected = -1;
    };
    struct WindowState {
        WindowSpec spec;
        Rect frame;
        bool enabled = true;
        std::vector<Menu> menus;
    };
    // Snapshots for tests and the command line.
    std::map<int, Control> Controls() const;
    std::map<int, WindowState> Windows() const;
    std::vector<std::string> StatusLines() const;
    bool MenuItemEnabled(int item) const;  // items start enabled

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
    Control* Find(int id);
    const Control* Find(int id) const;
    Answer Ask(const std::string& prompt, Buttons buttons);
    std::string AskText(const std::string& prompt, const std::string& suggestion);
    std::string AskFile(const std::string& title, const std::string& suggestion);
    void EndProgressLine();

    ConsoleOptions options_;
    bool terminal_;
    bool progressLineOpen_ = false;
    mutable std::recursive_mutex mutex_;
    std::map<int, Control> controls_;
    std::map<int, WindowState> windows_;
    std::map<int, bool> menuItemsEnabled_;
    std::deque<Event> events_;
    std::deque<std::string> requesterAnswers_;
    std::vector<std::string> statusLines_;
    std::optional<std::pair<int, int>> cursor_;
    std::string fileAnswer_;
    std::atomic<bool> shutDown_{false};
};

}  // namespace ui
