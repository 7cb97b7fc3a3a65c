#include "CVolMem.h"

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "OutOfMemory.h"

CVolMem::CVolMem(int step) : step_(step) {}

CVolMem::CVolMem(const CVolMem& other) : CVolObject(other), step_(other.step_) {
    Append(other.data_, other.size_);
}

CVolMem::CVolMem(CVolMem&& other) noexcept
    : CVolObject(other),
      data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      size_(std::exchange(other.size_, 0)),
      step_(other.step_) {}

CVolMem& CVolMem::operator=(const CVolMem& other) {
    if (this != &other) {
        Resize(0);
        Append(other.data_, other.size_);
    }
    return *this;
}

CVolMem& CVolMem::operator=(CVolMem&& other) noexcept {
    if (this != &other) {
        std::free(data_);
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
        size_ = std::exchange(other.size_, 0);
        step_ = other.step_;
    }
    return *this;
}

CVolMem::~CVolMem() {
    std::free(data_);
}

void CVolMem::Reserve(int bytes) {
    const int step = Step();
    if (bytes > INT_MAX - step) {
        EndProcessOnOutOfMemory();  // no capacity of this size can be expressed
    }
    if (capacity_ < bytes || capacity_ - bytes > step) {
        const int capacity = step + bytes - bytes % step;
        data_ =
            static_cast<std::uint8_t*>(ReallocateOrEnd(data_, static_cast<std::size_t>(capacity)));
        capacity_ = capacity;
    }
}

void CVolMem::Resize(int bytes) {
    if (bytes < 0) {
        bytes = 0;
    }
    Reserve(bytes);
    if (bytes > size_) {
        std::memset(data_ + size_, 0, static_cast<std::size_t>(bytes - size_));
    }
    size_ = bytes;
}

void CVolMem::Append(const void* bytes, int count) {
    if (bytes == nullptr || count <= 0) {
        return;
    }
    // The source may lie inside this buffer, which Reserve may move.
    const auto* source = static_cast<const std::uint8_t*>(bytes);
    const bool inside = data_ != nullptr && source >= data_ && source < data_ + size_;
    const std::ptrdiff_t offset = inside ? source - data_ : 0;
    const int oldSize = size_;
    if (count > INT_MAX - oldSize) {
        EndProcessOnOutOfMemory();
    }
    Reserve(oldSize + count);
    std::memmove(data_ + oldSize, inside ? data_ + offset : source,
                 static_cast<std::size_t>(count));
    size_ = oldSize + count;
}

void CVolMem::Free() {
    std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
    size_ = 0;
}
