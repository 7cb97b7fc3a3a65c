#pragma once

#include <cstdint>

#include "CVolObject.h"

// Growable byte buffer. Capacity moves in steps so that appending one character at a time
// does not reallocate every time: a needed size n that does not fit, or that would leave
// more than one step unused, gives a capacity of step + n - (n mod step).
class CVolMem : public CVolObject {
public:
    static constexpr int kDefaultStep = 64;

    explicit CVolMem(int step = kDefaultStep);
    CVolMem(const CVolMem& other);
    CVolMem(CVolMem&& other) noexcept;
    CVolMem& operator=(const CVolMem& other);
    CVolMem& operator=(CVolMem&& other) noexcept;
    ~CVolMem() override;

    std::uint8_t* Data() { return data_; }
    const std::uint8_t* Data() const { return data_; }
    int Size() const { return size_; }
    int Capacity() const { return capacity_; }
    int Step() const { return step_ > 0 ? step_ : kDefaultStep; }

    // Sets the size in bytes, keeping the first min(old, new) bytes; new bytes are zero.
    void Resize(int bytes);
    // Adds n bytes at the end.
    void Append(const void* bytes, int count);
    // Releases the storage: no data, capacity and size 0.
    void Free();

private:
    void Reserve(int bytes);

    std::uint8_t* data_ = nullptr;
    int capacity_ = 0;
    int size_ = 0;
    int step_ = kDefaultStep;
};
