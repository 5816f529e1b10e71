// The catalog walk's memory against the catalog's size: writes generated catalogs of
// growing size and walks each, printing the process's peak resident size after each
// walk. Bounded memory shows as a peak that stays put while the catalogs grow.
// Usage: build/catalog_bench [MEGABYTES...]   (default: 5 50)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "recovery/catalog_walk.h"
#include "tests/recovery/catalog_fixture.h"

namespace {

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoll(argv[i]));
    if (sizes.empty()) sizes = {5, 50};
    std::string path = (std::filesystem::temp_directory_path() / "catalog_bench.xml").string();
    std::printf("peak RSS before any walk: %ld KiB\n", PeakResidentKiB());
    for (long long megabytes : sizes) {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return 1;
        int expected = fixtures::WriteLargeCatalog(file, megabytes << 20, 50);
        std::fclose(file);
        std::vector<core::RecoveryEntry> entries;
        recovery::XmlError error;
        auto start = std::chrono::steady_clock::now();
        recovery::XmlResult result =
            recovery::WalkCatalog(path, "RecoveryHDUpdate.smd", entries, error);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bool ok = result == recovery::XmlResult::Parsed && int(entries.size()) == expected;
        std::printf("%lld MB catalog (%lld bytes): %zu entries, %.2f s, peak RSS %ld KiB%s\n",
                    megabytes, (long long)std::filesystem::file_size(path), entries.size(), seconds,
                    PeakResidentKiB(), ok ? "" : " (WRONG RESULT)");
        if (!ok) return 1;
    }
    std::filesystem::remove(path);
    return 0;
}
