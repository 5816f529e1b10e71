// File and folder requesters through FLTK's native chooser.
#include <FL/Fl_Native_File_Chooser.H>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ui/fltk/dialogs.h"

namespace ui::fltk {
namespace {

// "*.hfs;*.bin" becomes FLTK's "{*.hfs,*.bin}"; "*.*" would miss names without a dot.
std::string FltkPattern(const std::string& pattern) {
    std::string alternatives;
    size_t count = 0, start = 0;
    while (start <= pattern.size()) {
        size_t end = std::min(pattern.find(';', start), pattern.size());
        std::string one = pattern.substr(start, end - start);
        alternatives += (count++ ? "," : "") + (one == "*.*" ? std::string("*") : one);
        start = end + 1;
    }
    return count > 1 ? "{" + alternatives + "}" : alternatives;
}

std::string FltkFilter(const std::vector<FileFilter>& filters) {
    std::string filter;
    for (const FileFilter& entry : filters)
        filter += entry.name + "\t" + FltkPattern(entry.pattern) + "\n";
    return filter;
}

Fl_Native_File_Chooser::Type ChooserType(RequesterKind kind) {
    switch (kind) {
        case RequesterKind::Save:
            return Fl_Native_File_Chooser::BROWSE_SAVE_FILE;
        case RequesterKind::Folder:
            return Fl_Native_File_Chooser::BROWSE_DIRECTORY;
        default:
            return Fl_Native_File_Chooser::BROWSE_FILE;
    }
}

// A folder starts the chooser there; a file path also preselects the name.
void Preset(Fl_Native_File_Chooser& chooser, RequesterKind kind, const std::string& path) {
    if (path.empty()) return;
    if (kind == RequesterKind::Folder) return chooser.directory(path.c_str());
    std::filesystem::path file(path);
    chooser.directory(file.parent_path().c_str());
    chooser.preset_file(file.filename().c_str());
}

}  // namespace

std::string RunRequester(RequesterKind kind, const std::string& title, const std::string& path,
                         const std::vector<FileFilter>& filters, int filterIndex) {
    Fl_Native_File_Chooser chooser(ChooserType(kind));
    chooser.title(title.c_str());
    if (kind == RequesterKind::Save)
        chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM |
                        Fl_Native_File_Chooser::NEW_FOLDER);
    Preset(chooser, kind, path);
    std::string filter = FltkFilter(filters);
    if (!filter.empty()) {
        chooser.filter(filter.c_str());
        chooser.filter_value(filterIndex);
    }
    return chooser.show() == 0 && chooser.filename() ? chooser.filename() : "";
}

}  // namespace ui::fltk
