// The update and download workflows against the loopback server, with the real engine,
// the packed archiver and the recovery script.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/dispatch.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "download/download_slot.h"
#include "recovery/download_recovery.h"
#include "recovery/internet_recovery_table.h"
#include "recovery/package_check.h"
#include "recovery/update_recovery_list.h"
#include "resources/dmg_extract.h"
#include "resources/packed_resources.h"
#include "tests/download/test_server.h"
#include "tests/loop_disk.h"
#include "tests/recovery/catalog_fixture.h"
#include "tests/recovery/package_fixture.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using core::Outcome;
using fixtures::CatalogProduct;

core::RecoveryEntry Entry(const std::string& title, const std::string& url) {
    core::RecoveryEntry entry;
    entry.Title = title;
    entry.URL = url;
    return entry;
}

// A catalog site on the loopback server and the main window, for the update.
class RecoverySiteTest : public test::AppTest {
protected:
    explicit RecoverySiteTest(std::string packageFolder = "")
        : package(std::move(packageFolder)),
          temporary(scratch.file("tmp")),
          www(scratch.file("www")),
          server((fs::create_directories(www), www)) {
        app::BuildMainWindow();
        core::SFKImageLocalRepo = scratch.file("image folder") + "/";
        fs::create_directories(core::SFKImageLocalRepo);
    }

    // name: the path on the server, "/" first or not.
    void Serve(const std::string& name, const std::string& bytes) {
        fs::path file = fs::path(www) / fs::path(name).relative_path();
        fs::create_directories(file.parent_path());
        test::WriteFile(file.string(), bytes);
    }

    // A recovery product whose files lie under /KEY/ on the server.
    CatalogProduct Product(const std::string& key, const std::string& identifier,
                           const std::string& size = "474525688") {
        std::string base = "/" + key + "/";
        Serve(base + "RecoveryHDUpdate.smd", fixtures::SmdXml("Recovery " + key));
        Serve(base + "RecoveryHDUpdate.pkm", fixtures::PackageMetadataXml(identifier));
        return {key,
                server.Url(base + "RecoveryHDUpdate.smd"),
                server.Url(base + "RecoveryHDUpdate.pkg"),
                server.Url(base + "RecoveryHDUpdate.pkm"),
                size,
                "",
                "2015-09-16T17:29:47Z"};
    }

    Outcome Update(const std::vector<CatalogProduct>& products) {
        Serve("catalog.xml", fixtures::CatalogXml(products));
        core::SUCatalogURL = server.Url("/catalog.xml");
        return recovery::RunRecoveryListUpdate();
    }

    bool SawStatus(const std::string& text) {
        for (const std::string& line : toolkit().StatusLines())
            if (line == text) return true;
        return false;
    }

    std::vector<std::string> Titles() {
        std::vector<std::string> titles;
        for (const core::RecoveryEntry& entry : core::RecoveryList) titles.push_back(entry.Title);
        return titles;
    }

    // The titles an update publishes: the catalog's, then the Internet Recovery items.
    static std::vector<std::string> Published(std::vector<std::string> titles) {
        for (const recovery::InternetRecoveryVersion& version :
             recovery::InternetRecoveryVersions())
            titles.push_back(recovery::InternetRecoveryItemTitle(version));
        return titles;
    }

    std::string package;  // made before the private temporary path is in force
    test::PrivateTemporaryPath temporary;
    std::string www;
    test::TestServer server;
};

// The site with the package fixture, for downloads.
class RecoveryWorkflowTest : public RecoverySiteTest {
protected:
    RecoveryWorkflowTest() : RecoverySiteTest(test::PackageFolder()) {}

    // Serves the fixture package as the only entry of the list.
    void ListPackage(const std::string& digest, const std::string& query = "") {
        ASSERT_FALSE(package.empty()) << "the package fixture could not be built";
        fs::copy_file(package + "/RecoveryHDUpdate.pkg", www + "/RecoveryHDUpdate.pkg",
                      fs::copy_options::overwrite_existing);
        core::RecoveryEntry entry;
        entry.Title = "(15A204h) OS X Recovery HD Update 2015-09-16 199 KB";
        entry.URL = server.Url("/RecoveryHDUpdate.pkg" + query);
        entry.Digest = digest;
        core::RecoveryList = {entry};
    }
};

TEST_F(RecoveryWorkflowTest, AnUpdateListsTheRecoveryProductsWithTheirTitles) {
    ASSERT_TRUE(server.running());
    CatalogProduct plain = Product("031-1", "com.apple.pkg.RecoveryHDUpdate.15A204h");
    CatalogProduct noIdentifier = Product("031-2", "");
    CatalogProduct zero = Product("031-3", "com.apple.pkg.RecoveryHDUpdate.14F27", "0");
    CatalogProduct text = Product("031-4", "com.apple.pkg.RecoveryHDUpdate.13F34", "many");
    CatalogProduct other = plain;
    other.key = "041-9";
    other.metadataUrl = server.Url("/041-9/iTunes.smd");
    EXPECT_EQ(Update({plain, other, noIdentifier, zero, text}), Outcome::Done);

    EXPECT_EQ(Titles(), Published({"(15A204h) Recovery 031-1 2015-09-16 453 MB", "Recovery 031-2",
                                   "(14F27) Recovery 031-3 2015-09-16",
                                   "(13F34) Recovery 031-4 2015-09-16"}));
    EXPECT_EQ(core::RecoveryList[5].Title, "macOS Sequoia 15 (Internet Recovery)");
    EXPECT_EQ(core::RecoveryList[0].Revision, "15A204h");
    EXPECT_EQ(core::RecoveryList[0].URL, plain.packageUrl);
    for (const char* status : {"Checking for Updates ... Wait Please",
                               "Download Latest SUCatalog ... OK", "Update RecoveryHD List ... OK"})
        EXPECT_TRUE(SawStatus(status)) << status;
    std::string saved = test::ReadFile(core::SettingsFilePath());
    EXPECT_NE(
        saved.find("(15A204h) Recovery 031-1 2015-09-16 453 MB = " + plain.packageUrl + "\r\n"),
        std::string::npos);

    // The next start reads back every entry as it was published, each still dispatched by
    // its address.
    const std::vector<core::RecoveryEntry> published = core::RecoveryList;
    core::LoadSettingsFromText("");
    core::LoadSettings();
    ASSERT_EQ(core::RecoveryList.size(), published.size());
    for (size_t i = 0; i < published.size(); ++i) {
        const core::RecoveryEntry& loaded = core::RecoveryList[i];
        EXPECT_EQ(loaded.Title, published[i].Title);
        EXPECT_EQ(loaded.URL, published[i].URL) << loaded.Title;
        EXPECT_EQ(loaded.Size + loaded.Digest, published[i].Size + published[i].Digest);
        recovery::InternetRecoveryVersion version;
        EXPECT_EQ(recovery::ReadInternetRecoveryAddress(loaded.URL, version), i >= 4)
            << loaded.Title;
    }
}

TEST_F(RecoveryWorkflowTest, EachFailureHasItsText) {
    core::RecoveryList = {Entry("kept", "http://127.0.0.1/old.pkg")};
    core::SUCatalogURL = server.Url("/missing.xml");
    EXPECT_EQ(recovery::RunRecoveryListUpdate(), Outcome::Failed);
    EXPECT_TRUE(SawStatus("Update RecoveryHD List ... Error: Get SUCatalog"));
    EXPECT_EQ(Titles(), std::vector<std::string>{"kept"});

    CatalogProduct broken = Product("031-1", "a.b.1");
    Serve("/031-1/RecoveryHDUpdate.pkm", "");
    fs::remove(www + "/031-1/RecoveryHDUpdate.smd");
    EXPECT_EQ(Update({broken}), Outcome::Failed);
    EXPECT_TRUE(SawStatus("Update RecoveryHD List ... Error: CheckRecoveryHDThread"));
    // The list and the tool's list box agree, and the list is saved.
    ASSERT_EQ(Titles(), Published({""}));
    EXPECT_EQ(core::RecoveryList[0].URL, broken.packageUrl);
    EXPECT_EQ(toolkit().ItemCount(core::DownloadToolList), 0);  // the window is not open

    EXPECT_EQ(Update({}), Outcome::Failed);
    EXPECT_TRUE(SawStatus("Update RecoveryHD List ... Error:  RecoveryHD Source List is Empty"));
    EXPECT_EQ(Titles(), Published({}));
    EXPECT_EQ(test::ReadFile(core::SettingsFilePath()).find("old.pkg"), std::string::npos);
}

TEST_F(RecoveryWorkflowTest, MalformedXmlShowsTheBoxWithLineAndCharacter) {
    Serve("catalog.xml", "<plist>\n<dict>\n  <key>x</string>\n</plist>\n");
    core::SUCatalogURL = server.Url("/catalog.xml");
    EXPECT_EQ(recovery::RunRecoveryListUpdate(), Outcome::Failed);
    // The console shows each lone CR of the box as a line break.
    EXPECT_NE(output().find("[Error] Error in the XML file:\nMessage: mismatched tag\n"
                            "Line: 3   Character: 11"),
              std::string::npos)
        << output();
    EXPECT_EQ(recovery::XmlErrorText({"mismatched tag", 3, 11}),
              "Error in the XML file:\rMessage: mismatched tag\rLine: 3   Character: 11");

    CatalogProduct product = Product("031-1", "a.b.1");
    Serve("/031-1/RecoveryHDUpdate.pkm", "<pkg-info identifier=\"a.b");
    EXPECT_EQ(Update({product}), Outcome::Failed);
    EXPECT_NE(output().find("Message: unclosed token"), std::string::npos) << output();
}

TEST_F(RecoveryWorkflowTest, AnUpdateStartsWithAClearedWalk) {
    // The first catalog ends inside an entry; the next update still finds its first one.
    CatalogProduct first = Product("031-1", "a.b.1");
    Serve("catalog.xml", "<plist><dict><key>ServerMetadataURL</key><string>" + first.metadataUrl +
                             "</string><key>MetadataURL</key><string>" + first.packageMetadataUrl +
                             "</string></dict></plist>");
    core::SUCatalogURL = server.Url("/catalog.xml");
    EXPECT_EQ(recovery::RunRecoveryListUpdate(), Outcome::Done);
    ASSERT_EQ(Titles().size(), Published({""}).size());
    EXPECT_EQ(Update({Product("031-2", "a.b.2")}), Outcome::Done);
    EXPECT_EQ(Titles(), Published({"(2) Recovery 031-2 2015-09-16 453 MB"}));
}

TEST_F(RecoveryWorkflowTest, OneDownloadAtATime) {
    core::RecoveryList = {Entry("kept", server.Url("/x.pkg"))};
    core::SUCatalogURL = server.Url("/catalog.xml");
    std::vector<std::string> images;
    {
        download::HeldDownloadSlot other;  // the revision check, a Clover or recovery download
        ASSERT_TRUE(other.Held());
        EXPECT_EQ(recovery::RunRecoveryListUpdate(), Outcome::Refused);
        EXPECT_TRUE(SawStatus("Update RecoveryHD List ... Wait: another download is running"));
        EXPECT_EQ(recovery::RunRecoveryDownload(0, images), Outcome::Refused);
        EXPECT_TRUE(SawStatus("DL HD Recovery ... Wait: another download is running"));
        EXPECT_TRUE(core::DownloadThreadRunning) << "a refused run keeps the other's slot";
    }
    EXPECT_EQ(Titles(), std::vector<std::string>{"kept"});
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(core::BusyFlag, 0);
    EXPECT_EQ(recovery::RunRecoveryDownload(1, images), Outcome::Refused);  // no such entry
    EXPECT_EQ(recovery::RunRecoveryListUpdate(), Outcome::Failed);          // no catalog
    EXPECT_FALSE(core::DownloadThreadRunning) << "finished runs give the slot back";
}

TEST_F(RecoveryWorkflowTest, ADownloadLeavesTheHfsImageAndNothingElse) {
    ListPackage(recovery::FileSha1(package + "/RecoveryHDUpdate.pkg"));
    std::vector<std::string> images;
    ASSERT_EQ(recovery::RunRecoveryDownload(0, images), Outcome::Done) << output();
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0], core::SFKImageLocalRepo + "2.hfs");
    EXPECT_EQ(test::ReadFile(images[0]), test::ReadFile(package + "/base.hfs"));
    for (const char* status : {"RecoveryHDUpdate.pkg Downloaded",
                               "Extracting HFS-Image from RecoveryHDUpdate.pkg ...", "Done"})
        EXPECT_TRUE(SawStatus(status)) << status;
    EXPECT_NE(output().find("[Info] "), std::string::npos);
    EXPECT_EQ(recovery::RecoverySummaryText("T"),
              "\tSummary Information:\r\n\r\nDL HD Recovery file For MACOSX \"T\" ........... "
              "Success\r\nExtract HFS-Image from HD Recovery file ................. Success\r\n"
              "\r\nAn SFKImage file can be restored to the required Partition\r\nusing the "
              "button [Restore ...].");
    EXPECT_TRUE(core::TempFolder.empty());
    EXPECT_FALSE(temporary.HoldsProgramFolders());
    EXPECT_EQ(core::BusyFlag, 0);
    EXPECT_EQ(toolkit().GetText(core::RecoveryButton), "DL HD Recovery");
}

TEST_F(RecoveryWorkflowTest, AWrongDigestExtractsNothing) {
    ListPackage("0000000000000000000000000000000000000000");
    std::vector<std::string> images;
    EXPECT_EQ(recovery::RunRecoveryDownload(0, images), Outcome::Failed);
    EXPECT_TRUE(
        SawStatus("Digest Error: RecoveryHDUpdate.pkg does not match the catalog's SHA-1 digest"));
    EXPECT_FALSE(SawStatus("Extracting HFS-Image from RecoveryHDUpdate.pkg ..."));
    EXPECT_TRUE(fs::is_empty(core::SFKImageLocalRepo));
    EXPECT_EQ(output().find("[Info] "), std::string::npos);
}

// A file name from the package's URL that Windows would take for a device or trim, or
// that names the archiver or the script beside the package, is never downloaded.
TEST_F(RecoveryWorkflowTest, PackageNamesThatAreNoPlainFileAreRefused) {
    std::string marker = scratch.file("ran");
    for (const std::string& name :
         {std::string("CON"), std::string("nul.pkg"), std::string("Com1.pkg"), std::string("LPT9"),
          std::string("Update.pkg."), std::string("a:b.pkg"),
          std::string(resources::ArchiverFileName),
          std::string(resources::RecoveryScriptFileName)}) {
        SCOPED_TRACE(name);
        Serve(name, "#!/bin/sh\ntouch '" + marker + "'\n");
        core::RecoveryList = {Entry("T", server.Url("/" + name))};
        std::vector<std::string> images;
        EXPECT_EQ(recovery::RunRecoveryDownload(0, images), Outcome::Failed);
        EXPECT_FALSE(SawStatus(name + " Downloaded"));
        EXPECT_FALSE(fs::exists(marker));
        EXPECT_TRUE(fs::is_empty(core::SFKImageLocalRepo));
    }
}

// "recovery update" and "recovery download" are two runs: the second knows the catalog's
// size and digest only from the settings file.
TEST_F(RecoveryWorkflowTest, AfterARestartThePackageIsStillCheckedAgainstTheCatalog) {
    ASSERT_FALSE(package.empty());
    const std::string original = test::ReadFile(package + "/RecoveryHDUpdate.pkg");
    CatalogProduct product =
        Product("031-1", "com.apple.pkg.RecoveryHDUpdate.15A204h", std::to_string(original.size()));
    product.digest = recovery::FileSha1(package + "/RecoveryHDUpdate.pkg");
    ASSERT_EQ(Update({product}), Outcome::Done);
    core::LoadSettingsFromText("");
    core::LoadSettings();
    ASSERT_EQ(Titles().size(), Published({""}).size());

    std::string sameSize = original;
    sameSize[sameSize.size() / 2] ^= 1;
    const std::pair<std::string, std::string> cases[] = {
        {sameSize, "Digest Error: RecoveryHDUpdate.pkg does not match the catalog's SHA-1 digest"},
        {original + "x", "Size Error: RecoveryHDUpdate.pkg has " +
                             std::to_string(original.size() + 1) + " bytes, not the catalog's " +
                             std::to_string(original.size())},
    };
    std::vector<std::string> images;
    for (const auto& [served, status] : cases) {
        Serve("/031-1/RecoveryHDUpdate.pkg", served);
        EXPECT_EQ(recovery::RunRecoveryDownload(0, images), Outcome::Failed) << status;
        EXPECT_TRUE(SawStatus(status)) << status;
        EXPECT_TRUE(fs::is_empty(core::SFKImageLocalRepo)) << status;
    }
    Serve("/031-1/RecoveryHDUpdate.pkg", original);
    EXPECT_EQ(recovery::RunRecoveryDownload(0, images), Outcome::Done) << output();
}

TEST_F(RecoveryWorkflowTest, AScriptFailureShowsItsCode) {
    ListPackage("");
    core::SFKImageLocalRepo = scratch.file("no such folder") + "/";
    std::vector<std::string> images;
    EXPECT_EQ(recovery::RunRecoveryDownload(0, images), Outcome::Failed);
    EXPECT_TRUE(SawStatus("Extract HFS-Image from RecoveryHDUpdate.pkg ErrorCode: 3"));
    EXPECT_EQ(output().find("[Info] "), std::string::npos);
    EXPECT_TRUE(images.empty());
}

TEST_F(RecoveryWorkflowTest, CancellingTheTransferEndsWithoutSummary) {
    // Several blocks, slowly: the engine reports progress after each.
    Serve("big/RecoveryHDUpdate.pkg", std::string(3 << 20, 'x'));
    core::RecoveryList = {Entry("big", server.Url("/big/RecoveryHDUpdate.pkg?rate=1000000"))};
    std::atomic<bool> done = false;
    std::atomic<bool> slotHeld = false;
    // One press, as a user makes it: raised again after the worker's closing steps reset
    // it, the flag would outlive the operation.
    std::thread canceller([&] {
        while (!done) {
            for (const std::string& line : toolkit().StatusLines())
                if (line.find("% RecoveryHDUpdate.pkg") != std::string::npos) {
                    slotHeld = bool(core::DownloadThreadRunning);
                    core::TransferCancelFlag = 1;
                    return;
                }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::vector<std::string> images;
    Outcome outcome = recovery::RunRecoveryDownload(0, images);
    done = true;
    canceller.join();
    EXPECT_EQ(outcome, Outcome::Cancelled);
    EXPECT_TRUE(slotHeld) << "the transfer holds the download slot";
    EXPECT_FALSE(core::DownloadThreadRunning);
    EXPECT_EQ(output().find("[Info] "), std::string::npos);
    EXPECT_FALSE(temporary.HoldsProgramFolders());
    EXPECT_EQ(core::TransferCancelFlag, 0);
    EXPECT_EQ(toolkit().GetText(core::RecoveryButton), "DL HD Recovery");
}

}  // namespace

namespace {

class DmgExtractionTest : public RecoveryWorkflowTest {};

TEST_F(DmgExtractionTest, CancellingTheRequesterLeavesNothingBehind) {
    EXPECT_EQ(resources::ExtractHfsFromDmg("", ""), Outcome::Cancelled);
    EXPECT_NE(output().find("Select DMG-file for extraction []"), std::string::npos);
    EXPECT_FALSE(temporary.HoldsProgramFolders());
    EXPECT_TRUE(core::TempFolder.empty());
    EXPECT_EQ(core::BusyFlag, 0);
}

// Images of different disk images share index names: one already in the folder is
// replaced only after a Yes.
TEST_F(DmgExtractionTest, AnImageOfTheSameNameIsReplacedOnlyAfterAYes) {
    ASSERT_FALSE(package.empty());
    std::string out = scratch.file("out folder");
    fs::create_directories(out);
    test::WriteFile(out + "/2.hfs", "an older image");
    EXPECT_EQ(resources::ExtractHfsFromDmg(package + "/BaseSystem.dmg", out + "/"),
              Outcome::Cancelled);
    EXPECT_NE(output().find("[Warning] Warning: The image file:\n" + out +
                            "/2.hfs\nalready exists. "
                            "Overwrite it?\n  -> No"),
              std::string::npos)
        << output();
    EXPECT_EQ(test::ReadFile(out + "/2.hfs"), "an older image");
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
    EXPECT_EQ(output().find("HFS volume Extracted."), std::string::npos);

    toolkit().SetAssumeYes(true);
    EXPECT_EQ(resources::ExtractHfsFromDmg(package + "/BaseSystem.dmg", out + "/"), Outcome::Done);
    EXPECT_EQ(test::ReadFile(out + "/2.hfs"), test::ReadFile(package + "/base.hfs"));
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
    EXPECT_NE(output().find("[Info] HFS volume Extracted."), std::string::npos);

    // A missing output folder is not made: the box names the image.
    std::string missing = scratch.file("missing") + "/";
    EXPECT_EQ(resources::ExtractHfsFromDmg(package + "/BaseSystem.dmg", missing), Outcome::Failed);
    EXPECT_NE(output().find("Can't open \"BaseSystem.dmg\"\nas DMG archive."), std::string::npos);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_FALSE(temporary.HoldsProgramFolders());
}

// hdiutil's compressions (UDRO raw, UDZO zlib, UDBZ bzip2, UDCO ADC, ULFO LZFSE) and
// layouts (Apple map, MBR, GPT, none) all give the HFS partition back; an image without
// one is the box, and nothing stays.
TEST_F(DmgExtractionTest, EveryFormOfAppleDiskImageGivesItsHfsPartition) {
    ASSERT_FALSE(package.empty());
    std::string other = scratch.file("other.img");
    test::WriteFile(other, std::string(64 * 1024, 'o') + "not hfs");
    const std::string hfs = "Apple_HFS=" + package + "/base.hfs";
    struct Form {
        const char* layout;
        const char* format;
        std::string partitions;
        bool holdsHfs;
    };
    const std::vector<Form> forms{{"SPUD", "UDRO", hfs, true},
                                  {"SPUD", "UDZO", hfs, true},
                                  {"SPUD", "UDBZ", hfs, true},
                                  {"SPUD", "UDCO", hfs, true},
                                  {"SPUD", "ULFO", hfs, true},
                                  {"GPTSPUD", "UDZO", "DOS_FAT_32=" + other + " " + hfs, true},
                                  {"GPTSPUD", "ULFO", hfs, true},
                                  {"MBRSPUD", "UDBZ", hfs, true},
                                  {"NONE", "UDCO", hfs, true},
                                  {"GPTSPUD", "UDZO", "Apple_APFS=" + other, false},
                                  {"MBRSPUD", "UDZO", "DOS_FAT_32=" + other, false},
                                  {"SPUD", "UDZO", "Apple_Free=" + other, false}};
    for (const Form& form : forms) {
        std::string name = std::string(form.layout) + "-" + form.format + "-" +
                           (form.holdsHfs ? "hfs" : "other") + ".dmg";
        SCOPED_TRACE(name);
        std::string image = scratch.file(name), out = scratch.file("out " + name);
        fs::create_directories(out);
        std::string command = std::string(STICKFORGE_ARCHIVE_FIXTURE) + " dmg '" + image +
                              "' --layout=" + form.layout + " --format=" + form.format + " " +
                              form.partitions;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        Outcome outcome = resources::ExtractHfsFromDmg(image, out);
        std::vector<fs::path> left;
        for (const auto& entry : fs::directory_iterator(out)) left.push_back(entry.path());
        if (form.holdsHfs) {
            EXPECT_EQ(outcome, Outcome::Done);
            ASSERT_EQ(left.size(), 1u);
            EXPECT_EQ(left[0].extension(), ".hfs");
            EXPECT_EQ(test::ReadFile(left[0].string()), test::ReadFile(package + "/base.hfs"));
        } else {
            EXPECT_EQ(outcome, Outcome::Failed);
            EXPECT_NE(output().find("Can't open \"" + name + "\"\nas DMG archive."),
                      std::string::npos);
            EXPECT_TRUE(left.empty());
        }
    }
    EXPECT_FALSE(temporary.HoldsProgramFolders());
}

// A temporary path whose file system lets no program run (noexec, a common hardening of
// /tmp): the archiver runs from a place that allows it.
TEST_F(DmgExtractionTest, ANoexecTemporaryPathStillExtracts) {
    REQUIRE_ROOT("mounts");
    ASSERT_FALSE(package.empty());
    std::string noexec = scratch.file("noexec"), out = scratch.file("out");
    fs::create_directories(noexec);
    fs::create_directories(out);
    ASSERT_EQ(mount("tmpfs", noexec.c_str(), "tmpfs", MS_NOEXEC, "size=64m,mode=0755"), 0);
    setenv("TMPDIR", noexec.c_str(), 1);
    EXPECT_EQ(resources::ExtractHfsFromDmg(package + "/BaseSystem.dmg", out), Outcome::Done)
        << output();
    EXPECT_EQ(test::ReadFile(out + "/2.hfs"), test::ReadFile(package + "/base.hfs"));
    EXPECT_EQ(umount2(noexec.c_str(), MNT_DETACH), 0);
}

}  // namespace

namespace {

class RecoveryListThreads : public RecoverySiteTest {};

// "Update List" replaces the list on its worker while the interface thread opens the
// Download Tool again and again and renders the settings, as a save at exit or from the
// Configuration window does (the thread sanitizer watches this test).
TEST_F(RecoveryListThreads, TheUpdateReplacesTheListWhileTheInterfaceReadsIt) {
    ASSERT_TRUE(server.running());
    Serve("catalog.xml", fixtures::CatalogXml({Product("031-1", "a.b.1"), Product("031-2", "")}));
    core::SUCatalogURL = server.Url("/catalog.xml");
    core::RecoveryList = {Entry("old", server.Url("/old.pkg"))};
    auto press = [](int window, int control) {
        app::DispatchEvent({ui::EventKind::Control, window, control});
    };
    for (int round = 0; round < 3; ++round) {
        press(core::MainWindow, core::RecoveryButton);
        press(core::DownloadToolWindow, core::DownloadToolUpdateList);
        while (app::LiveWorkers() > 0) {
            core::RenderSettings();
            press(core::DownloadToolWindow, core::DownloadToolCancel);
            press(core::MainWindow, core::RecoveryButton);
        }
        press(core::DownloadToolWindow, core::DownloadToolCancel);
    }
    const std::vector<std::string> titles =
        Published({"(1) Recovery 031-1 2015-09-16 453 MB", "Recovery 031-2"});
    EXPECT_EQ(Titles(), titles);
    press(core::MainWindow, core::RecoveryButton);
    EXPECT_EQ(toolkit().ItemCount(core::DownloadToolList), int(titles.size()));
    EXPECT_EQ(toolkit().SelectedItem(core::DownloadToolList), 0);
}

}  // namespace
