// The toolkit on Win32 controls. Every window and control lives on the interface thread
// (the one that created the toolkit); calls from other threads are sent there in order.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "ui/win32/handles.h"
#include "ui/win32/interface_thread.h"
#include "ui/win32/status_area.h"
#include "ui/win32/win32.h"

namespace ui::win32 {

class Win32Toolkit;

inline Rect FromWin32(const RECT& rect) {
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

struct WindowEntry {
    Win32Toolkit* toolkit = nullptr;
    int id = 0;
    Size client;
    DWORD style = 0;
    HWND handle = nullptr;    // destroyed by CloseWindow or with its owner
    HWND toolTips = nullptr;  // owned by the window
    bool main = false;        // the window of WindowStyle::Main
    bool shown = false;
    std::vector<Bitmap> menuPictures;  // the menu items' icons
};

struct ControlEntry {
    int window = 0;
    ControlKind kind = ControlKind::Text;
    HWND handle = nullptr;                           // destroyed with its window
    std::vector<std::pair<std::string, int>> items;  // text, level
    std::vector<HTREEITEM> treeItems;                // tree views: the items in order
    Bitmap picture;                                  // image controls
    std::unique_ptr<StatusArea> status;              // drawing areas
    bool hovered = false;                            // link labels
    int textColour = -1;                             // texts: 0xRRGGBB, -1 = the system's
};

class Win32Toolkit final : public Toolkit {
public:
    Win32Toolkit();
    ~Win32Toolkit() override;

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
    struct MenuTitle {
        int window = 0;
        UINT position = 0;
    };

    // Windows (win32_toolkit.cpp).
    bool Open(const WindowSpec& spec);
    RECT InitialFrame(const WindowSpec& spec, DWORD style) const;
    RECT CentringArea(int parent) const;
    void FitClient(const WindowEntry& entry) const;
    void ShowPendingWindows();
    void Show(WindowEntry& entry);
    void Forget(int window);
    void DestroyAllWindows();
    WindowEntry* WindowOf(int window);
    HWND WindowHandle(int window) const;
    HWND MainHandle() const;
    HFONT DefaultFont() const;

    // Messages and events (events.cpp).
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    static LRESULT CALLBACK LinkProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR data);
    std::optional<LRESULT> OnMessage(WindowEntry& entry, UINT message, WPARAM wParam,
                                     LPARAM lParam);
    void OnCommand(const WindowEntry& entry, WPARAM wParam, LPARAM lParam);
    std::optional<LRESULT> TextColours(HDC dc, HWND control) const;
    std::optional<Event> NextEvent(int timeoutMs);
    void PumpMessages();
    bool IsNavigation(MSG& message);

    // Controls (controls.cpp, items.cpp).
    void Create(int window, int id, ControlKind kind, Rect rect, const std::string& text,
                const std::string& toolTip, const ControlStyle& style);
    void Decorate(ControlEntry& entry, const ControlStyle& style);
    void AddToolTip(WindowEntry& window, HWND control, const std::string& text);
    void SetControlText(ControlEntry& entry, const std::string& text);
    ControlEntry* ControlOf(int id);
    const ControlEntry* ControlOf(int id) const;
    const ControlEntry* ControlOf(int id, HWND handle) const;
    void Clear(ControlEntry& entry);
    void Add(ControlEntry& entry, const std::string& text, int level);
    void AddTreeItem(ControlEntry& entry, const std::string& text, int level);
    void Select(ControlEntry& entry, int index);
    int Selected(const ControlEntry& entry) const;

    // Menus (menus.cpp).
    void BuildMenuBar(WindowEntry& entry, const std::vector<Menu>& menus);
    void AddMenu(HMENU bar, const Menu& menu, WindowEntry& entry);
    void AddMenuItem(HMENU popup, const MenuItem& item, WindowEntry& entry);
    void ForgetMenus(int window);
    WindowEntry* MenuOwner(int id);

    // Dialogs (dialogs.cpp).
    std::string FileRequester(bool save, const std::string& title, const std::string& file,
                              const std::vector<FileFilter>& filters, int filterIndex);

    // Declared first, destroyed last: the hidden window that takes calls from other threads.
    std::shared_ptr<InterfaceThread> thread_;
    ComApartment com_;
    std::vector<Font> fonts_;  // every default font made; controls keep using theirs
    std::map<int, Image> images_;
    std::map<int, ControlEntry> controls_;
    std::map<int, WindowEntry> windows_;
    std::map<int, MenuTitle> menuTitles_;
    std::map<int, int> menuItems_;  // item -> window
    std::deque<Event> events_;
    bool settingText_ = false;  // edit changes made by the program raise no event
};

}  // namespace ui::win32
