#include "ui/console/console_toolkit.h"

#include <chrono>
#include <thread>

#include "platform/terminal.h"

namespace ui {
namespace {

// A nominal desktop and font, so layout arithmetic has numbers to work with.
constexpr Size kDesktop{1920, 1080};
constexpr int kCharWidth = 6;
constexpr int kLineHeight = 13;

const char* AnswerName(Answer answer) {
    switch (answer) {
        case Answer::Ok:
            return "OK";
        case Answer::Cancel:
            return "Cancel";
        case Answer::Yes:
            return "Yes";
        case Answer::No:
            return "No";
    }
    return "";
}

Answer Accepting(Buttons buttons) {
    return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::Yes;
}

const char* IconPrefix(Icon icon) {
    switch (icon) {
        case Icon::Warning:
            return "Warning: ";
        case Icon::Error:
            return "Error: ";
        default:
            return "";
    }
}

// Message texts break lines the Windows way (CR LF, or a lone CR); a terminal wants bare
// line feeds.
std::string TrimLine(const std::string& text) {
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        bool pairedCr = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if (!pairedCr) lines += text[i] == '\r' ? '\n' : text[i];
    }
    while (!lines.empty() && (lines.back() == '\n' || lines.back() == '\r')) lines.pop_back();
    return lines;
}

}  // namespace

ConsoleToolkit::ConsoleToolkit(ConsoleOptions options)
    : options_(options), terminal_(platform::IsTerminal(options.out)) {}

ConsoleToolkit::~ConsoleToolkit() { EndProgressLine(); }

void ConsoleToolkit::PostEvent(const Event& event) {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
}

void ConsoleToolkit::SetCursor(int x, int y) {
    std::lock_guard lock(mutex_);
    cursor_ = {x, y};
}

std::map<int, ConsoleToolkit::Control> ConsoleToolkit::Controls() const {
    std::lock_guard lock(mutex_);
    return controls_;
}

std::map<int, ConsoleToolkit::WindowState> ConsoleToolkit::Windows() const {
    std::lock_guard lock(mutex_);
    return windows_;
}

void ConsoleToolkit::QueueRequesterAnswer(const std::string& answer) {
    std::lock_guard lock(mutex_);
    requesterAnswers_.push_back(answer);
}

void ConsoleToolkit::SetAssumeYes(bool assumeYes) {
    std::lock_guard lock(mutex_);
    options_.assumeYes = assumeYes;
}

void ConsoleToolkit::SetFileAnswer(const std::string& path) {
    std::lock_guard lock(mutex_);
    fileAnswer_ = path;
}

std::vector<std::string> ConsoleToolkit::StatusLines() const {
    std::lock_guard lock(mutex_);
    return statusLines_;
}

bool ConsoleToolkit::SetDefaultFont(const std::string&, int) { return true; }
void ConsoleToolkit::RegisterImage(int, const Image&) {}

bool ConsoleToolkit::OpenWindow(const WindowSpec& spec) {
    std::lock_guard lock(mutex_);
    if (windows_.count(spec.id)) return false;
    WindowState state{spec, {}, true, {}};
    Size outer = spec.client;
    auto parent = windows_.find(spec.parent);
    if (spec.position) {
        state.frame = {spec.position->x, spec.position->y, outer.w, outer.h};
    } else if (parent != windows_.end()) {
        const Rect& over = parent->second.frame;
        state.frame = {over.x + over.w / 2 - outer.w / 2, over.y + over.h / 2 - outer.h / 2,
                       outer.w, outer.h};
    } else {
        state.frame = {kDesktop.w / 2 - outer.w / 2, kDesktop.h / 2 - outer.h / 2, outer.w,
                       outer.h};
    }
    windows_[spec.id] = state;
    return true;
}

void ConsoleToolkit::CloseWindow(int window) {
    std::lock_guard lock(mutex_);
    windows_.erase(window);
    std::erase_if(controls_, [window](const auto& entry) { return entry.second.window == window; });
}

bool ConsoleToolkit::WindowExists(int window) const {
    std::lock_guard lock(mutex_);
    return windows_.count(window) != 0;
}

void ConsoleToolkit::EnableWindow(int window, bool enable) {
    std::lock_guard lock(mutex_);
    if (auto it = windows_.find(window); it != windows_.end()) it->second.enabled = enable;
}

void ConsoleToolkit::ActivateWindow(int) {}

Rect ConsoleToolkit::WindowFrame(int window) const {
    std::lock_guard lock(mutex_);
    auto it = windows_.find(window);
    return it == windows_.end() ? Rect{} : it->second.frame;
}

void ConsoleToolkit::MoveWindow(int window, int x, int y) {
    std::lock_guard lock(mutex_);
    if (auto it = windows_.find(window); it != windows_.end()) {
        it->second.frame.x = x;
        it->second.frame.y = y;
    }
}

void ConsoleToolkit::SetWindowTitle(int window, const std::string& title) {
    std::lock_guard lock(mutex_);
    if (auto it = windows_.find(window); it != windows_.end()) it->second.spec.title = title;
}

Size ConsoleToolkit::DesktopSize() const { return kDesktop; }

void ConsoleToolkit::SetMenuBar(int window, const std::vector<Menu>& menus) {
    std::lock_guard lock(mutex_);
    if (auto it = windows_.find(window); it != windows_.end()) it->second.menus = menus;
}

void ConsoleToolkit::SetMenuTitle(int menu, const std::string& title) {
    std::lock_guard lock(mutex_);
    for (auto& [id, window] : windows_)
        for (Menu& entry : window.menus)
            if (entry.id == menu) entry.title = title;
}

void ConsoleToolkit::EnableMenuItem(int item, bool enable) {
    std::lock_guard lock(mutex_);
    menuItemsEnabled_[item] = enable;
}

bool ConsoleToolkit::MenuItemEnabled(int item) const {
    std::lock_guard lock(mutex_);
    auto it = menuItemsEnabled_.find(item);
    return it == menuItemsEnabled_.end() || it->second;
}

void ConsoleToolkit::CreateControl(int window, int id, ControlKind kind, Rect rect,
                                   const std::string& text, const std::string& toolTip,
                                   const ControlStyle& style) {
    std::lock_guard lock(mutex_);
    Control control;
    control.window = window;
    control.kind = kind;
    control.rect = rect;
    control.text = text;
    control.toolTip = toolTip;
    control.style = style;
    control.enabled = !style.disabled;
    controls_[id] = control;
}

ConsoleToolkit::Control* ConsoleToolkit::Find(int id) {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

const ConsoleToolkit::Control* ConsoleToolkit::Find(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

void ConsoleToolkit::SetText(int id, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (Control* control = Find(id)) control->text = text;
}

// Lists read as their chosen item, as on Windows.
std::string ConsoleToolkit::GetText(int id) const {
    std::lock_guard lock(mutex_);
    const Control* control = Find(id);
    if (!control) return {};
    if (control->kind != ControlKind::ComboBox && control->kind != ControlKind::ListBox &&
        control->kind != ControlKind::TreeView)
        return control->text;
    int selected = control->selected;
    return selected >= 0 && selected < int(control->items.size()) ? control->items[selected].first
                                                                  : std::string();
}

void ConsoleToolkit::SetState(int id, int state) {
    std::lock_guard lock(mutex_);
    if (Control* control = Find(id)) control->state = state;
}

int ConsoleToolkit::GetState(int id) const {
    std::lock_guard lock(mutex_);
    const Control* control = Find(id);
    return control ? control->state : 0;
}

void ConsoleToolkit::EnableControl(int id, bool enable) {
    std::lock_guard lock(mutex_);
    if (Control* control = Find(id)) control->enabled = enable;
}

bool ConsoleToolkit::ControlEnabled(int id) const {
    std::lock_guard lock(mutex_);
    const Control* control = Find(id);
    return control && control->enabled;
}

Rect ConsoleToolkit::ControlScreenRect(int id) const {
    std::lock_guard lock(mutex_);
    const Control* control = Find(id);
    if (!control) return {};
    Rect frame = WindowFrame(control->window);
    return {frame.x + control->rect.x, frame.y + control->rect.y, control->rect.w, control->rect.h};
}

Size ConsoleToolkit::ControlSize(int id) const {
    std::lock_guard lock(mutex_);
    const Control* control = Find(id);
    return control ? Size{control->rect.w, control->rect.h} : Size{};
}

void ConsoleToolkit::ClearItems(int id) {
    std::lock_guard lock(mutex_);
    if (Control* control = Find(id)) {
        control->items.clear();
        control->selected = -1;
    }
}

void ConsoleToolkit::AddItem(int id, const std::string& text, int level) {
    std::lock_guard lock(mutex_);
    if (Control* control = Find(id)) control->items.emplace_back(text, level);
}

int ConsoleToolkit::ItemCount(int id) const {
    std::lock_guard lock(mutex_);
    const Control* control = Find(id);
    return control ? int(control->items.size()) : 0;
}

std::string ConsoleToolkit::ItemText(int id, int index) const {
    std::lock_guard lock(mutex_);
    const Control* control = Find(id);
    if (!control || index < 0 || index >= int(control->items.size())) return {};
    return control->items[index].first;
}

int ConsoleToolkit::ItemLevel(int id, int index) const {
    std::lock_guard lock(mutex_);
    const Control* control = Find(id);
    if (!control || index < 0 || index >= int(control->items.size())) return 0;
    return control->items[index].second;
}

void ConsoleToolkit::SelectItem(int id, int index) {
    std::lock_guard lock(mutex_);
    if (Control* control = Find(id))
        control->selected = index >= 0 && index < int(control->items.size()) ? index : -1;
}

int ConsoleToolkit::SelectedItem(int id) const {
    std::lock_guard lock(mutex_);
    const Control* control = Find(id);
    return control ? control->selected : -1;
}

std::optional<Event> ConsoleToolkit::WaitEvent(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (!events_.empty()) {
                Event event = events_.front();
                events_.pop_front();
                return event;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::optional<std::pair<int, int>> ConsoleToolkit::CursorPosition() const {
    std::lock_guard lock(mutex_);
    return cursor_;
}

void ConsoleToolkit::EndProgressLine() {
    if (!progressLineOpen_) return;
    std::fputc('\n', options_.out);
    progressLineOpen_ = false;
}

// A question still open when the interface ends reads as declined, however it is answered.
Answer ConsoleToolkit::Ask(const std::string& prompt, Buttons buttons) {
    Answer answer = DecliningAnswer(buttons);
    if (buttons == Buttons::Ok || shutDown_) return answer;
    if (options_.assumeYes) {
        answer = Accepting(buttons);
    } else if (platform::IsTerminal(options_.in)) {
        std::fprintf(options_.out, "%s [y/N] ", prompt.c_str());
        std::fflush(options_.out);
        char reply[64] = {};
        if (std::fgets(reply, sizeof reply, options_.in) && (reply[0] == 'y' || reply[0] == 'Y'))
            answer = Accepting(buttons);
    }
    return shutDown_ ? DecliningAnswer(buttons) : answer;
}

Answer ConsoleToolkit::MessageBox(const std::string& title, const std::string& text, Icon icon,
                                  Buttons buttons) {
    std::lock_guard lock(mutex_);
    EndProgressLine();
    std::fprintf(options_.out, "[%s] %s%s\n", title.c_str(), IconPrefix(icon),
                 TrimLine(text).c_str());
    Answer answer =
        Ask(buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? "Yes?" : "OK?", buttons);
    std::fprintf(options_.out, "  -> %s\n", AnswerName(answer));
    std::fflush(options_.out);
    return answer;
}

std::string ConsoleToolkit::AskText(const std::string& prompt, const std::string& suggestion) {
    std::lock_guard lock(mutex_);
    EndProgressLine();
    std::fprintf(options_.out, "%s [%s]\n", prompt.c_str(), suggestion.c_str());
    if (shutDown_) return {};
    if (!requesterAnswers_.empty()) {
        std::string answer = requesterAnswers_.front();
        requesterAnswers_.pop_front();
        return answer;
    }
    if (options_.assumeYes || !platform::IsTerminal(options_.in)) return suggestion;
    char reply[4096] = {};
    if (!std::fgets(reply, sizeof reply, options_.in) || shutDown_) return {};
    std::string answer = TrimLine(reply);
    return answer.empty() ? suggestion : answer;
}

std::string ConsoleToolkit::AskFile(const std::string& title, const std::string& suggestion) {
    std::lock_guard lock(mutex_);
    if (shutDown_) return {};
    if (fileAnswer_.empty()) return AskText(title, suggestion);
    EndProgressLine();
    std::fprintf(options_.out, "%s %s\n", title.c_str(), fileAnswer_.c_str());
    return fileAnswer_;
}

std::string ConsoleToolkit::OpenFileRequester(const std::string& title, const std::string& file,
                                              const std::vector<FileFilter>&, int) {
    return AskFile(title, file);
}

std::string ConsoleToolkit::SaveFileRequester(const std::string& title, const std::string& file,
                                              const std::vector<FileFilter>&, int) {
    return AskFile(title, file);
}

std::string ConsoleToolkit::FolderRequester(const std::string& title, const std::string& folder) {
    return AskText(title, folder);
}

Size ConsoleToolkit::MeasureText(const std::string& text) const {
    int characters = 0;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80;  // code points
    return {characters * kCharWidth, kLineHeight};
}

void ConsoleToolkit::PaintStatus(int, const StatusPaint& paint) {
    std::lock_guard lock(mutex_);
    std::string line = paint.text;
    if (paint.percent > 0) line += " [" + std::to_string(paint.percent) + "%]";
    bool repeated = !statusLines_.empty() && statusLines_.back() == line;
    if (!repeated) statusLines_.push_back(line);
    if (terminal_) {
        std::fprintf(options_.out, "\r%s\x1b[K", line.c_str());
        progressLineOpen_ = true;
    } else if (!repeated) {
        std::fprintf(options_.out, "%s\n", line.c_str());
    }
    std::fflush(options_.out);
}

std::unique_ptr<TaskbarProgress> ConsoleToolkit::CreateTaskbarProgress(int, int64_t, int64_t) {
    return nullptr;
}

// Not under the lock: a worker may hold it while it waits for a reply at the prompt.
void ConsoleToolkit::Shutdown() { shutDown_ = true; }

}  // namespace ui
