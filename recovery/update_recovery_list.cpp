#include "recovery/update_recovery_list.h"

#include <vector>

#include "core/ids.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/state.h"
#include "disk/drive_list.h"
#include "download/download_slot.h"
#include "recovery/catalog_walk.h"
#include "recovery/internet_recovery_table.h"
#include "recovery/recovery_title.h"
#include "recovery/scratch_download.h"
#include "ui/toolkit.h"

namespace recovery {
namespace {

using core::Outcome;

constexpr int64_t kStatusMs = 2000;
constexpr int64_t kDoneMs = 3000;
const char kSourceName[] = "RecoveryHDUpdate.smd";

void Status(const std::string& text) {
    core::ShowStatus("Update RecoveryHD List ... " + text, kStatusMs);
}

// A parse that did not give a document ends the update: with the status text for a
// missing document, the error box for a malformed one, silently without a root.
bool Parsed(XmlResult result, const XmlError& error, const char* noDocumentText) {
    if (result == XmlResult::NoDocument) Status(noDocumentText);
    if (result == XmlResult::Malformed)
        ui::UI().MessageBox("Error", XmlErrorText(error), ui::Icon::None, ui::Buttons::Ok);
    return result == XmlResult::Parsed;
}

// The title from the server metadata, then the revision from the package metadata.
bool CompleteEntry(ScratchDownloads& downloads, core::RecoveryEntry& entry) {
    XmlError error;
    std::string smd = downloads.Fetch(entry.SmdUrl, "Get HDRecovery Title");
    if (smd.empty()) return Status("Error: CheckRecoveryHDThread"), false;
    if (!Parsed(FindLocalizedTitle(smd, "title", entry.Title, error), error,
                "Error: Get RecoveryHD Info"))
        return false;

    std::string metadata = downloads.Fetch(entry.MetadataURL, "Get HDRecovery Revision");
    if (metadata.empty()) return Status("Error: CheckRecoveryHDThread"), false;
    RootAttribute identifier("identifier");
    if (!Parsed(ParseXmlFile(metadata, identifier, error), error, "Error: Get RecoveryHD Info"))
        return false;
    if (identifier.Found()) entry.Revision = RevisionFromIdentifier(identifier.Value());
    AddRevisionToTitle(entry);
    return true;
}

// The list and the Download Tool's list box change together, so an index chosen in the
// box always names the entry it shows. The catalog's packages stop at old releases: the
// Internet Recovery versions follow them whatever the catalog held.
void PublishList(std::vector<core::RecoveryEntry> entries) {
    for (core::RecoveryEntry& entry : InternetRecoveryEntries())
        entries.push_back(std::move(entry));
    std::vector<std::string> titles;
    for (const core::RecoveryEntry& entry : entries) titles.push_back(entry.Title);
    core::ReplaceRecoveryList(std::move(entries));
    ui::Toolkit& toolkit = ui::UI();
    toolkit.ClearItems(core::DownloadToolList);
    for (const std::string& title : titles) toolkit.AddItem(core::DownloadToolList, title);
    if (!titles.empty()) toolkit.SelectItem(core::DownloadToolList, 0);
}

Outcome UpdateList() {
    core::ShowStatus("Checking for Updates ... Wait Please", kStatusMs);
    ScratchDownloads downloads;
    std::string catalog = downloads.Fetch(core::SUCatalogURL, "SUCatalog");
    if (catalog.empty()) return Status("Error: Get SUCatalog"), Outcome::Failed;
    core::ShowStatus("Download Latest SUCatalog ... OK", kStatusMs);

    std::vector<core::RecoveryEntry> entries;
    XmlError error;
    if (!Parsed(WalkCatalog(catalog, kSourceName, entries, error), error,
                "Error:  Catch XML SUCatalog"))
        return Outcome::Failed;
    if (entries.empty()) {
        PublishList({});
        Status("Error:  RecoveryHD Source List is Empty");
        return Outcome::Failed;
    }
    for (core::RecoveryEntry& entry : entries)
        if (!CompleteEntry(downloads, entry)) {
            PublishList(std::move(entries));
            return Outcome::Failed;
        }
    PublishList(std::move(entries));
    core::ShowStatus("Update RecoveryHD List ... OK", kDoneMs);
    return Outcome::Done;
}

}  // namespace

std::string XmlErrorText(const XmlError& error) {
    return "Error in the XML file:\rMessage: " + error.message +
           "\rLine: " + std::to_string(error.line) +
           "   Character: " + std::to_string(error.column);
}

Outcome RunRecoveryListUpdate() {
    // The list and its addresses are shared with the package download, which holds the
    // same slot; the Clover check and download hold it too.
    download::HeldDownloadSlot slot;
    if (!slot.Held()) {
        Status("Wait: another download is running");
        return Outcome::Refused;
    }
    Outcome outcome = UpdateList();
    core::SaveSettings();
    // A drive operation beside the update owns the drive list.
    if (core::BusyFlag == 0) disk::RefreshDriveList();
    return outcome;
}

void UpdateRecoveryList(int32_t) { RunRecoveryListUpdate(); }

}  // namespace recovery
