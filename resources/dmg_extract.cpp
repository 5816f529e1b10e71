#include "resources/dmg_extract.h"

#include "core/state.h"
#include "platform/files.h"
#include "platform/path_parts.h"
#include "platform/paths.h"
#include "resources/hfs_images.h"
#include "resources/packed_resources.h"
#include "resources/temp_folder.h"
#include "resources/tool_run.h"
#include "resources/unpack_archive.h"
#include "ui/toolkit.h"

namespace resources {
namespace {

using core::Outcome;

void ErrorBox(const std::string& text) {
    ui::UI().MessageBox("Error", text, ui::Icon::Error, ui::Buttons::Ok);
}

// The operation's flag and its temporary folder, released on every path.
class DmgOperation {
public:
    DmgOperation() { core::BusyFlag = 1; }
    ~DmgOperation() {
        RemoveTempFolder();
        core::BusyFlag = 0;
    }
    DmgOperation(const DmgOperation&) = delete;
    DmgOperation& operator=(const DmgOperation&) = delete;
};

Outcome RunArchiver(const std::string& image, const std::string& outputFolder) {
    std::vector<std::string> images;
    Outcome outcome = ExtractHfsImages(image, outputFolder, false, images);
    if (outcome == Outcome::Cancelled) return outcome;
    if (outcome != Outcome::Done) {
        ErrorBox("Can't open \"" + platform::FileNamePart(image) + "\"\r\nas DMG archive.");
        return Outcome::Failed;
    }
    ui::UI().MessageBox("Info", "HFS volume Extracted.", ui::Icon::None, ui::Buttons::Ok);
    return Outcome::Done;
}

}  // namespace

Outcome ExtractHfsImages(const std::string& image, const std::string& outputFolder, bool hidden,
                         std::vector<std::string>& images) {
    HfsStaging staging(outputFolder);
    // An unusable output folder is the archiver's failure too; it is not run, so it
    // cannot make the folder.
    int code = staging.Ready() ? resources::RunUnpackedTool(
                                     platform::JoinPath(core::TempFolder, ArchiverFileName),
                                     DmgExtractArguments(image, staging.Folder()), "", hidden)
                               : -1;
    images.clear();
    if (code == 0) images = staging.Publish();
    if (staging.Declined()) return Outcome::Cancelled;
    // The archiver also ends with 0 when the image held no HFS partition.
    return images.empty() ? Outcome::Failed : Outcome::Done;
}

std::vector<std::string> DmgExtractArguments(const std::string& image,
                                             const std::string& outputFolder) {
    return {"e", "-tdmg", image, "*.hfs", "-o" + outputFolder};
}

Outcome ExtractHfsFromDmg(const std::string& image, const std::string& outputFolder) {
    DmgOperation operation;
    if (!resources::CreateTempFolder()) {
        ErrorBox("Can't create TEMP folder!" + core::TempFolder);
        return Outcome::Failed;
    }
    std::string path = image;
    if (path.empty())
        path =
            ui::UI().OpenFileRequester("Select DMG-file for extraction", "",
                                       {{"dmg (*.dmg)", "*.dmg"}, {"All files (*.*)", "*.*"}}, 0);
    if (path.empty()) return Outcome::Cancelled;
    std::string folder = outputFolder;
    if (folder.empty())
        folder =
            ui::UI().FolderRequester("Select path to save image file:", platform::FolderPart(path));
    if (folder.empty()) return Outcome::Cancelled;
    if (!resources::UnpackArchive(resources::SevenZipPack, core::TempFolder, true, "", false,
                                  true)) {
        ErrorBox("Can't unpack Internal Resourses!");
        return Outcome::Failed;
    }
    return RunArchiver(path, folder);
}

void ExtractHfsFromDmg(int32_t) { ExtractHfsFromDmg("", ""); }

}  // namespace resources
