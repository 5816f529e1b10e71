// Files written through a Win32 file tree are on the device when Finish returns: run under
// Wine with the tree on a drive whose folder is a mounted file system of a loop device,
// whose image file (reached through Z:) shows what reached the device. Nothing closes or
// unmounts the file system meanwhile. Usage: flush_check FOLDER IMAGE. Prints
// "N passed, N failed".
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_tree.h"
#include "platform/win32/wide.h"
#include "tests/win32/check.h"

namespace {

// Bytes no file system writes by itself; the image is new for each run.
std::string Pattern(size_t bytes, unsigned seed) {
    std::string pattern(bytes, '\0');
    for (char& byte : pattern) {
        seed = seed * 1103515245u + 12345u;
        byte = char(seed >> 16);
    }
    return pattern;
}

platform::ByteSource From(const std::string& text) {
    auto offset = std::make_shared<size_t>(0);
    return [text, offset](uint8_t* buffer, size_t capacity) {
        size_t count = std::min(capacity, text.size() - *offset);
        std::copy_n(text.data() + *offset, count, buffer);
        *offset += count;
        return int64_t(count);
    };
}

bool ImageHolds(const std::string& image, const std::string& bytes) {
    FILE* in = _wfopen(platform::Widen(image).c_str(), L"rb");
    if (!in) return false;
    std::string contents;
    std::vector<char> buffer(1 << 20);
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;)
        contents.append(buffer.data(), n);
    std::fclose(in);
    return contents.find(bytes) != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: flush_check FOLDER IMAGE\n");
        return 2;
    }
    const std::string folder = argv[1], image = argv[2];
    const std::string first = Pattern(3 << 16, 2016), second = Pattern(4096, 19);
    auto tree = platform::OpenFileTree(folder);
    CHECK(tree->CreateFolder("EFI/CLOVER"));
    CHECK(tree->WriteFile("EFI/CLOVER/big.bin", From(first), false));
    CHECK(tree->WriteFile("small.bin", From(second), false));
    CHECK(tree->Finish());
    CHECK(ImageHolds(image, first));
    CHECK(ImageHolds(image, second));
    return check::Summary();
}
