// Message boxes, file and folder requesters, text measuring, the status drawing and the
// taskbar progress.
#include <shlobj.h>

#include <algorithm>

#include "platform/win32/wide.h"
#include "ui/win32/taskbar_progress.h"
#include "ui/win32/win32_toolkit.h"

namespace ui::win32 {
namespace {

constexpr size_t kPathCapacity = 32768;  // the longest path Windows accepts

UINT IconFlag(Icon icon) {
    switch (icon) {
        case Icon::None:
            return 0;
        case Icon::Information:
            return MB_ICONINFORMATION;
        case Icon::Warning:
            return MB_ICONWARNING;
        case Icon::Error:
            return MB_ICONERROR;
        case Icon::Question:
            return MB_ICONQUESTION;
    }
    return 0;
}

UINT ButtonsFlag(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return MB_OK;
        case Buttons::OkCancel:
            return MB_OKCANCEL;
        case Buttons::YesNo:
            return MB_YESNO;
        case Buttons::YesNoCancel:
            return MB_YESNOCANCEL;
    }
    return MB_OK;
}

Answer AnswerOf(int result, Buttons buttons) {
    switch (result) {
        case IDOK:
            return Answer::Ok;
        case IDCANCEL:
            return Answer::Cancel;
        case IDYES:
            return Answer::Yes;
        case IDNO:
            return Answer::No;
    }
    return DecliningAnswer(buttons);  // the box could not be shown
}

// "name\0pattern\0" pairs; c_str() adds the final terminator.
std::wstring FilterText(const std::vector<FileFilter>& filters) {
    std::wstring text;
    for (const FileFilter& filter : filters) {
        text += platform::Widen(filter.name) + L'\0';
        text += platform::Widen(filter.pattern) + L'\0';
    }
    return text;
}

// The folder to start in (with its separator) and the proposed file name.
std::pair<std::wstring, std::wstring> SplitPath(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return {std::wstring(), path};
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

int CALLBACK FolderCallback(HWND window, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED && start) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

}  // namespace

Answer Win32Toolkit::MessageBox(const std::string& title, const std::string& text, Icon icon,
                                Buttons buttons) {
    return thread_->Call(
        [&] {
            ShowPendingWindows();
            int result =
                MessageBoxW(MainHandle(), platform::Widen(text).c_str(),
                            platform::Widen(title).c_str(), IconFlag(icon) | ButtonsFlag(buttons));
            return AnswerOf(result, buttons);
        },
        DecliningAnswer(buttons));
}

std::string Win32Toolkit::OpenFileRequester(const std::string& title, const std::string& file,
                                            const std::vector<FileFilter>& filters,
                                            int filterIndex) {
    return thread_->Call([&] { return FileRequester(false, title, file, filters, filterIndex); });
}

std::string Win32Toolkit::SaveFileRequester(const std::string& title, const std::string& file,
                                            const std::vector<FileFilter>& filters,
                                            int filterIndex) {
    return thread_->Call([&] { return FileRequester(true, title, file, filters, filterIndex); });
}

std::string Win32Toolkit::FileRequester(bool save, const std::string& title,
                                        const std::string& file,
                                        const std::vector<FileFilter>& filters, int filterIndex) {
    ShowPendingWindows();
    auto [folder, name] = SplitPath(platform::Widen(file));
    std::wstring caption = platform::Widen(title), filter = FilterText(filters);
    std::wstring chosen(kPathCapacity, L'\0');
    name.copy(chosen.data(), std::min(name.size(), chosen.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = MainHandle();
    dialog.lpstrFilter = filters.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = DWORD(std::max(filterIndex, 0) + 1);  // the dialog counts from 1
    dialog.lpstrFile = chosen.data();
    dialog.nMaxFile = DWORD(chosen.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    // Whether to overwrite an existing file is the program's own question.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                   (save ? 0 : OFN_FILEMUSTEXIST);
    BOOL accepted = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    return accepted ? platform::Narrow(chosen.c_str()) : std::string();
}

std::string Win32Toolkit::FolderRequester(const std::string& title, const std::string& folder) {
    return thread_->Call([&] {
        ShowPendingWindows();
        std::wstring caption = platform::Widen(title), start = platform::Widen(folder);
        BROWSEINFOW browse{};
        browse.hwndOwner = MainHandle();
        browse.lpszTitle = caption.c_str();
        browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
        browse.lpfn = FolderCallback;
        browse.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
        CoTaskMem<ITEMIDLIST> chosen(SHBrowseForFolderW(&browse));
        wchar_t path[MAX_PATH] = {};
        if (!chosen || !SHGetPathFromIDListW(chosen.get(), path)) return std::string();
        // Folders of the program end with their separator.
        std::string answer = platform::Narrow(path);
        if (answer.back() != '\\') answer += '\\';
        return answer;
    });
}

Size Win32Toolkit::MeasureText(const std::string& text) const {
    return thread_->Call([&] {
        MemoryDc dc(CreateCompatibleDC(nullptr));
        Selection font(dc.get(), DefaultFont());
        std::wstring wide = platform::Widen(text);
        SIZE size{};
        GetTextExtentPoint32W(dc.get(), wide.c_str(), int(wide.size()), &size);
        return Size{size.cx, size.cy};
    });
}

void Win32Toolkit::PaintStatus(int id, const StatusPaint& paint) {
    thread_->Call([&] {
        const ControlEntry* entry = ControlOf(id);
        if (entry && entry->status) entry->status->Show(entry->handle, paint);
    });
}

std::unique_ptr<TaskbarProgress> Win32Toolkit::CreateTaskbarProgress(int window, int64_t minimum,
                                                                     int64_t maximum) {
    return thread_->Call([&]() -> std::unique_ptr<TaskbarProgress> {
        HWND handle = WindowHandle(window);
        if (!handle) return nullptr;
        return CreateWin32TaskbarProgress(thread_, handle, minimum, maximum);
    });
}

}  // namespace ui::win32
