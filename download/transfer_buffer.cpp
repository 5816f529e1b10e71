#include "download/transfer_buffer.h"

#include <cstdlib>
#include <utility>

namespace download {

TransferBuffer::TransferBuffer(TransferBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

TransferBuffer& TransferBuffer::operator=(TransferBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

TransferBuffer::~TransferBuffer() { Release(); }

bool TransferBuffer::Resize(int64_t bytes) {
    if (bytes <= 0) {
        Release();
        return bytes == 0;
    }
    void* grown = std::realloc(data_, size_t(bytes));
    if (!grown) {
        Release();
        return false;
    }
    data_ = static_cast<uint8_t*>(grown);
    size_ = bytes;
    return true;
}

void TransferBuffer::Release() {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace download
