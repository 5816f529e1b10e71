#include "platform/linux/mtools_tree.h"

#include <stdlib.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/linux/block_node.h"
#include "platform/linux/child_process.h"
#include "platform/linux/folder_tree.h"

namespace platform::linuxos {
namespace {

// A batch is copied as soon as it is full. Large enough that mtools' start (reading the
// FAT) is paid rarely, small enough that staging the next batch overlaps the copy and
// that at most two batches take up memory.
constexpr int64_t kBatchBytes = int64_t(8) << 20;
constexpr int kBatchFiles = 500;

// mtools would refuse a partition node whose geometry it cannot check.
ChildOptions MtoolsOptions() { return {ChildOutput::Discard, "", false, {"MTOOLS_SKIP_CHECK=1"}}; }

// Memory where the system offers it: a batch is written once and read once.
std::string StagingRoot() { return access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : TemporaryPath(); }

// A staging folder of its own, removed with everything in it.
class Batch {
public:
    Batch() {
        std::string pattern = StagingRoot() + "stickforge-mtools-XXXXXX";
        if (!mkdtemp(pattern.data())) return;
        folder_ = pattern;
        tree_ = OpenFolderTree(folder_);
    }
    ~Batch() {
        if (!folder_.empty()) RemoveTree(folder_);
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    bool made() const { return !folder_.empty(); }
    FileTree& tree() { return *tree_; }
    // The top entries, as the sources of one recursive copy onto the volume's root.
    std::vector<std::string> Sources() const {
        std::vector<std::string> sources;
        for (const FolderEntry& entry : ListFolder(folder_))
            sources.push_back(folder_ + "/" + entry.name);
        return sources;
    }
    int64_t bytes = 0;
    int files = 0;

private:
    std::string folder_;
    std::unique_ptr<FileTree> tree_;
};

class MtoolsTree : public FileTree {
public:
    MtoolsTree(std::string node, std::string folder)
        : node_(std::move(node)), folder_(std::move(folder)) {}
    ~MtoolsTree() override { WaitForCopy(); }

    bool CreateFolder(const std::string& relative) override {
        Batch* batch = Staging();
        return batch && batch->tree().CreateFolder(Inside(relative));
    }

    // The file's folder may stand on the volume from an earlier batch: staged again here.
    bool WriteFile(const std::string& relative, const ByteSource& source, bool) override {
        Batch* batch = Staging();
        std::string inside = Inside(relative);
        if (!batch || !batch->tree().CreateFolder(inside.substr(0, inside.find_last_of('/'))))
            return false;
        int64_t bytes = 0;
        auto counting = [&](uint8_t* buffer, size_t capacity) {
            int64_t count = source(buffer, capacity);
            bytes += count > 0 ? count : 0;
            return count;
        };
        bool staged = batch->tree().WriteFile(inside, counting, false);
        batch->bytes += bytes;
        if (++batch->files >= kBatchFiles || batch->bytes >= kBatchBytes) StartCopy();
        return staged;
    }

    bool SetHidden(const std::string& relative) override {
        hidden_.push_back("::" + Inside(relative));
        return true;
    }

    bool Exists(const std::string& relative) override {
        StartCopy();
        WaitForCopy();
        return Mtools({"mattrib", "-i", node_, "::" + Inside(relative)}) == 0;
    }

    bool Finish() override {
        StartCopy();
        WaitForCopy();
        if (!hidden_.empty()) {
            std::vector<std::string> argv{"mattrib", "-i", node_, "+h"};
            argv.insert(argv.end(), hidden_.begin(), hidden_.end());
            hidden_.clear();
            ok_ = Mtools(argv) == 0 && ok_;
        }
        ok_ = FlushBlockNode(node_) && ok_;  // the node may be open elsewhere: no flush at close
        return std::exchange(ok_, true);
    }

private:
    std::string Inside(const std::string& relative) const { return folder_ + "/" + relative; }

    int Mtools(const std::vector<std::string>& argv) { return RunProgram(argv, MtoolsOptions()); }

    Batch* Staging() {
        if (!staging_) staging_ = std::make_unique<Batch>();
        if (staging_->made()) return staging_.get();
        staging_.reset();
        return nullptr;
    }

    // One copy at a time: mtools keeps no lock between two processes on one volume.
    void StartCopy() {
        if (!staging_) return;
        WaitForCopy();
        std::vector<std::string> argv{"mcopy", "-s", "-o", "-i", node_};
        std::vector<std::string> sources = staging_->Sources();
        if (!sources.empty()) {
            argv.insert(argv.end(), sources.begin(), sources.end());
            argv.push_back("::/");
            copy_ = std::make_unique<ChildProcess>(argv, MtoolsOptions());
            copying_ = std::move(staging_);
            ok_ = copy_->started() && ok_;
        }
        staging_.reset();
    }

    void WaitForCopy() {
        if (copy_) ok_ = copy_->Wait() == 0 && ok_;
        copy_.reset();
        copying_.reset();
    }

    std::string node_, folder_;
    std::unique_ptr<Batch> staging_, copying_;
    std::unique_ptr<ChildProcess> copy_;
    std::vector<std::string> hidden_;
    bool ok_ = true;
};

}  // namespace

std::unique_ptr<FileTree> OpenMtoolsTree(const std::string& node, const std::string& folder) {
    return std::make_unique<MtoolsTree>(node, folder);
}

}  // namespace platform::linuxos
