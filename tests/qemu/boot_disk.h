// Raw disk images for the boot chain tests, built without the program's workflow: a
// partition table, file systems from mkfs.fat and mkfs.exfat, our boot records spliced
// over the volumes' own, files copied in with mtools or a small exFAT writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace test {

// Runs a program (found on PATH, /usr/sbin or /sbin) and returns its exit status, or -1
// when it could not be started. Its standard output and error go to *output if given.
int RunProgram(const std::vector<std::string>& args, std::string* output = nullptr);
// The program's full path, or "" when it is not installed.
std::string FindProgram(const std::string& name);

struct Partition {
    uint8_t status = 0;  // 0x80: active
    uint8_t type = 0;
    uint32_t start = 0;
    uint32_t sectors = 0;
};

// A disk image file of 512-byte sectors.
class DiskImage {
public:
    DiskImage(std::filesystem::path path, uint32_t sectors);
    const std::filesystem::path& path() const { return path_; }
    std::vector<uint8_t> Read(uint64_t lba, uint32_t count) const;
    void Write(uint64_t lba, std::span<const uint8_t> bytes) const;

private:
    std::filesystem::path path_;
};

// Sector 0: bytes 0-439 of the MBR image, a disk signature, the entries and 0x55AA.
void WriteMbr(const DiskImage& disk, std::span<const uint8_t> mbr_image,
              const std::vector<Partition>& partitions);

// FAT32 by mkfs.fat on the partition; hidden sectors = the partition's start, or 0.
void FormatFat32(const DiskImage& disk, const Partition& partition, bool hidden_sectors = true);
// The PBR image with bytes 3-89 (OEM name to file-system type) kept from the volume.
void InstallFat32BootRecord(const DiskImage& disk, uint32_t start, std::span<const uint8_t> image);
// Copies a file into the root directory with mtools, under `name`.
void CopyToFat(const DiskImage& disk, uint32_t start, const std::filesystem::path& file,
               const std::string& name);
// Leaves free holes at the start of the volume, so that the next file copied in comes in
// several pieces.
void FragmentFat(const DiskImage& disk, uint32_t start);
// How many runs of consecutive clusters the root file with this 8.3 name (11 bytes) has.
int Fat32FileRuns(const DiskImage& disk, uint32_t start, const std::string& short_name);

// exFAT by mkfs.exfat with the given cluster size, with PartitionOffset set to the
// partition's start (mkfs.exfat on a file leaves 0) and the checksum made to match.
void FormatExFat(const DiskImage& disk, const Partition& partition, uint32_t cluster_bytes);
// The PBR image (two sectors) with bytes 0-119 kept from the volume, in the main and the
// backup boot region, and the boot-region checksum in sectors 11 and 23.
void InstallExFatBootRecord(const DiskImage& disk, uint32_t start, std::span<const uint8_t> image);
// The exFAT boot-region checksum over `bytes` (sectors 0-10).
uint32_t ExFatBootChecksum(std::span<const uint8_t> bytes);
enum class ExFatLayout {
    Contiguous,  // consecutive clusters, marked NoFatChain
    Fragmented,  // every cluster apart from the previous one, chained in the FAT
};
// Writes a root-directory file (ASCII name) into the exFAT volume.
void WriteExFatFile(const DiskImage& disk, uint32_t start, const std::string& name,
                    std::span<const uint8_t> data, ExFatLayout layout);

// Where a loader reads on its way to the root file: the FAT's first sector and the root
// directory's first sector, as absolute LBAs.
struct LoaderSectors {
    uint64_t fat = 0, root = 0;
};
LoaderSectors Fat32LoaderSectors(const DiskImage& disk, uint32_t start);
LoaderSectors ExFatLoaderSectors(const DiskImage& disk, uint32_t start);

// Runs `fsck_program -n` on a copy of the partition: its exit status; output in *output.
int CheckVolume(const DiskImage& disk, const Partition& partition, const std::string& fsck_program,
                std::string* output);

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

}  // namespace test
