// The block a transfer reads into: raw bytes that grow and shrink in place, so that a
// memory download keeps its contents while it grows and reports running out of memory
// instead of ending the program.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace download {

class TransferBuffer {
public:
    TransferBuffer() = default;
    TransferBuffer(TransferBuffer&& other) noexcept;
    TransferBuffer& operator=(TransferBuffer&& other) noexcept;
    TransferBuffer(const TransferBuffer&) = delete;
    TransferBuffer& operator=(const TransferBuffer&) = delete;
    ~TransferBuffer();

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    int64_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::span<const uint8_t> bytes() const { return {data_, size_t(size_)}; }
    std::string_view text() const { return {reinterpret_cast<const char*>(data_), size_t(size_)}; }

    // Keeps the first min(old, new) bytes; the new ones are not cleared. False, with the
    // buffer released, when the memory cannot be had.
    bool Resize(int64_t bytes);
    void Release();

private:
    uint8_t* data_ = nullptr;
    int64_t size_ = 0;
};

}  // namespace download
