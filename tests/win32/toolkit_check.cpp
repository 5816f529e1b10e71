// Checks of the Win32 toolkit against the real window system (run it under Wine on Linux):
// windows, controls, items, menus, events, calls from other threads, the status drawing
// and the taskbar progress. Prints "N passed, N failed".
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/win32/wide.h"
#include "tests/win32/check.h"
#include "ui/native.h"
#include "ui/win32/taskbar_progress.h"
#include "ui/win32/win32.h"

namespace {

using ui::ControlKind;
using ui::EventKind;

enum : int { kMain = 0, kDialog = 3 };
enum : int { kButton = 10, kEdit, kTree, kCombo, kList, kCheck, kOptionA1, kOptionA2, kOptionB1 };
enum : int { kLink = 20, kStatus, kPicture, kDialogButton = 300 };
enum : int { kOptionsMenu = 500, kLatestMenu = 503, kConfigurationItem = 510, kQuitItem };

const char kMainTitle[] = "Check main";
constexpr COLORREF kGreen = RGB(0, 255, 0);

HWND MainWindow() { return FindWindowW(L"StickforgeWindow", platform::Widen(kMainTitle).c_str()); }
HWND Control(int id) { return GetDlgItem(MainWindow(), id); }

bool IsEvent(const std::optional<ui::Event>& event, EventKind kind, int window, int id) {
    return event && event->kind == kind && event->window == window && event->id == id;
}

ui::Image Square(int size, uint32_t colour) {
    return {size, size, std::vector<uint32_t>(size_t(size) * size, colour)};
}

// Runs work on another thread while this one, the interface thread, waits for events.
template <class Work>
void OnWorker(ui::Toolkit& ui, Work work) {
    std::atomic<bool> done = false;
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done) ui.WaitEvent(10);
    worker.join();
}

void BuildMainWindow(ui::Toolkit& ui) {
    CHECK(ui.SetDefaultFont("Tahoma", 8));
    ui.RegisterImage(0, Square(16, 0xFF0000FF));
    ui.RegisterImage(6, Square(72, 0x80FF0000));
    CHECK(ui.OpenWindow(
        {kMain, kMainTitle, {480, 265}, ui::Rect{40, 30, 0, 0}, ui::WindowStyle::Main, -1}));
    ui.SetMenuBar(
        kMain,
        {{kOptionsMenu,
          "Options",
          {{kConfigurationItem, "&Configuration...", 0}, {0, "", -1}, {kQuitItem, "&Quit", -1}}},
         {kLatestMenu, " Latest Clover: Not Checked", {}}});
    ui::ControlStyle edit;
    edit.maxLength = 4;
    edit.digitsOnly = true;
    ui::ControlStyle groupStart;
    groupStart.optionGroupStart = true;
    ui::ControlStyle picture;
    picture.image = 6;
    ui.CreateControl(kMain, kButton, ControlKind::Button, {10, 10, 100, 26}, "Format Disk", "tip");
    ui.CreateControl(kMain, kEdit, ControlKind::EditBox, {10, 40, 60, 20}, "", "", edit);
    ui.CreateControl(kMain, kTree, ControlKind::TreeView, {120, 10, 200, 90}, "", "");
    ui.CreateControl(kMain, kCombo, ControlKind::ComboBox, {10, 70, 100, 20}, "", "");
    ui.CreateControl(kMain, kList, ControlKind::ListBox, {330, 10, 140, 60}, "", "");
    ui.CreateControl(kMain, kCheck, ControlKind::CheckBox, {10, 100, 100, 20}, "Check", "");
    ui.CreateControl(kMain, kOptionA1, ControlKind::OptionButton, {10, 120, 50, 20}, "A1", "",
                     groupStart);
    ui.CreateControl(kMain, kOptionA2, ControlKind::OptionButton, {60, 120, 50, 20}, "A2", "");
    ui.CreateControl(kMain, kOptionB1, ControlKind::OptionButton, {10, 140, 50, 20}, "B1", "",
                     groupStart);
    ui.CreateControl(kMain, kLink, ControlKind::LinkLabel, {110, 210, 120, 15}, "link", "");
    ui.CreateControl(kMain, kStatus, ControlKind::DrawingArea, {20, 170, 440, 16}, "", "");
    ui.CreateControl(kMain, kPicture, ControlKind::Image, {330, 80, 96, 96}, "", "", picture);
    ui.WaitEvent(0);  // shows the window
}

void CheckWindows(ui::Toolkit& ui) {
    HWND main = MainWindow();
    CHECK(main != nullptr);
    RECT client, frame;
    GetClientRect(main, &client);
    GetWindowRect(main, &frame);
    CHECK(client.right == 480 && client.bottom == 265);  // menu bar not taken from it
    CHECK((ui.WindowFrame(kMain) == ui::Rect{40, 30, frame.right - 40, frame.bottom - 30}));
    CHECK(!ui.OpenWindow({kMain, "again", {10, 10}, std::nullopt, ui::WindowStyle::Main, -1}));

    CHECK(
        ui.OpenWindow({kDialog, "Dialog", {200, 100}, std::nullopt, ui::WindowStyle::Dialog, -1}));
    ui.CreateControl(kDialog, kDialogButton, ControlKind::Button, {10, 10, 80, 20}, "OK", "");
    ui::Rect dialog = ui.WindowFrame(kDialog);
    ui::Size desktop = ui.DesktopSize();
    CHECK(std::abs(dialog.x + dialog.w / 2 - desktop.w / 2) <= 1);  // centred on the screen
    CHECK(std::abs(dialog.y + dialog.h / 2 - desktop.h / 2) <= 1);
    CHECK(GetWindow(FindWindowW(nullptr, L"Dialog"), GW_OWNER) == main);

    PostMessageW(FindWindowW(nullptr, L"Dialog"), WM_CLOSE, 0, 0);
    CHECK(IsEvent(ui.WaitEvent(100), EventKind::CloseBox, kDialog, 0));
    CHECK(ui.WindowExists(kDialog));  // the program closes it, not the close box
    ui.CloseWindow(kDialog);
    CHECK(!ui.WindowExists(kDialog));
    CHECK(!ui.ControlEnabled(kDialogButton));  // its controls went with it
    CHECK(!ui.WaitEvent(20));
}

void CheckTextAndState(ui::Toolkit& ui) {
    ui.SetText(kButton, "Программа ©");
    CHECK(ui.GetText(kButton) == "Программа ©");
    CHECK(SendMessageW(Control(kEdit), EM_GETLIMITTEXT, 0, 0) == 4);
    CHECK((GetWindowLongW(Control(kEdit), GWL_STYLE) & ES_NUMBER) != 0);
    ui.SetText(kEdit, "12");
    CHECK(!ui.WaitEvent(0));  // the program's own change is no event
    SetWindowTextW(Control(kEdit), L"34");
    CHECK(IsEvent(ui.WaitEvent(0), EventKind::Control, kMain, kEdit));

    ui.SetState(kCheck, 1);
    CHECK(ui.GetState(kCheck) == 1);
    ui.SetState(kOptionA2, 1);
    SendMessageW(Control(kOptionB1), BM_CLICK, 0, 0);
    CHECK(IsEvent(ui.WaitEvent(0), EventKind::Control, kMain, kOptionB1));
    CHECK(ui.GetState(kOptionB1) == 1);
    CHECK(ui.GetState(kOptionA2) == 1);  // another group
    SendMessageW(Control(kOptionA1), BM_CLICK, 0, 0);
    ui.WaitEvent(0);
    CHECK(ui.GetState(kOptionA2) == 0);  // its own group

    ui.EnableControl(kButton, false);
    CHECK(!ui.ControlEnabled(kButton));
    ui.EnableControl(kButton, true);
    SendMessageW(Control(kButton), BM_CLICK, 0, 0);
    CHECK(IsEvent(ui.WaitEvent(0), EventKind::Control, kMain, kButton));
    CHECK((ui.ControlSize(kStatus) == ui::Size{440, 16}));
    CHECK((ui.ControlSize(kPicture) == ui::Size{72, 72}));
    CHECK(SendMessageW(Control(kPicture), STM_GETIMAGE, IMAGE_BITMAP, 0) != 0);
}

void CheckItems(ui::Toolkit& ui) {
    for (auto [text, level] : {std::pair{"disk 0", 0},
                               {"partition 1", 1},
                               {"partition 2", 1},
                               {"disk 1", 0},
                               {"partition 3", 1}})
        ui.AddItem(kTree, text, level);
    HWND tree = Control(kTree);
    CHECK(ui.ItemCount(kTree) == 5);
    CHECK(ui.ItemText(kTree, 3) == "disk 1" && ui.ItemLevel(kTree, 4) == 1);
    CHECK(ui.ItemText(kTree, 9).empty());
    CHECK(SendMessageW(tree, TVM_GETCOUNT, 0, 0) == 5);
    auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    auto second = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(root)));
    CHECK(second &&
          !SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(second)));
    ui.SelectItem(kTree, 4);
    CHECK(ui.SelectedItem(kTree) == 4);
    CHECK(ui.GetText(kTree) == "partition 3");
    ui.SelectItem(kTree, -1);
    CHECK(ui.SelectedItem(kTree) == -1);
    ui.SelectItem(kTree, 1);
    ui.ClearItems(kTree);
    CHECK(ui.ItemCount(kTree) == 0 && ui.SelectedItem(kTree) == -1);

    for (const char* text : {"Clover", "Windows", "XPC"}) ui.AddItem(kCombo, text);
    ui.SetText(kCombo, "Windows");
    CHECK(ui.SelectedItem(kCombo) == 1 && ui.GetText(kCombo) == "Windows");
    ui.SetText(kCombo, "none of them");
    CHECK(ui.SelectedItem(kCombo) == 1);
    ui.AddItem(kList, "one");
    ui.SelectItem(kList, 0);
    CHECK(ui.SelectedItem(kList) == 0 && ui.ItemLevel(kList, 0) == 0);
}

void CheckMenusAndEvents(ui::Toolkit& ui) {
    HWND main = MainWindow();
    SendMessageW(main, WM_COMMAND, kConfigurationItem, 0);
    CHECK(IsEvent(ui.WaitEvent(0), EventKind::Menu, kMain, kConfigurationItem));
    SendMessageW(main, WM_COMMAND, kLatestMenu, 0);  // the title without items
    SendMessageW(main, WM_COMMAND, IDCANCEL, 0);     // Escape in a dialog-style window
    CHECK(!ui.WaitEvent(0));

    ui.SetMenuTitle(kLatestMenu, " Latest Clover: r1234");
    wchar_t title[64] = {};
    GetMenuStringW(GetMenu(main), 1, title, 64, MF_BYPOSITION);
    CHECK(platform::Narrow(title) == " Latest Clover: r1234");
    ui.EnableMenuItem(kQuitItem, false);
    CHECK((GetMenuState(GetMenu(main), kQuitItem, MF_BYCOMMAND) & MF_GRAYED) != 0);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_BITMAP;
    GetMenuItemInfoW(GetMenu(main), kConfigurationItem, FALSE, &info);
    CHECK(info.hbmpItem != nullptr);

    CHECK(SendMessageW(main, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0) == TRUE);
    CHECK(IsEvent(ui.WaitEvent(0), EventKind::DeviceChange, kMain, 0));
    SendMessageW(main, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    CHECK(!ui.WaitEvent(0));
    SendMessageW(main, WM_LBUTTONDOWN, 0, 0);
    CHECK(IsEvent(ui.WaitEvent(0), EventKind::LeftClick, kMain, 0));
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(kLink, STN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(kLink)));
    CHECK(IsEvent(ui.WaitEvent(0), EventKind::LeftClick, kMain, 0));
    CHECK(ui.CursorPosition().has_value());
}

// Worker calls reach the interface thread in their order while it waits for events.
void CheckOtherThreads(ui::Toolkit& ui) {
    int countSeen = -1;
    OnWorker(ui, [&] {
        for (int i = 0; i < 200; ++i) {
            ui.AddItem(kList, std::to_string(i));
            ui.SetText(kButton, std::to_string(i));
        }
        countSeen = ui.ItemCount(kList);
    });
    CHECK(countSeen == 201);
    CHECK(ui.GetText(kButton) == "199");
    bool ordered = true;
    for (int i = 0; i < 200; ++i)
        ordered = ordered && ui.ItemText(kList, i + 1) == std::to_string(i);
    CHECK(ordered);
}

// A message box from a worker is owned by the main window; answered by a third thread.
void CheckMessageBox(ui::Toolkit& ui) {
    std::thread answerer([] {
        for (int tries = 0; tries < 100; ++tries) {
            HWND box = FindWindowW(L"#32770", L"Question?");
            if (box) {
                bool owned = GetWindow(box, GW_OWNER) == MainWindow();
                PostMessageW(box, WM_COMMAND, owned ? IDNO : IDYES, 0);
                return;
            }
            Sleep(50);
        }
    });
    ui::Answer answer = ui::Answer::Ok;
    OnWorker(ui, [&] {
        answer = ui.MessageBox("Question?", "Go on?", ui::Icon::Question, ui::Buttons::YesNo);
    });
    answerer.join();
    CHECK(answer == ui::Answer::No);
}

// A window closed while minimised must not leave its parking place (-32000) as its place.
void CheckMinimisedFrame(ui::Toolkit& ui) {
    ui::Rect shown = ui.WindowFrame(kMain);
    ShowWindow(MainWindow(), SW_MINIMIZE);
    ui.WaitEvent(20);
    RECT parked{};
    GetWindowRect(MainWindow(), &parked);
    CHECK(IsIconic(MainWindow()));
    CHECK(ui.WindowFrame(kMain) == shown);
    std::printf("note: a minimised window stands at %ld, %ld; reported at %d, %d\n", parked.left,
                parked.top, ui.WindowFrame(kMain).x, ui.WindowFrame(kMain).y);
    ShowWindow(MainWindow(), SW_RESTORE);
    ui.WaitEvent(20);
    CHECK(ui.WindowFrame(kMain) == shown);
}

// At exit a worker's question that waits for the interface thread, and every one after,
// reads as declined; no box is shown and the windows are gone.
void CheckShutdown(ui::Toolkit& ui) {
    std::atomic<bool> asking = false, boxSeen = false;
    std::thread watcher([&] {
        for (int tries = 0; tries < 20; ++tries, Sleep(25))
            if (FindWindowW(L"#32770", L"Pending?")) boxSeen = true;
    });
    ui::Answer pending = ui::Answer::Ok, later = ui::Answer::Ok, yesNo = ui::Answer::Yes;
    std::thread worker([&] {
        asking = true;
        pending = ui.MessageBox("Pending?", "Go on?", ui::Icon::Warning, ui::Buttons::OkCancel);
        later = ui.MessageBox("Pending?", "Go on?", ui::Icon::Warning, ui::Buttons::OkCancel);
        yesNo = ui.MessageBox("Pending?", "Go on?", ui::Icon::Question, ui::Buttons::YesNo);
    });
    while (!asking) Sleep(1);
    Sleep(50);  // the worker is most likely waiting in SendMessage now; either way it declines
    ui.Shutdown();
    worker.join();
    watcher.join();
    CHECK(pending == ui::Answer::Cancel && later == ui::Answer::Cancel);
    CHECK(yesNo == ui::Answer::No);
    CHECK(!boxSeen);
    CHECK(MainWindow() == nullptr);
    CHECK(ui.MessageBox("Pending?", "", ui::Icon::None, ui::Buttons::OkCancel) ==
          ui::Answer::Cancel);
}

void CheckStatus(ui::Toolkit& ui) {
    ui::Size wide = ui.MeasureText("Select the USB Flash Drive, please");
    ui::Size narrow = ui.MeasureText("S");
    CHECK(wide.w > narrow.w && narrow.w > 0 && wide.h == narrow.h && wide.h > 8);
    ui::StatusPaint paint;
    paint.background = {0, 0, 440, 16};
    paint.bar = {0, 0, 220, 16};
    paint.text = "";
    OnWorker(ui, [&] { ui.PaintStatus(kStatus, paint); });
    HDC dc = GetDC(Control(kStatus));
    CHECK(GetPixel(dc, 100, 8) == kGreen);
    CHECK(GetPixel(dc, 300, 8) == GetSysColor(COLOR_BTNFACE));
    ReleaseDC(Control(kStatus), dc);
}

// Records what the progress object passes to the taskbar.
class FakeTaskbar final : public ITaskbarList3 {
public:
    std::vector<std::string> calls;

    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND, ULONGLONG done, ULONGLONG total) override {
        calls.push_back("value " + std::to_string(done) + "/" + std::to_string(total));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND, TBPFLAG state) override {
        calls.push_back("state " + std::to_string(state));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE HrInit() override {
        calls.push_back("init");
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }

    ULONG references = 1;
};

void CheckTaskbarProgress() {
    using ui::win32::Win32TaskbarProgress;
    auto thread = std::make_shared<ui::win32::InterfaceThread>();
    FakeTaskbar fake;
    fake.AddRef();  // the progress object's reference
    {
        Win32TaskbarProgress progress(thread, nullptr, ui::win32::ComPtr<ITaskbarList3>(&fake), -5,
                                      -9);  // becomes 0..0
        progress.SetValue(7);
        CHECK(progress.GetValue() == 0);
    }
    CHECK(fake.calls == (std::vector<std::string>{"init", "value 0/0", "state 0", "value 0/0"}));
    CHECK(fake.references == 1);  // released with the object

    fake.calls.clear();
    fake.AddRef();
    Win32TaskbarProgress progress(thread, nullptr, ui::win32::ComPtr<ITaskbarList3>(&fake), 10,
                                  100);
    progress.SetState(3);  // not a taskbar state
    progress.SetState(2);
    progress.SetValue(150);
    CHECK(progress.GetState() == 2 && progress.GetValue() == 100);
    progress.SetValue(-1);
    CHECK(progress.GetValue() == 10);
    CHECK(fake.calls == (std::vector<std::string>{"init", "value 10/100", "state 0", "state 2",
                                                  "value 100/100", "value 10/100"}));

    Win32TaskbarProgress absent(thread, nullptr, {}, 0, 100);
    absent.SetState(2);
    absent.SetValue(50);
    CHECK(absent.GetState() == 0 && absent.GetValue() == 0);
}

}  // namespace

int main() {
    CheckTaskbarProgress();
    std::unique_ptr<ui::Toolkit> toolkit = ui::CreateNativeToolkit();
    BuildMainWindow(*toolkit);
    CheckWindows(*toolkit);
    CheckTextAndState(*toolkit);
    CheckItems(*toolkit);
    CheckMenusAndEvents(*toolkit);
    CheckOtherThreads(*toolkit);
    CheckMessageBox(*toolkit);
    CheckStatus(*toolkit);
    CheckMinimisedFrame(*toolkit);
    CheckShutdown(*toolkit);
    return check::Summary();
}
