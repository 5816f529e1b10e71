#include "platform/linux/mkfs_command.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>

#include "platform/byte_order.h"

namespace platform::linuxos {
namespace {

constexpr uint32_t kFatMaxSectorsPerCluster = 128;
constexpr uint32_t kExFatMaxCluster = 32u << 20;
constexpr uint32_t kNtfsMaxCluster = 2u << 20;
constexpr uint32_t kUdfMaxBlock = 32768;

struct Symptom {
    const char* text;  // lower case
    uint32_t command;
};

// First match wins: a busy or protected device explains every later complaint.
constexpr Symptom kAccessSymptoms[] = {
    {"device or resource busy", kFormatVolumeInUse},
    {"contains a mounted", kFormatVolumeInUse},
    {"is mounted", kFormatVolumeInUse},
    {"already mounted", kFormatVolumeInUse},
    {"permission denied", kFormatAccessDenied},
    {"operation not permitted", kFormatAccessDenied},
    {"read-only file system", kFormatWriteProtected},
    {"write-protected", kFormatWriteProtected},
};
// Not "cluster size=": mkfs.exfat announces the size it uses that way.
constexpr Symptom kClusterSymptoms[] = {
    {"cluster size is", kFormatBadClusterSize},
    {"cluster size(", kFormatBadClusterSize},
    {"cluster size (", kFormatBadClusterSize},
    {"sectors per cluster :", kFormatBadClusterSize},
    {"more sectors per cluster", kFormatBadClusterSize},
    {"--blocksize", kFormatBadClusterSize},
};
constexpr Symptom kVolumeSymptoms[] = {
    {"too small", kFormatTooSmall},
    {"boundary alignment is too big", kFormatTooSmall},  // mkfs.exfat on a tiny volume
    {"not enough or too many clusters", kFormatTooSmall},
    {"label can", kFormatBadLabel},
    {"labels with", kFormatBadLabel},
    {"processing label", kFormatBadLabel},
    {"too long label", kFormatBadLabel},
    {"volume label", kFormatBadLabel},
    {"input string is too long", kFormatBadLabel},  // mkfs.exfat's label conversion
    {"$volume", kFormatBadLabel},                   // mkntfs cannot store the label
};

template <size_t N>
uint32_t Match(const std::string& text, const Symptom (&symptoms)[N]) {
    for (const Symptom& symptom : symptoms)
        if (text.find(symptom.text) != std::string::npos) return symptom.command;
    return 0;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

void AddLabel(std::vector<std::string>& argv, const char* option, const std::string& label) {
    if (!label.empty()) argv.insert(argv.end(), {option, label});
}

MkfsPlan Fat32(const FormatRequest& request, const FormatTarget& target) {
    MkfsPlan plan{{"mkfs.fat", "-F", "32", "-h", std::to_string(target.startSector), "-g",
                   std::to_string(target.heads) + "/" + std::to_string(target.sectorsPerTrack)},
                  "vfat"};
    AddLabel(plan.argv, "-n", request.label);
    if (request.clusterSize)
        plan.argv.insert(plan.argv.end(),
                         {"-s", std::to_string(request.clusterSize / target.sectorSize)});
    return plan;
}

// Without -f: a full format has cleared the volume already, and -f would clear it again.
MkfsPlan ExFat(const FormatRequest& request) {
    MkfsPlan plan{{"mkfs.exfat"}, "exfat"};
    AddLabel(plan.argv, "-L", request.label);
    if (request.clusterSize)
        plan.argv.insert(plan.argv.end(), {"-c", std::to_string(request.clusterSize)});
    return plan;
}

// mkntfs clears the volume itself on a full format and prints how far it got.
MkfsPlan Ntfs(const FormatRequest& request, const FormatTarget& target) {
    MkfsPlan plan{{"mkntfs", "-p", std::to_string(target.startSector), "-H",
                   std::to_string(target.heads), "-S", std::to_string(target.sectorsPerTrack)},
                  "ntfs",
                  !request.quick};
    if (request.quick) plan.argv.push_back("-Q");
    AddLabel(plan.argv, "-L", request.label);
    if (request.clusterSize)
        plan.argv.insert(plan.argv.end(), {"-c", std::to_string(request.clusterSize)});
    return plan;
}

MkfsPlan Udf(const FormatRequest& request) {
    MkfsPlan plan{{"mkudffs"}, "udf"};
    if (!request.label.empty()) plan.argv.push_back("--label=" + request.label);
    if (request.clusterSize)
        plan.argv.push_back("--blocksize=" + std::to_string(request.clusterSize));
    return plan;
}

}  // namespace

std::optional<MkfsPlan> PlanMkfs(const FormatRequest& request, const FormatTarget& target) {
    std::optional<MkfsPlan> plan;
    if (request.fileSystem == "FAT32") plan = Fat32(request, target);
    if (request.fileSystem == "exFAT") plan = ExFat(request);
    if (request.fileSystem == "NTFS") plan = Ntfs(request, target);
    if (request.fileSystem == "UDF") plan = Udf(request);
    if (plan) plan->argv.push_back(target.node);
    return plan;
}

std::string MkfsTool(const std::string& fileSystem) {
    FormatRequest request;
    request.fileSystem = fileSystem;
    auto plan = PlanMkfs(request, {});
    return plan ? plan->argv.front() : "";
}

bool ClusterSizeFits(const std::string& fileSystem, uint32_t clusterSize, uint32_t sectorSize) {
    if (clusterSize == 0) return true;
    if (!std::has_single_bit(clusterSize) || clusterSize < sectorSize) return false;
    if (fileSystem == "FAT32") return clusterSize / sectorSize <= kFatMaxSectorsPerCluster;
    if (fileSystem == "exFAT") return clusterSize <= kExFatMaxCluster;
    if (fileSystem == "NTFS") return clusterSize <= kNtfsMaxCluster;
    if (fileSystem == "UDF") return clusterSize <= kUdfMaxBlock;
    return false;
}

uint32_t FatClusterCount(const std::vector<uint8_t>& bootSector) {
    if (bootSector.size() < 512) return 0;
    const uint8_t* bpb = bootSector.data();
    uint32_t perCluster = bpb[13];
    uint32_t total = ReadLe16(bpb + 19) ? ReadLe16(bpb + 19) : ReadLe32(bpb + 32);
    uint32_t fatSize = ReadLe16(bpb + 22) ? ReadLe16(bpb + 22) : ReadLe32(bpb + 36);
    uint32_t bytesPerSector = ReadLe16(bpb + 11);
    uint32_t rootSectors =
        bytesPerSector ? (ReadLe16(bpb + 17) * 32 + bytesPerSector - 1) / bytesPerSector : 0;
    uint64_t system = uint64_t(ReadLe16(bpb + 14)) + uint64_t(bpb[16]) * fatSize + rootSectors;
    if (perCluster == 0 || system >= total) return 0;
    return uint32_t((total - system) / perCluster);
}

uint32_t FailureCommand(const std::string& output, bool clusterSizeGiven) {
    std::string text = Lower(output);
    if (uint32_t command = Match(text, kAccessSymptoms)) return command;
    if (clusterSizeGiven)
        if (uint32_t command = Match(text, kClusterSymptoms)) return command;
    return Match(text, kVolumeSymptoms);
}

uint32_t FailureCommandOfErrno(int error) {
    switch (error) {
        case EBUSY:
            return kFormatVolumeInUse;
        case EACCES:
        case EPERM:
            return kFormatAccessDenied;
        case EROFS:
            return kFormatWriteProtected;
        default:
            return 0;
    }
}

std::vector<uint32_t> PercentReader::Feed(const std::string& text) {
    std::vector<uint32_t> found;
    std::string digits = std::move(pending_);
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            if (digits.size() < 4) digits += c;  // longer runs are no percentage anyway
            continue;
        }
        if (c == '%' && !digits.empty() && std::stoul(digits) <= 100)
            found.push_back(uint32_t(std::stoul(digits)));
        digits.clear();
    }
    pending_ = digits;
    return found;
}

}  // namespace platform::linuxos
