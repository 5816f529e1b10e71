// Internet Recovery against the loopback stand-in of Apple's server, with the real engine
// and the chunk lists signed by the build's test key: the exchange, drops, a corrupted
// chunk, refused chunk lists and answers, the extraction, the table and its entries.
#include "recovery/internet_recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "app/dispatch.h"
#include "app/main_window.h"
#include "app/workers.h"
#include "core/ids.h"
#include "core/settings.h"
#include "core/state.h"
#include "download/http_download.h"
#include "recovery/download_recovery.h"
#include "recovery/internet_recovery_table.h"
#include "tests/download/test_server.h"
#include "tests/recovery/catalog_fixture.h"
#include "tests/recovery/package_fixture.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using core::Outcome;
using recovery::InternetRecoveryVersion;

constexpr int kChunkSize = 65536;

class InternetRecoveryTest : public test::AppTest {
protected:
    InternetRecoveryTest() : package(test::PackageFolder()), temporary(scratch.file("tmp")) {
        app::BuildMainWindow();
        core::ResumeMaxAttemptsNumber = 10;
        core::SFKImageLocalRepo = scratch.file("images");
        fs::create_directories(core::SFKImageLocalRepo);
        std::mt19937 engine(3);
        std::string bytes(kChunkSize * 4 + 5000, '\0');
        for (char& byte : bytes) byte = char(engine());
        test::WriteFile(scratch.file("BaseSystem.dmg"), bytes);
    }
    ~InternetRecoveryTest() override { unsetenv("STICKFORGE_RECOVERY_HOST"); }

    // The stand-in serving image with the given options, and the program pointed at it.
    void Start(std::vector<std::string> options, const std::string& image = "") {
        std::vector<std::string> command = {
            "python3",      STICKFORGE_RECOVERY_SERVER,
            "--image",      image.empty() ? scratch.file("BaseSystem.dmg") : image,
            "--key",        STICKFORGE_CHUNKLIST_TEST_KEY,
            "--chunk-size", std::to_string(kChunkSize),
            "--log",        scratch.file("server.log")};
        command.insert(command.end(), options.begin(), options.end());
        fs::remove(scratch.file("server.log"));
        server = std::make_unique<test::TestServer>(command, scratch.file("server.log"));
        ASSERT_TRUE(server->running());
        setenv("STICKFORGE_RECOVERY_HOST", server->Url("").c_str(), 1);
    }

    Outcome Fetch() { return recovery::FetchRecoveryImage(Sequoia(), dmg); }

    static InternetRecoveryVersion Sequoia() { return recovery::InternetRecoveryVersions()[1]; }

    // The requests of the image, as the server logged them.
    std::vector<std::string> ImageRequests() {
        std::vector<std::string> lines;
        for (const std::string& line : server->Requests())
            if (line.starts_with("GET /assets/BaseSystem.dmg ")) lines.push_back(line);
        return lines;
    }

    bool Showed(const std::string& text) {
        for (const std::string& line : toolkit().StatusLines())
            if (line == text) return true;
        return false;
    }

    // No image of the product folders is left.
    bool NoImageLeft() {
        for (const auto& entry : fs::recursive_directory_iterator(core::SFKImageLocalRepo))
            if (entry.path().filename() == "BaseSystem.dmg") return false;
        return true;
    }

    // A catalog of one recovery package on a loopback server of its own, for Update List.
    void ServeCatalog() {
        std::string www = scratch.file("www");
        fs::create_directories(www + "/031-1");
        catalogServer = std::make_unique<test::TestServer>(www);
        ASSERT_TRUE(catalogServer->running());
        auto url = [&](const std::string& name) { return catalogServer->Url("/031-1/" + name); };
        test::WriteFile(www + "/031-1/RecoveryHDUpdate.smd", fixtures::SmdXml("Recovery 031-1"));
        test::WriteFile(www + "/031-1/RecoveryHDUpdate.pkm", fixtures::PackageMetadataXml("a.b.1"));
        test::WriteFile(www + "/catalog.xml",
                        fixtures::CatalogXml(
                            {{"031-1", url("RecoveryHDUpdate.smd"), url("RecoveryHDUpdate.pkg"),
                              url("RecoveryHDUpdate.pkm"), "0", "", "2015-09-16T17:29:47Z"}}));
        core::SUCatalogURL = catalogServer->Url("/catalog.xml");
    }

    std::string package;  // made before the private temporary path is in force
    test::PrivateTemporaryPath temporary;
    std::unique_ptr<test::TestServer> server, catalogServer;
    std::string dmg;
};

TEST_F(InternetRecoveryTest, TheCheckedPairLandsInAFolderOfTheProduct) {
    Start({});
    ASSERT_EQ(Fetch(), Outcome::Done) << output();
    EXPECT_EQ(test::ReadFile(dmg), test::ReadFile(scratch.file("BaseSystem.dmg")));
    fs::path folder = fs::path(dmg).parent_path();
    EXPECT_EQ(folder.parent_path(), fs::path(core::SFKImageLocalRepo));
    EXPECT_TRUE(folder.filename().string().starts_with("041-"));
    EXPECT_TRUE(fs::is_regular_file(folder / "BaseSystem.chunklist"));
    std::vector<std::string> requests = server->Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(requests[0].starts_with("GET / ")) << requests[0];
    EXPECT_TRUE(requests[1].starts_with("POST /InstallationPayload/RecoveryImage range=- -> 200"))
        << requests[1];
    EXPECT_TRUE(requests[2].starts_with("GET /assets/BaseSystem.chunklist range=- -> 200"))
        << requests[2];
    EXPECT_TRUE(requests[3].starts_with("GET /assets/BaseSystem.dmg range=- -> 200"))
        << requests[3];
}

TEST_F(InternetRecoveryTest, ADropResumesWhereTheBytesEnded) {
    Start({"--drop-at", "100000", "--drops", "2"});
    ASSERT_EQ(Fetch(), Outcome::Done) << output();
    EXPECT_EQ(test::ReadFile(dmg), test::ReadFile(scratch.file("BaseSystem.dmg")));
    std::vector<std::string> requests = ImageRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_NE(requests[1].find("range=bytes=100000-"), std::string::npos) << requests[1];
    EXPECT_NE(requests[2].find("range=bytes=200000-"), std::string::npos) << requests[2];
}

TEST_F(InternetRecoveryTest, ACorruptedChunkIsFetchedAgainByRangeAlone) {
    Start({"--corrupt-chunk", "3"});
    ASSERT_EQ(Fetch(), Outcome::Done) << output();
    EXPECT_EQ(test::ReadFile(dmg), test::ReadFile(scratch.file("BaseSystem.dmg")));
    EXPECT_TRUE(Showed("Chunk 3 of BaseSystem.dmg failed its check: fetching it again"));
    std::vector<std::string> requests = ImageRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].find("range=bytes=" + std::to_string(2 * kChunkSize) + "-"),
              std::string::npos)
        << requests[1];
}

TEST_F(InternetRecoveryTest, AnImageThatKeepsFailingItsCheckIsRemoved) {
    core::ResumeMaxAttemptsNumber = 0;
    Start({"--corrupt-chunk", "2"});
    EXPECT_EQ(Fetch(), Outcome::Failed);
    EXPECT_TRUE(dmg.empty());
    EXPECT_TRUE(NoImageLeft());
}

TEST_F(InternetRecoveryTest, AChunklistWithoutTheTrustedSignatureStopsBeforeTheImage) {
    const std::pair<const char*, const char*> cases[] = {
        {"digest", "Internet Recovery ... Error: BaseSystem.chunklist is not signed"},
        {"bad", "Internet Recovery ... Error: BaseSystem.chunklist is not signed by Apple"},
    };
    for (const auto& [signature, status] : cases) {
        Start({"--signature", signature});
        EXPECT_EQ(Fetch(), Outcome::Failed) << signature;
        EXPECT_TRUE(Showed(status)) << signature;
        EXPECT_TRUE(ImageRequests().empty()) << signature;
        EXPECT_TRUE(NoImageLeft()) << signature;
    }
}

TEST_F(InternetRecoveryTest, AnAnswerWithoutOneOfItsLinesIsAClearFailure) {
    const char* keys[] = {"AP", "AU", "AH", "AT", "CU", "CH", "CT"};
    Start({"--omit", "AP,AU,AH,AT,CU,CH,CT"});  // one key fewer in each answer
    for (const char* key : keys) {
        EXPECT_EQ(Fetch(), Outcome::Failed) << key;
        EXPECT_TRUE(
            Showed(std::string("Internet Recovery ... Error: the server's answer has no ") + key))
            << key;
    }
    EXPECT_EQ(server->Requests().size(), 2 * std::size(keys)) << "nothing fetched";
}

// The stand-in holds the program to the protocol: what it refuses, a wrong request gets.
TEST_F(InternetRecoveryTest, TheStandInRefusesEveryWrongField) {
    Start({});
    download::DownloadRequest root;
    root.Url = server->Url("/");
    root.Mode = download::kIntoMemory;
    ASSERT_EQ(download::HttpDownload(root), download::kDownloadOk);
    ASSERT_EQ(root.Cookies.size(), 2u);
    EXPECT_EQ(root.Cookies[0], "region=test");
    const std::string session = root.Cookies[1];
    const std::string hex64(64, 'A');
    const std::string good =
        "cid=0123456789ABCDEF\nsn=00000000000000000\nbid=Mac-7BA5B2D9E42DDD94"
        "\nk=" +
        hex64 + "\nfg=" + hex64 + "\nos=default";
    struct Case {
        const char* what;
        std::string body, cookie, type;
        int32_t status;
    };
    const Case cases[] = {
        {"the right request", good, session, "text/plain", 200},
        {"no session", good, "region=test", "text/plain", 400},
        {"another type", good, session, "application/x-www-form-urlencoded", 400},
        {"no os", good.substr(0, good.rfind('\n')), session, "text/plain", 400},
        {"a short cid", "cid=0123" + good.substr(20), session, "text/plain", 400},
        {"a field twice", good + "\nos=latest", session, "text/plain", 400},
        {"os other", good.substr(0, good.rfind('=') + 1) + "newest", session, "text/plain", 400},
    };
    for (const Case& c : cases) {
        download::DownloadRequest post;
        post.Url = server->Url("/InstallationPayload/RecoveryImage");
        post.Mode = download::kIntoMemory;
        post.UserAgent = "InternetRecovery/1.0";
        post.Message = {"POST", c.body, {{"Cookie", c.cookie}, {"Content-Type", c.type}}};
        int32_t result = download::HttpDownload(post);
        EXPECT_EQ(result == download::kDownloadOk ? 200 : post.HttpStatus, c.status) << c.what;
    }
}

// As a user runs it: Update List, a restart, then OK on an item of the Download Tool.
TEST_F(InternetRecoveryTest, OkOnAnItemTheUpdateListedExtractsTheHfsImageBesideThePair) {
    ASSERT_FALSE(package.empty()) << "the package fixture could not be built";
    Start({}, package + "/BaseSystem.dmg");
    ServeCatalog();
    app::SetWorkerLauncher([](app::WorkerProc proc, int32_t argument) { proc(argument); });
    auto press = [](int window, int control) {
        app::DispatchEvent({ui::EventKind::Control, window, control});
    };
    press(core::MainWindow, core::RecoveryButton);
    press(core::DownloadToolWindow, core::DownloadToolUpdateList);
    press(core::DownloadToolWindow, core::DownloadToolCancel);
    core::LoadSettingsFromText("");
    core::LoadSettings();

    press(core::MainWindow, core::RecoveryButton);
    ASSERT_EQ(toolkit().ItemCount(core::DownloadToolList),
              int(1 + recovery::InternetRecoveryVersions().size()));
    toolkit().SelectItem(core::DownloadToolList, 2);
    ASSERT_EQ(core::RecoveryList[2].Title, "macOS Sequoia 15 (Internet Recovery)");
    press(core::DownloadToolWindow, core::DownloadToolOk);

    std::vector<fs::path> images;
    for (const auto& entry : fs::recursive_directory_iterator(core::SFKImageLocalRepo))
        if (entry.path().extension() == ".hfs") images.push_back(entry.path());
    ASSERT_EQ(images.size(), 1u) << output();
    EXPECT_EQ(images[0].filename(), "2.hfs");
    EXPECT_TRUE(fs::exists(images[0].parent_path() / "BaseSystem.dmg"));
    EXPECT_EQ(test::ReadFile(images[0]), test::ReadFile(package + "/base.hfs"));
    EXPECT_NE(output().find("\"macOS Sequoia 15 (Internet Recovery)\" ........... Success"),
              std::string::npos);
    EXPECT_NE(output().find(images[0].string()), std::string::npos) << "the box names the image";
    EXPECT_FALSE(temporary.HoldsProgramFolders());
}

TEST_F(InternetRecoveryTest, NothingIsExtractedFromAnImageThatFailedItsCheck) {
    ASSERT_FALSE(package.empty()) << "the package fixture could not be built";
    core::ResumeMaxAttemptsNumber = 0;
    Start({"--corrupt-chunk", "1"}, package + "/BaseSystem.dmg");
    core::RecoveryList = recovery::InternetRecoveryEntries();
    std::vector<std::string> images;
    EXPECT_EQ(recovery::RunRecoveryDownload(0, images), Outcome::Failed);
    EXPECT_TRUE(images.empty());
    for (const auto& entry : fs::recursive_directory_iterator(core::SFKImageLocalRepo))
        EXPECT_NE(entry.path().extension(), ".hfs") << entry.path();
    EXPECT_EQ(output().find("Summary Information"), std::string::npos);
}

TEST(InternetRecoveryTable, EveryRowOfTheDataIsReadNewestFirst) {
    std::string text = test::ReadFile(STICKFORGE_RECOVERY_TABLE);
    size_t rows = 0;
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
        rows += text[at] != '#' && text[at] != '\n';
    const auto& versions = recovery::InternetRecoveryVersions();
    ASSERT_EQ(versions.size(), rows);
    EXPECT_EQ(versions.front().title, "macOS Tahoe 26");
    EXPECT_TRUE(versions.front().latest);
    EXPECT_EQ(versions[1].title, "macOS Sequoia 15");
    EXPECT_EQ(versions.back().title, "OS X Lion 10.7");
}

TEST(InternetRecoveryTable, EntriesSurviveTheSettingsFileUnchanged) {
    test::ScratchFolder scratch;
    core::InitialiseGlobals();
    core::SetProgramLocation(scratch.file("stickforge"));
    core::RecoveryEntry catalog;
    catalog.Title = "(15A204h) OS X Recovery HD Update";
    catalog.URL = "http://127.0.0.1/RecoveryHDUpdate.pkg";
    core::RecoveryList = {catalog};
    for (const core::RecoveryEntry& entry : recovery::InternetRecoveryEntries())
        core::RecoveryList.push_back(entry);
    const std::vector<core::RecoveryEntry> saved = core::RecoveryList;
    EXPECT_EQ(saved[2].Title, "macOS Sequoia 15 (Internet Recovery)");
    core::SaveSettings();
    core::RecoveryList.clear();
    core::LoadSettings();
    ASSERT_EQ(core::RecoveryList.size(), saved.size());
    for (size_t i = 0; i < saved.size(); ++i) {
        EXPECT_EQ(core::RecoveryList[i].Title, saved[i].Title);
        EXPECT_EQ(core::RecoveryList[i].URL, saved[i].URL);
    }
    InternetRecoveryVersion version;
    EXPECT_FALSE(recovery::ReadInternetRecoveryAddress(core::RecoveryList[0].URL, version));
    for (size_t i = 1; i < saved.size(); ++i) {
        ASSERT_TRUE(recovery::ReadInternetRecoveryAddress(core::RecoveryList[i].URL, version));
        const InternetRecoveryVersion& row = recovery::InternetRecoveryVersions()[i - 1];
        EXPECT_EQ(version.boardId, row.boardId);
        EXPECT_EQ(version.serial, row.serial);
        EXPECT_EQ(version.latest, row.latest);
    }
}

}  // namespace
