// Checks of the download engine through WinINet under Wine, against the loopback test
// server: success into a file and into memory, redirects, the 401 retry, a cancel (7),
// a rejected status (10), a resume answered with the whole file (21), used-up attempts
// (22) and resumed transfers; the data set's download outlasting its wait; over TLS, a certificate
// from an unknown authority (16 at once), and once the authority is trusted, a download and the
// refusal of a redirect to plain http. Prints "N passed, N failed". Usage: download_win32_check
// BASE-URL SERVED-FOLDER SCRATCH-FOLDER [TLS-BASE-URL]
//        download_win32_check --trust CA-PEM-FILE     (exit 0 when it is trusted now)
//        download_win32_check --trusted TLS-BASE-URL BASE-URL SERVED-FOLDER SCRATCH-FOLDER
#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/state.h"
#include "download/clover_data_set.h"
#include "download/http_download.h"
#include "platform/clock.h"
#include "platform/http_transport.h"
#include "tests/win32/check.h"
#include "ui/console/console_toolkit.h"

namespace {

using namespace download;

// Waits take no time; a wait may raise the transfer cancel flag when asked to, and with
// a stride every reading moves the clock on, so that a wait limit runs out at once.
class CheckClock : public platform::Clock {
public:
    uint64_t TickMs() override { return now_ += stride; }
    int64_t NowUnixSeconds() override { return 0; }
    void SleepMs(int64_t ms) override {
        now_ += uint64_t(ms);
        if (cancelOnWait) core::TransferCancelFlag = 1;
    }
    bool cancelOnWait = false;
    std::atomic<uint64_t> stride{0};

private:
    std::atomic<uint64_t> now_{0};
};

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct Setup {
    std::string base, served, target, content;
};

DownloadRequest FileRequest(const Setup& s, const std::string& pathAndQuery, int32_t attempts) {
    DownloadRequest request;
    request.Url = s.base + pathAndQuery;
    request.Mode = kIntoFile;
    request.FileName = s.target;
    request.BlockSize = 65536;
    request.MaxResumeAttempts = attempts;
    return request;
}

void CheckSuccess(const Setup& s) {
    DownloadRequest request = FileRequest(s, "/f.bin?redirect=2", 0);
    CHECK(HttpDownload(request) == kDownloadOk);
    CHECK(request.BytesReceived == int64_t(s.content.size()));
    CHECK(ReadWhole(s.target) == s.content);

    DownloadRequest memory;
    memory.Url = s.base + "/f.bin";
    memory.Mode = kIntoMemory;
    CHECK(HttpDownload(memory) == kDownloadOk);
    CHECK(memory.Buffer.text() == s.content);

    std::string credentials = s.base;
    credentials.insert(7, "ann:s3cret@");
    DownloadRequest authorised = FileRequest(s, "", 0);
    authorised.Url = credentials + "/f.bin?auth=ann:s3cret";
    CHECK(HttpDownload(authorised) == kDownloadOk);
}

void CheckRejections(const Setup& s) {
    DeleteFileA(s.target.c_str());
    DownloadRequest missing = FileRequest(s, "/f.bin?status=404", 3);
    CHECK(HttpDownload(missing) == kHttpStatusError);
    CHECK(missing.HttpStatus == 404);
    CHECK(!Exists(s.target));

    std::string credentials = s.base;
    credentials.insert(7, "ann:guess@");
    DownloadRequest wrong = FileRequest(s, "", 3);
    wrong.Url = credentials + "/f.bin?auth=ann:s3cret";
    CHECK(HttpDownload(wrong) == kHttpStatusError);
    CHECK(wrong.HttpStatus == 401);

    DownloadRequest cancelled = FileRequest(s, "/f.bin", 3);
    cancelled.OnProgress = [](DownloadRequest&, int64_t, int64_t, int64_t) { return 0; };
    CHECK(HttpDownload(cancelled) == kDownloadAborted);
    CHECK(!Exists(s.target));
}

void CheckResumes(const Setup& s, CheckClock& clock) {
    DownloadRequest resumed = FileRequest(s, "/f.bin?drop=random&drops=2&id=a", 5);
    CHECK(HttpDownload(resumed) == kDownloadOk);
    CHECK(resumed.ResumeAttempt == 2);
    CHECK(ReadWhole(s.target) == s.content);

    DownloadRequest unknownLength = FileRequest(s, "/f.bin?nolength=1&drop=300000&drops=1&id=b", 2);
    CHECK(HttpDownload(unknownLength) == kDownloadOk);
    CHECK(unknownLength.ResumeAttempt == 1);
    CHECK(ReadWhole(s.target) == s.content);

    DownloadRequest usedUp = FileRequest(s, "/f.bin?drop=300000", 2);
    CHECK(HttpDownload(usedUp) == kResumeAttemptsUsedUp);

    CHECK(!Exists(s.target));

    // The whole file in answer to a resume: 21, kept as the result when the wait is
    // cancelled.
    clock.cancelOnWait = true;
    DownloadRequest refused = FileRequest(s, "/f.bin?drop=300000&norange=1", 5);
    CHECK(HttpDownload(refused) == kResumeRefused);
    CHECK(refused.HttpStatus == 200);
    CHECK(!Exists(s.target));
    clock.cancelOnWait = false;
    core::TransferCancelFlag = 0;
}

std::set<std::string> TemporaryFolders() {
    char temporary[MAX_PATH];
    GetTempPathA(MAX_PATH, temporary);
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(temporary) + "SFKTemp*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.insert(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// The Clover download outlasting the data set's wait is stopped and its thread has ended
// before the temporary folder goes; a transfer still writing would keep the folder. The
// archive's address lands in the query of a large file sent slowly.
void CheckDownloadOutlastingTheWait(const Setup& s, CheckClock& clock) {
    _putenv_s("STICKFORGE_CLOVER_HOST", (s.base + "/big.bin?rate=500000&path=").c_str());
    core::DownloadRevision = "5151";
    std::set<std::string> before = TemporaryFolders();
    clock.stride = 100000;
    CHECK(InstallCloverDataSet(s.target + ".stick") == core::Outcome::Failed);
    clock.stride = 0;
    CHECK(!core::DownloadThreadRunning);
    // Stale folders may be swept meanwhile; none may be added.
    std::set<std::string> after = TemporaryFolders();
    CHECK(std::includes(before.begin(), before.end(), after.begin(), after.end()));
}

// Before the authority is trusted: a rejection at once, never retried, no file.
void CheckUntrusted(const Setup& s, const std::string& tlsBase) {
    DeleteFileA(s.target.c_str());
    DownloadRequest untrusted = FileRequest(s, "", 3);
    untrusted.Url = tlsBase + "/f.bin";
    CHECK(HttpDownload(untrusted) == kSendError);
    CHECK(untrusted.ResumeAttempt == 0);
    CHECK(platform::SystemHttp().LastError().text.starts_with("The server's certificate"));
    CHECK(!Exists(s.target));
}

void CheckTrusted(const Setup& s, const std::string& tlsBase, const std::string& plainBase) {
    DownloadRequest trusted = FileRequest(s, "", 3);
    trusted.Url = tlsBase + "/f.bin?drop=300000&drops=1";
    CHECK(HttpDownload(trusted) == kDownloadOk);
    CHECK(trusted.ResumeAttempt == 1);
    CHECK(ReadWhole(s.target) == s.content);

    DeleteFileA(s.target.c_str());
    DownloadRequest downgraded = FileRequest(s, "", 3);
    downgraded.Url = tlsBase + "/f.bin?location=" + plainBase + "/f.bin";
    CHECK(HttpDownload(downgraded) == kSendError);
    CHECK(downgraded.ResumeAttempt == 0);
    CHECK(!Exists(s.target));
}

// The authority of a PEM file into the machine's root store of this (test) prefix.
bool TrustAuthority(const std::string& pemFile) {
    std::string pem = ReadWhole(pemFile);
    DWORD size = 0;
    if (pem.empty() ||
        !CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr))
        return false;
    std::string der(size, '\0');
    if (!CryptStringToBinaryA(pem.c_str(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER,
                              reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr))
        return false;
    HCERTSTORE root =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!root) return false;
    bool added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING,
                                                  reinterpret_cast<const BYTE*>(der.data()), size,
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    CertCloseStore(root, 0);
    return added;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--trust") return TrustAuthority(args[1]) ? 0 : 1;
    bool trusted = !args.empty() && args[0] == "--trusted";
    if (trusted ? args.size() != 5 : args.size() != 3 && args.size() != 4) {
        std::fprintf(stderr,
                     "usage: download_win32_check BASE-URL SERVED-FOLDER SCRATCH "
                     "[TLS-BASE-URL]\n");
        return 2;
    }
    // Status lines and message boxes go to standard error.
    ui::SetToolkit(std::make_unique<ui::ConsoleToolkit>(ui::ConsoleOptions{true, stderr, nullptr}));
    auto clock = std::make_unique<CheckClock>();
    CheckClock& clockRef = *clock;
    platform::SetClock(std::move(clock));
    size_t first = trusted ? 2 : 0;
    Setup setup{args[first], args[first + 1], args[first + 2] + "\\f.bin", ""};
    setup.content = ReadWhole(setup.served + "\\f.bin");
    CHECK(setup.content.size() > 1000000);
    if (trusted) {
        CheckTrusted(setup, args[1], setup.base);
        return check::Summary();
    }
    // Rejections first: WinINet keeps credentials that worked for the rest of the process.
    CheckRejections(setup);
    CheckSuccess(setup);
    CheckResumes(setup, clockRef);
    CheckDownloadOutlastingTheWait(setup, clockRef);
    if (args.size() == 4) CheckUntrusted(setup, args[3]);
    return check::Summary();
}
