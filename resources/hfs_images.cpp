#include "resources/hfs_images.h"

#include <random>

#include "platform/files.h"
#include "platform/paths.h"
#include "ui/toolkit.h"

namespace resources {
namespace {

constexpr int kFolderTries = 100;

std::string StagingName() {
    thread_local std::mt19937 engine{std::random_device{}()};
    return "SFKExtract" + std::to_string(std::uniform_int_distribution<int>(1000, 9999)(engine));
}

bool AskToReplace(const std::string& path) {
    return ui::UI().MessageBox("Warning",
                               "The image file:\n" + path + "\nalready exists. Overwrite it?",
                               ui::Icon::Warning, ui::Buttons::YesNo) == ui::Answer::Yes;
}

}  // namespace

HfsStaging::HfsStaging(const std::string& outputFolder) : output_(outputFolder) {
    for (int i = 0; i < kFolderTries && !created_; ++i) {
        staging_ = platform::JoinPath(output_, StagingName());
        created_ = platform::CreateFolder(staging_);
    }
}

HfsStaging::~HfsStaging() {
    if (created_) platform::RemoveTree(staging_);
}

std::vector<std::string> HfsStaging::Publish() {
    std::vector<std::string> names;
    for (const platform::FolderEntry& entry : platform::ListFolder(staging_))
        if (!entry.folder && entry.name.size() > 4 && entry.name.ends_with(".hfs"))
            names.push_back(entry.name);
    for (const std::string& name : names)
        if (std::string target = platform::JoinPath(output_, name);
            (platform::FileExists(target) || platform::FolderExists(target)) &&
            !AskToReplace(target)) {
            declined_ = true;
            return {};
        }
    std::vector<std::string> images;
    for (const std::string& name : names) {
        std::string target = platform::JoinPath(output_, name);
        if (!platform::MoveReplacing(platform::JoinPath(staging_, name), target)) return {};
        platform::GiveNewFileToFolderOwner(target);
        images.push_back(target);
    }
    return images;
}

}  // namespace resources
