// The HFS or HFS+ partition images of a DMG file, extracted by the archiver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/outcome.h"

namespace resources {

// Extracts every "*.hfs" member of the image into the output folder with the archiver
// unpacked into a fresh temporary folder, which goes again at the end. An empty image or
// folder is asked for with the requesters; cancelling one ends quietly, and so does a No
// to replacing an image of the same name. Done only when the archiver succeeded and left
// an image.
core::Outcome ExtractHfsFromDmg(const std::string& image, const std::string& outputFolder);

// The archiver run alone, with the archiver already unpacked into TempFolder, its console
// window hidden or not; images receives the paths of the "*.hfs" images it left in the
// output folder. Done when there are some; Cancelled when the user would not have one
// replace a file; Failed when the archiver failed or found none.
core::Outcome ExtractHfsImages(const std::string& image, const std::string& outputFolder,
                               bool hidden, std::vector<std::string>& images);

// The worker body of the Tools menu entry; the argument is not read.
void ExtractHfsFromDmg(int32_t argument);

// The archiver's arguments: the image and the "-o" folder each as one argument, so that
// spaces and a closing separator reach it as they are.
std::vector<std::string> DmgExtractArguments(const std::string& image,
                                             const std::string& outputFolder);

}  // namespace resources
