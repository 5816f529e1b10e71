// Chunk lists as Apple lays them out, made by the stand-in server's code and signed with
// the build's test key, which this program links in place of Apple's: the signature and
// layout checks, then the chunk check on the image's bytes as they arrive.
#include "recovery/chunklist.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "tests/test_support.h"

namespace {

using recovery::ChunkCheck;
using recovery::ChunklistVerdict;

constexpr int kChunkSize = 4096;

class ChunklistTest : public ::testing::Test {
protected:
    ChunklistTest() {
        std::mt19937 engine(7);
        image.resize(kChunkSize * 2 + 1000);  // two whole chunks and a short last one
        for (uint8_t& byte : image) byte = uint8_t(engine());
        test::WriteFile(scratch.file("image"), std::string(image.begin(), image.end()));
    }

    // The list of the image as the stand-in makes it: "rsa", "digest" or "bad".
    std::vector<uint8_t> MakeList(const std::string& signature) {
        std::string out = scratch.file("list-" + signature);
        std::string command = std::string("python3 ") + STICKFORGE_RECOVERY_SERVER + " --key " +
                              STICKFORGE_CHUNKLIST_TEST_KEY + " --chunk-size " +
                              std::to_string(kChunkSize) + " --signature " + signature +
                              " --write-chunklist " + scratch.file("image") + " " + out;
        EXPECT_EQ(std::system(command.c_str()), 0);
        std::string bytes = test::ReadFile(out);
        return {bytes.begin(), bytes.end()};
    }

    ChunklistVerdict Read(const std::vector<uint8_t>& bytes) {
        return recovery::ReadChunklist(bytes, recovery::TrustedChunklistKey(), chunklist);
    }

    // Feeds the image in blocks of the given size from offset on; the verdict that
    // stopped it, or Keep after the last block.
    ChunkCheck::Verdict Feed(ChunkCheck& check, const std::vector<uint8_t>& bytes, size_t block,
                             size_t offset = 0) {
        for (; offset < bytes.size(); offset += block) {
            size_t size = std::min(block, bytes.size() - offset);
            ChunkCheck::Verdict verdict =
                check.Take(int64_t(offset), {bytes.data() + offset, size}, int64_t(bytes.size()));
            if (verdict != ChunkCheck::Verdict::Keep) return verdict;
        }
        return ChunkCheck::Verdict::Keep;
    }

    test::ScratchFolder scratch;
    std::vector<uint8_t> image;
    recovery::Chunklist chunklist;
};

TEST_F(ChunklistTest, OnlyAListSignedWithTheTrustedKeyIsRead) {
    EXPECT_EQ(Read(MakeList("digest")), ChunklistVerdict::Unsigned);
    EXPECT_TRUE(chunklist.chunks.empty());
    EXPECT_EQ(Read(MakeList("bad")), ChunklistVerdict::BadSignature);
    EXPECT_TRUE(chunklist.chunks.empty());
    ASSERT_EQ(Read(MakeList("rsa")), ChunklistVerdict::Signed);
    ASSERT_EQ(chunklist.chunks.size(), 3u);
    EXPECT_EQ(chunklist.imageSize, int64_t(image.size()));
    EXPECT_EQ(chunklist.chunks[2].offset, 2 * kChunkSize);
    EXPECT_EQ(chunklist.chunks[2].size, 1000u);
}

TEST_F(ChunklistTest, EveryChangeOfTheLayoutOrTheSignedBytesIsRefused) {
    const std::vector<uint8_t> list = MakeList("rsa");
    struct Case {
        const char* change;
        size_t at;  // the byte changed; past the end: the list grows or shrinks by one
        int delta;
        ChunklistVerdict verdict;
    };
    const size_t signature = 0x24 + 3 * 36;
    const Case cases[] = {
        {"magic", 3, 1, ChunklistVerdict::Malformed},
        {"header size", 4, 1, ChunklistVerdict::Malformed},
        {"file version", 8, 1, ChunklistVerdict::Malformed},
        {"chunk method", 9, 1, ChunklistVerdict::Malformed},
        {"signature method", 10, 2, ChunklistVerdict::Malformed},
        {"chunk count", 12, 1, ChunklistVerdict::Malformed},
        {"chunk count, huge", 19, 0x10, ChunklistVerdict::Malformed},
        {"table offset", 20, 4, ChunklistVerdict::Malformed},
        {"signature offset", 28, 1, ChunklistVerdict::Malformed},
        {"a chunk's size", 0x24 + 36, 1, ChunklistVerdict::BadSignature},
        {"a chunk's digest", 0x24 + 36 + 4 + 17, 1, ChunklistVerdict::BadSignature},
        {"the signature", signature + 100, 1, ChunklistVerdict::BadSignature},
        {"one byte more", list.size(), 1, ChunklistVerdict::Malformed},
        {"one byte less", list.size(), -1, ChunklistVerdict::Malformed},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> changed = list;
        if (c.at < list.size())
            changed[c.at] = uint8_t(changed[c.at] + c.delta);
        else if (c.delta > 0)
            changed.push_back(0);
        else
            changed.pop_back();
        EXPECT_EQ(Read(changed), c.verdict) << c.change;
        EXPECT_TRUE(chunklist.chunks.empty()) << c.change;
    }
}

TEST_F(ChunklistTest, TheImagePassesInBlocksOfAnySize) {
    ASSERT_EQ(Read(MakeList("rsa")), ChunklistVerdict::Signed);
    for (size_t block : {size_t(1), size_t(1000), size_t(kChunkSize), size_t(1) << 20}) {
        ChunkCheck check(chunklist);
        EXPECT_EQ(Feed(check, image, block), ChunkCheck::Verdict::Keep) << block;
        EXPECT_TRUE(check.Complete()) << block;
        EXPECT_EQ(check.FailedChunk(), 0u) << block;
    }
}

TEST_F(ChunklistTest, AWrongChunkIsAskedForAgainFromItsStart) {
    ASSERT_EQ(Read(MakeList("rsa")), ChunklistVerdict::Signed);
    std::vector<uint8_t> damaged = image;
    damaged[kChunkSize + 10] ^= 0xFF;
    ChunkCheck check(chunklist);
    EXPECT_EQ(Feed(check, damaged, 1000), ChunkCheck::Verdict::Refetch);
    EXPECT_EQ(check.FailedChunk(), 2u);
    EXPECT_EQ(check.RefetchFrom(), kChunkSize);
    EXPECT_FALSE(check.Complete());
    // The right bytes again from there.
    EXPECT_EQ(Feed(check, image, 1000, kChunkSize), ChunkCheck::Verdict::Keep);
    EXPECT_TRUE(check.Complete());
}

TEST_F(ChunklistTest, BytesThatCannotBelongToTheImageAreRejected) {
    ASSERT_EQ(Read(MakeList("rsa")), ChunklistVerdict::Signed);
    const int64_t size = int64_t(image.size());
    std::vector<uint8_t> longer = image;
    longer.push_back(0);
    {
        ChunkCheck check(chunklist);
        EXPECT_EQ(check.Take(0, longer, 0), ChunkCheck::Verdict::Reject) << "past the last chunk";
    }
    {
        ChunkCheck check(chunklist);
        EXPECT_EQ(check.Take(0, {image.data(), 10}, size + 1), ChunkCheck::Verdict::Reject)
            << "a length the list does not have";
    }
    {
        ChunkCheck check(chunklist);
        EXPECT_EQ(check.Take(0, {image.data(), 10}, size), ChunkCheck::Verdict::Keep);
        EXPECT_EQ(check.Take(20, {image.data() + 20, 10}, size), ChunkCheck::Verdict::Reject)
            << "a gap";
    }
    {
        ChunkCheck check(chunklist);
        EXPECT_EQ(check.Take(0, {image.data(), image.size() - 1}, 0), ChunkCheck::Verdict::Keep);
        EXPECT_FALSE(check.Complete()) << "short of the last byte";
    }
}

}  // namespace
