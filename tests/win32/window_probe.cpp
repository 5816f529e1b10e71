// Looks at and presses the windows of another program under test, as a user would:
//   window_probe wait TITLE        waits up to 20 s for a visible window of that title
//   window_probe texts TITLE       prints "class<TAB>text" of the window and its children
//   window_probe press TITLE TEXT  clicks the child button labelled TEXT
//   window_probe gone TITLE        waits up to 20 s for the window to disappear
//   window_probe command TITLE ID  sends the menu command ID, as picking its item does (Wine
//                                  keeps menus private to their process, so no text lookup)
//   window_probe rects TITLE       prints "x y w h<TAB>class<TAB>text" of each child, in
//                                  client coordinates
//   window_probe items TITLE       prints each item of its first combo box, one a line
//   window_probe minimise TITLE    minimises the window
//   window_probe close TITLE       clicks its close box
// Texts are UTF-8. Exit status 0 on success, 1 when the window or button is missing.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/wide.h"

namespace {

HWND FindVisible(const std::wstring& title) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, nullptr, title.c_str())))
        if (IsWindowVisible(window)) return window;
    return nullptr;
}

HWND WaitFor(const std::wstring& title, bool present) {
    for (int tries = 0; tries < 200; ++tries) {
        HWND window = FindVisible(title);
        if ((window != nullptr) == present) return window;
        Sleep(100);
    }
    return FindVisible(title);
}

std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, LPARAM(text), SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

void PrintLine(HWND window) {
    std::string line = platform::Narrow(ClassOf(window) + L"\t" + TextOf(window)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    PrintLine(child);
    return TRUE;
}

struct ButtonSearch {
    std::wstring text;
    HWND found = nullptr;
};

BOOL CALLBACK MatchButton(HWND child, LPARAM search) {
    auto* wanted = reinterpret_cast<ButtonSearch*>(search);
    if (_wcsicmp(ClassOf(child).c_str(), L"Button") != 0 || TextOf(child) != wanted->text)
        return TRUE;
    wanted->found = child;
    return FALSE;
}

BOOL CALLBACK PrintRect(HWND child, LPARAM parent) {
    if (GetParent(child) != reinterpret_cast<HWND>(parent)) return TRUE;  // combo parts
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, reinterpret_cast<HWND>(parent), reinterpret_cast<POINT*>(&rect),
                    2);
    std::printf("%ld %ld %ld %ld\t", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    PrintLine(child);
    return TRUE;
}

BOOL CALLBACK FindComboBox(HWND child, LPARAM found) {
    if (_wcsicmp(ClassOf(child).c_str(), L"ComboBox") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

bool PrintItems(HWND window) {
    HWND combo = nullptr;
    EnumChildWindows(window, FindComboBox, LPARAM(&combo));
    if (!combo) return false;
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring item(size_t(SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(i), 0)) + 1, L'\0');
        item.resize(size_t(SendMessageW(combo, CB_GETLBTEXT, WPARAM(i), LPARAM(item.data()))));
        std::string line = platform::Narrow(item) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return count >= 0;
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 3) {
        std::fputs(
            "usage: window_probe wait|texts|press|gone|command|rects|items|minimise|close TITLE "
            "[BUTTON|ID]\n",
            stderr);
        return 2;
    }
    std::wstring verb = words[1], title = words[2];
    if (verb == L"gone") return WaitFor(title, false) ? 1 : 0;
    HWND window = WaitFor(title, true);
    if (!window) return 1;
    if (verb == L"texts") {
        PrintLine(window);
        EnumChildWindows(window, PrintChild, 0);
    } else if (verb == L"rects") {
        EnumChildWindows(window, PrintRect, LPARAM(window));
    } else if (verb == L"items") {
        return PrintItems(window) ? 0 : 1;
    } else if (verb == L"command" && count > 3) {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(_wtoi(words[3]), 0), 0);
    } else if (verb == L"press" && count > 3) {
        ButtonSearch search{words[3]};
        EnumChildWindows(window, MatchButton, LPARAM(&search));
        if (!search.found) return 1;
        PostMessageW(search.found, BM_CLICK, 0, 0);
    } else if (verb == L"minimise") {
        ShowWindow(window, SW_MINIMIZE);
        return IsIconic(window) ? 0 : 1;
    } else if (verb == L"close") {
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    return 0;
}
