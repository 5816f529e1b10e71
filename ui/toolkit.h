// The user-interface toolkit: numbered windows holding numbered controls, one event
// wait, message boxes, requesters and the status-bar drawing. The app is written once
// against this interface; each backend (win32, fltk, console) implements it.
//
// Every call may come from any thread. Backends marshal calls to the interface thread
// and keep their order; calls that return a value wait for it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
    bool operator==(const Rect&) const = default;
};

struct Size {
    int w = 0, h = 0;
    bool operator==(const Size&) const = default;
};

enum class ControlKind {
    GroupFrame,
    TreeView,
    DrawingArea,
    Button,
    LinkLabel,
    Text,
    CenteredText,
    Image,
    CheckBox,
    OptionButton,  // a new group starts with OptionGroupStart
    ComboBox,
    EditBox,
    ListBox,
};

// Extra properties of a control; most controls need none.
struct ControlStyle {
    bool disabled = false;
    bool optionGroupStart = false;  // first option button of a group
    int maxLength = 0;              // edit boxes: 0 = unlimited
    bool digitsOnly = false;        // edit boxes
    bool centred = false;           // edit boxes
    bool multiLine = false;         // edit boxes: wrapped lines, read-only
    int textColour = -1;            // texts: 0xRRGGBB, -1 = the system's
    int image = -1;                 // Image controls: program image number
};

enum class WindowStyle {
    Main,    // caption, system menu, minimise box, fixed size
    Dialog,  // caption, system menu, fixed size
};

struct WindowSpec {
    int id = 0;
    std::string title;
    Size client;
    std::optional<Rect> position;  // x, y of the outer frame; none = centred on parent/screen
    WindowStyle style = WindowStyle::Dialog;
    int parent = -1;  // centre over this window when no position is given
};

struct MenuItem {
    int id = 0;  // 0 = separator
    std::string text;
    int icon = -1;  // program image number, -1 = none
};

struct Menu {
    int id = 0;  // menu title id, so the title can change later
    std::string title;
    std::vector<MenuItem> items;
};

enum class EventKind { Control, Menu, CloseBox, LeftClick, DeviceChange };

struct Event {
    EventKind kind = EventKind::Control;
    int window = 0;
    int id = 0;  // control or menu item; 0 for close box and clicks
};

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct FileFilter {
    std::string name;     // "HFS image (*.hfs)"
    std::string pattern;  // "*.hfs"
};

// A picture carried in the program: 0xAARRGGBB pixels, row by row.
struct Image {
    int w = 0, h = 0;
    std::vector<uint32_t> pixels;
};

// One complete drawing of the status area: background, bar, centred text.
struct StatusPaint {
    Rect background;  // filled with the button-face colour
    Rect bar;         // filled with pure green; may be empty
    std::string text;
    int textX = 0, textY = 0;
    int percent = 0;  // what the bar shows, for backends without pixels
};

// Mirrors progress on the window's taskbar button. Absent where the platform has none.
class TaskbarProgress {
public:
    virtual ~TaskbarProgress() = default;
    virtual int32_t GetState() const = 0;
    virtual int32_t GetValue() const = 0;
    virtual void SetState(int32_t state) = 0;
    virtual void SetValue(int32_t value) = 0;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // Program-wide resources, set before the first window opens.
    virtual bool SetDefaultFont(const std::string& face, int points) = 0;
    virtual void RegisterImage(int number, const Image& image) = 0;

    // Windows.
    virtual bool OpenWindow(const WindowSpec& spec) = 0;
    virtual void CloseWindow(int window) = 0;
    virtual bool WindowExists(int window) const = 0;
    virtual void EnableWindow(int window, bool enable) = 0;
    virtual void ActivateWindow(int window) = 0;
    // Outer frame in screen coordinates; a minimised window reports where it shows when
    // restored.
    virtual Rect WindowFrame(int window) const = 0;
    virtual void MoveWindow(int window, int x, int y) = 0;
    virtual void SetWindowTitle(int window, const std::string& title) = 0;
    virtual Size DesktopSize() const = 0;

    // Menus.
    virtual void SetMenuBar(int window, const std::vector<Menu>& menus) = 0;
    virtual void SetMenuTitle(int menu, const std::string& title) = 0;
    virtual void EnableMenuItem(int item, bool enable) = 0;

    // Controls.
    virtual void CreateControl(int window, int id, ControlKind kind, Rect rect,
                               const std::string& text, const std::string& toolTip,
                               const ControlStyle& style = {}) = 0;
    virtual void SetText(int id, const std::string& text) = 0;
    virtual std::string GetText(int id) const = 0;
    virtual void SetState(int id, int state) = 0;
    virtual int GetState(int id) const = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    virtual bool ControlEnabled(int id) const = 0;
    virtual Rect ControlScreenRect(int id) const = 0;
    virtual Size ControlSize(int id) const = 0;

    // Items of tree views, lists and combo boxes; level is the tree depth.
    virtual void ClearItems(int id) = 0;
    virtual void AddItem(int id, const std::string& text, int level = 0) = 0;
    virtual int ItemCount(int id) const = 0;
    virtual std::string ItemText(int id, int index) const = 0;
    virtual int ItemLevel(int id, int index) const = 0;
    virtual void SelectItem(int id, int index) = 0;  // -1 = none
    virtual int SelectedItem(int id) const = 0;

    // Events: waits at most timeoutMs for the next one of any window.
    virtual std::optional<Event> WaitEvent(int timeoutMs) = 0;
    virtual std::optional<std::pair<int, int>> CursorPosition() const = 0;  // screen

    // Dialogs.
    virtual Answer MessageBox(const std::string& title, const std::string& text, Icon icon,
                              Buttons buttons) = 0;
    virtual std::string OpenFileRequester(const std::string& title, const std::string& file,
                                          const std::vector<FileFilter>& filters,
                                          int filterIndex) = 0;
    virtual std::string SaveFileRequester(const std::string& title, const std::string& file,
                                          const std::vector<FileFilter>& filters,
                                          int filterIndex) = 0;
    virtual std::string FolderRequester(const std::string& title, const std::string& folder) = 0;

    // Status area.
    virtual Size MeasureText(const std::string& text) const = 0;  // default control font
    virtual void PaintStatus(int id, const StatusPaint& paint) = 0;
    virtual std::unique_ptr<TaskbarProgress> CreateTaskbarProgress(int window, int64_t minimum,
                                                                   int64_t maximum) = 0;

    // The end of the interface, on the interface thread at exit. Workers may still run and
    // call: from now on no window shows, a question reads as declined (DecliningAnswer),
    // also one that was waiting for the interface thread, and a requester as empty.
    virtual void Shutdown() = 0;
};

// The answer that changes nothing: Cancel, No for Yes/No boxes, OK for a box with only OK.
Answer DecliningAnswer(Buttons buttons);

// The toolkit of this process; set once at start-up.
Toolkit& UI();
void SetToolkit(std::unique_ptr<Toolkit> toolkit);
bool HasToolkit();

}  // namespace ui
