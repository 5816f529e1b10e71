#include "tests/qemu/boot_disk.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace test {
namespace {

constexpr uint32_t kSector = 512;

uint32_t Get32(std::span<const uint8_t> bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}
void Put16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
    bytes[at] = uint8_t(value);
    bytes[at + 1] = uint8_t(value >> 8);
}
void Put32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
    Put16(bytes, at, uint16_t(value));
    Put16(bytes, at + 2, uint16_t(value >> 16));
}
void Put64(std::span<uint8_t> bytes, size_t at, uint64_t value) {
    Put32(bytes, at, uint32_t(value));
    Put32(bytes, at + 4, uint32_t(value >> 32));
}

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what);
}

void MustRun(const std::vector<std::string>& args) {
    std::string output;
    int status = RunProgram(args, &output);
    Check(status == 0, args[0] + " failed (" + std::to_string(status) + "): " + output);
}

// The partition as a file of its own, for the tools that have no offset option.
std::filesystem::path PartitionFile(const DiskImage& disk, const Partition& partition) {
    auto path = disk.path();
    path += ".partition";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const uint32_t chunk = 2048;
    for (uint32_t done = 0; done < partition.sectors; done += chunk) {
        auto bytes = disk.Read(partition.start + done, std::min(chunk, partition.sectors - done));
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    Check(bool(out), "cannot write " + path.string());
    return path;
}

std::string MtoolsImage(const DiskImage& disk, uint32_t start) {
    return disk.path().string() + "@@" + std::to_string(uint64_t(start) * kSector);
}

// The exFAT volume's layout, from its boot sector.
struct ExFat {
    ExFat(const DiskImage& disk, uint32_t start) : disk(disk), start(start) {
        auto boot = disk.Read(start, 1);
        fat_offset = Get32(boot, 80);
        heap_offset = Get32(boot, 88);
        cluster_count = Get32(boot, 92);
        root_cluster = Get32(boot, 96);
        cluster_shift = boot[109];
        Check(boot[108] == 9, "exFAT sectors are not 512 bytes");
    }
    uint32_t ClusterSectors() const { return 1u << cluster_shift; }
    uint32_t ClusterBytes() const { return ClusterSectors() * kSector; }
    uint64_t ClusterLba(uint32_t cluster) const {
        return start + heap_offset + (uint64_t(cluster - 2) << cluster_shift);
    }
    uint32_t Fat(uint32_t cluster) const {
        auto sector = disk.Read(start + fat_offset + cluster / 128, 1);
        return Get32(sector, cluster % 128 * 4);
    }
    void SetFat(uint32_t cluster, uint32_t next) const {
        auto sector = disk.Read(start + fat_offset + cluster / 128, 1);
        Put32(sector, cluster % 128 * 4, next);
        disk.Write(start + fat_offset + cluster / 128, sector);
    }
    std::vector<uint32_t> Chain(uint32_t first) const {
        std::vector<uint32_t> chain;
        for (uint32_t cluster = first; cluster >= 2 && cluster < 0xFFFFFFF7; cluster = Fat(cluster))
            chain.push_back(cluster);
        return chain;
    }
    std::vector<uint8_t> ReadClusters(const std::vector<uint32_t>& clusters) const {
        std::vector<uint8_t> bytes;
        for (uint32_t cluster : clusters) {
            auto part = disk.Read(ClusterLba(cluster), ClusterSectors());
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
        return bytes;
    }
    void WriteClusters(const std::vector<uint32_t>& clusters, std::vector<uint8_t> bytes) const {
        bytes.resize(clusters.size() * ClusterBytes());
        for (size_t i = 0; i < clusters.size(); ++i)
            disk.Write(ClusterLba(clusters[i]),
                       std::span(bytes).subspan(i * ClusterBytes(), ClusterBytes()));
    }
    std::vector<uint32_t> Run(uint32_t first, uint64_t bytes) const {
        std::vector<uint32_t> clusters;
        for (uint64_t i = 0; i < (bytes + ClusterBytes() - 1) / ClusterBytes(); ++i)
            clusters.push_back(first + uint32_t(i));
        return clusters;
    }

    const DiskImage& disk;
    uint32_t start, fat_offset, heap_offset, cluster_count, root_cluster, cluster_shift;
};

// Rotate right by one and add, the rule of every exFAT checksum.
template <typename Sum>
Sum RotateAdd(Sum sum, uint8_t byte) {
    return Sum((sum >> 1) | (sum << (sizeof(Sum) * 8 - 1))) + byte;
}

// Sectors 0-10 of the main boot region, changed by the caller, written to both regions
// with the checksum sector.
template <typename Change>
void RewriteExFatBootRegion(const DiskImage& disk, uint32_t start, Change change) {
    auto region = disk.Read(start, 11);
    change(region);
    std::vector<uint8_t> checksum(kSector);
    for (size_t at = 0; at < kSector; at += 4) Put32(checksum, at, ExFatBootChecksum(region));
    for (uint32_t base : {0u, 12u}) {
        disk.Write(start + base, region);
        disk.Write(start + base + 11, checksum);
    }
}

}  // namespace

std::string FindProgram(const std::string& name) {
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin";
    size_t from = 0;
    while (from <= path.size()) {
        size_t to = path.find(':', from);
        if (to == std::string::npos) to = path.size();
        std::string candidate = path.substr(from, to - from) + "/" + name;
        if (to > from && access(candidate.c_str(), X_OK) == 0) return candidate;
        from = to + 1;
    }
    return "";
}

int RunProgram(const std::vector<std::string>& args, std::string* output) {
    std::string program = FindProgram(args[0]);
    if (program.empty()) return -1;
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        dup2(pipe_ends[1], STDERR_FILENO);
        close(pipe_ends[0]);
        close(pipe_ends[1]);
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        setenv("MTOOLS_SKIP_CHECK", "1", 1);  // mtools on an image without a geometry
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    char buffer[4096];
    ssize_t count;
    while ((count = read(pipe_ends[0], buffer, sizeof buffer)) > 0)
        if (output) output->append(buffer, size_t(count));
    close(pipe_ends[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    Check(bool(in), "cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

DiskImage::DiskImage(std::filesystem::path path, uint32_t sectors) : path_(std::move(path)) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc);
    std::filesystem::resize_file(path_, uint64_t(sectors) * kSector);
}

std::vector<uint8_t> DiskImage::Read(uint64_t lba, uint32_t count) const {
    std::vector<uint8_t> bytes(size_t(count) * kSector);
    std::ifstream in(path_, std::ios::binary);
    in.seekg(std::streamoff(lba * kSector));
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    Check(bool(in), "cannot read sector " + std::to_string(lba) + " of " + path_.string());
    return bytes;
}

void DiskImage::Write(uint64_t lba, std::span<const uint8_t> bytes) const {
    std::fstream out(path_, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(std::streamoff(lba * kSector));
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    Check(bool(out), "cannot write sector " + std::to_string(lba) + " of " + path_.string());
}

void WriteMbr(const DiskImage& disk, std::span<const uint8_t> mbr_image,
              const std::vector<Partition>& partitions) {
    std::vector<uint8_t> sector(kSector);
    std::copy(mbr_image.begin(), mbr_image.begin() + 440, sector.begin());
    Put32(sector, 440, 0x5354494B);  // disk signature
    for (size_t i = 0; i < partitions.size(); ++i) {
        size_t at = 446 + 16 * i;
        const Partition& p = partitions[i];
        // CHS fields all "beyond 8 GB": every loader here goes by LBA.
        sector[at] = p.status;
        sector[at + 1] = sector[at + 5] = 0xFE;
        sector[at + 2] = sector[at + 3] = sector[at + 6] = sector[at + 7] = 0xFF;
        sector[at + 4] = p.type;
        Put32(sector, at + 8, p.start);
        Put32(sector, at + 12, p.sectors);
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    disk.Write(0, sector);
}

void FormatFat32(const DiskImage& disk, const Partition& partition, bool hidden_sectors) {
    MustRun({"mkfs.fat", "-F", "32", "-h", std::to_string(hidden_sectors ? partition.start : 0),
             "--offset", std::to_string(partition.start), disk.path().string(),
             std::to_string(partition.sectors / 2)});
}

void InstallFat32BootRecord(const DiskImage& disk, uint32_t start, std::span<const uint8_t> image) {
    auto volume = disk.Read(start, 1);
    std::vector<uint8_t> sector(image.begin(), image.begin() + kSector);
    std::copy(volume.begin() + 3, volume.begin() + 90, sector.begin() + 3);
    disk.Write(start, sector);
}

void CopyToFat(const DiskImage& disk, uint32_t start, const std::filesystem::path& file,
               const std::string& name) {
    MustRun({"mcopy", "-o", "-i", MtoolsImage(disk, start), file.string(), "::" + name});
}

void FragmentFat(const DiskImage& disk, uint32_t start) {
    // Eight small files, every other one deleted again.
    auto filler = disk.path();
    filler += ".filler";
    std::ofstream(filler, std::ios::binary) << std::string(3000, 'x');
    for (int i = 0; i < 8; ++i) CopyToFat(disk, start, filler, "FILL" + std::to_string(i));
    for (int i = 0; i < 8; i += 2)
        MustRun({"mdel", "-i", MtoolsImage(disk, start), "::FILL" + std::to_string(i)});
    // mtools goes on after the last cluster it allocated unless FSInfo's hint is unknown.
    auto fs_info = disk.Read(start + 1, 1);
    Put32(fs_info, 492, 0xFFFFFFFF);
    disk.Write(start + 1, fs_info);
}

int Fat32FileRuns(const DiskImage& disk, uint32_t start, const std::string& short_name) {
    auto boot = disk.Read(start, 1);
    uint32_t per_cluster = boot[13];
    uint64_t fat = start + (boot[14] | boot[15] << 8);
    uint64_t data = fat + uint64_t(boot[16]) * Get32(boot, 36);
    auto root = disk.Read(data + (Get32(boot, 44) - 2) * per_cluster, per_cluster);
    for (size_t at = 0; at < root.size() && root[at]; at += 32) {
        if (root[at + 11] == 0x0F ||
            std::string(root.begin() + at, root.begin() + at + 11) != short_name)
            continue;
        uint32_t cluster =
            uint32_t(root[at + 20] | root[at + 21] << 8) << 16 | root[at + 26] | root[at + 27] << 8;
        int runs = 1;
        for (;;) {
            uint32_t next =
                Get32(disk.Read(fat + cluster / 128, 1), cluster % 128 * 4) & 0x0FFFFFFF;
            if (next >= 0x0FFFFFF8) return runs;
            if (next != cluster + 1) ++runs;
            cluster = next;
        }
    }
    return 0;
}

LoaderSectors Fat32LoaderSectors(const DiskImage& disk, uint32_t start) {
    auto boot = disk.Read(start, 1);
    uint64_t fat = start + (boot[14] | boot[15] << 8);
    uint64_t data = fat + uint64_t(boot[16]) * Get32(boot, 36);
    return {fat, data + uint64_t(Get32(boot, 44) - 2) * boot[13]};
}

LoaderSectors ExFatLoaderSectors(const DiskImage& disk, uint32_t start) {
    ExFat volume(disk, start);
    return {start + volume.fat_offset, volume.ClusterLba(volume.root_cluster)};
}

uint32_t ExFatBootChecksum(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (i != 106 && i != 107 && i != 112) sum = RotateAdd(sum, bytes[i]);
    return sum;
}

void FormatExFat(const DiskImage& disk, const Partition& partition, uint32_t cluster_bytes) {
    auto file = PartitionFile(disk, partition);
    MustRun({"mkfs.exfat", "-c", std::to_string(cluster_bytes), file.string()});
    auto volume = ReadBytes(file);
    disk.Write(partition.start, volume);
    std::filesystem::remove(file);
    RewriteExFatBootRegion(disk, partition.start, [&](std::vector<uint8_t>& region) {
        Put64(region, 64, partition.start);
    });
}

void InstallExFatBootRecord(const DiskImage& disk, uint32_t start, std::span<const uint8_t> image) {
    RewriteExFatBootRegion(disk, start, [&](std::vector<uint8_t>& region) {
        std::copy(image.begin() + 120, image.begin() + 2 * kSector, region.begin() + 120);
    });
}

void WriteExFatFile(const DiskImage& disk, uint32_t start, const std::string& name,
                    std::span<const uint8_t> data, ExFatLayout layout) {
    ExFat volume(disk, start);
    auto root_clusters = volume.Chain(volume.root_cluster);
    auto root = volume.ReadClusters(root_clusters);

    // The allocation bitmap, from its directory entry (mkfs.exfat makes it contiguous).
    size_t bitmap_entry = 0;
    while (bitmap_entry < root.size() && root[bitmap_entry] != 0x81) bitmap_entry += 32;
    Check(bitmap_entry < root.size(), "no allocation bitmap");
    auto bitmap_clusters =
        volume.Run(Get32(root, bitmap_entry + 20), Get32(root, bitmap_entry + 24));
    auto bitmap = volume.ReadClusters(bitmap_clusters);
    auto used = [&](uint32_t cluster) {
        return (bitmap[(cluster - 2) / 8] >> (cluster - 2) % 8) & 1;
    };

    uint32_t needed = uint32_t((data.size() + volume.ClusterBytes() - 1) / volume.ClusterBytes());
    std::vector<uint32_t> clusters;
    for (uint32_t cluster = 2; cluster < volume.cluster_count + 2 && clusters.size() < needed;
         ++cluster) {
        if (used(cluster)) {
            if (layout == ExFatLayout::Contiguous) clusters.clear();
            continue;
        }
        // Fragmented: a free cluster left between each two of the file's.
        if (layout == ExFatLayout::Fragmented && !clusters.empty() &&
            clusters.back() + 1 == cluster)
            continue;
        clusters.push_back(cluster);
    }
    Check(clusters.size() == needed, "exFAT volume too full");
    volume.WriteClusters(clusters, std::vector<uint8_t>(data.begin(), data.end()));
    for (size_t i = 0; i < clusters.size(); ++i) {
        bitmap[(clusters[i] - 2) / 8] |= uint8_t(1 << (clusters[i] - 2) % 8);
        if (layout == ExFatLayout::Fragmented)
            volume.SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFFFFFFF);
    }
    volume.WriteClusters(bitmap_clusters, bitmap);

    // File, stream extension and name entries at the first three free slots.
    Check(!name.empty() && name.size() <= 15, "exFAT test names have 1-15 characters");
    size_t at = 0;
    while (at + 96 <= root.size() &&
           !(root[at] < 0x80 && root[at + 32] < 0x80 && root[at + 64] < 0x80))
        at += 32;
    Check(at + 96 <= root.size(), "exFAT root directory full");
    std::span<uint8_t> set(root.data() + at, 96);
    std::fill(set.begin(), set.end(), 0);
    set[0] = 0x85;
    set[1] = 2;                                                      // secondary entries
    Put16(set, 4, 0x20);                                             // archive
    for (size_t field : {8, 12, 16}) Put32(set, field, 0x58210000);  // 2024-01-01 00:00
    set[32] = 0xC0;
    set[33] = layout == ExFatLayout::Contiguous ? 0x03 : 0x01;  // allocated, NoFatChain
    set[35] = uint8_t(name.size());
    uint16_t hash = 0;
    for (char c : name) {
        hash = RotateAdd(hash, uint8_t(std::toupper(static_cast<unsigned char>(c))));
        hash = RotateAdd(hash, 0);
    }
    Put16(set, 36, hash);
    Put64(set, 40, data.size());  // valid data length
    Put32(set, 52, clusters.front());
    Put64(set, 56, data.size());
    set[64] = 0xC1;
    for (size_t i = 0; i < name.size(); ++i) Put16(set, 66 + 2 * i, uint8_t(name[i]));
    uint16_t checksum = 0;
    for (size_t i = 0; i < set.size(); ++i)
        if (i != 2 && i != 3) checksum = RotateAdd(checksum, set[i]);
    Put16(set, 2, checksum);
    volume.WriteClusters(root_clusters, root);
}

int CheckVolume(const DiskImage& disk, const Partition& partition, const std::string& fsck_program,
                std::string* output) {
    auto file = PartitionFile(disk, partition);
    int status = RunProgram({fsck_program, "-n", file.string()}, output);
    std::filesystem::remove(file);
    return status;
}

}  // namespace test
