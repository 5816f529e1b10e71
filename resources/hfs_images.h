// Where an extraction writes the HFS partition images of a disk image: a fresh folder
// inside the output folder, so that exactly what it wrote is known (the archiver also
// ends with 0 when it matched nothing); the images then move into the output folder,
// replacing those of the same names only when the user agrees (images of different disk
// images share index names such as "2.hfs").
#pragma once

#include <string>
#include <vector>

namespace resources {

class HfsStaging {
public:
    explicit HfsStaging(const std::string& outputFolder);
    ~HfsStaging();  // the staging folder goes with whatever is left in it
    HfsStaging(const HfsStaging&) = delete;
    HfsStaging& operator=(const HfsStaging&) = delete;

    // False when the folder could not be made (the output folder is missing or unusable).
    bool Ready() const { return created_; }

    // The folder to extract into; it does not exist unless Ready().
    const std::string& Folder() const { return staging_; }

    // Moves the "*.hfs" files into the output folder: their paths there, none when there
    // were none or one could not be moved. Asks before an image replaces a file there
    // (Yes/No); after a No nothing moves and Declined() says so.
    std::vector<std::string> Publish();
    bool Declined() const { return declined_; }

private:
    std::string output_, staging_;
    bool created_ = false, declined_ = false;
};

}  // namespace resources
