// Movable memory blocks (GlobalAlloc and friends) on the block functions of the plug-in
// interface, so that blocks a plug-in allocated are freed here and the other way round.
#pragma once

#include "plugins/spi.h"

#include <cstddef>
#include <utility>

namespace platform {

using HGLOBAL = SpiHandle;

constexpr unsigned GMEM_MOVEABLE = 0x0002;
constexpr unsigned GMEM_ZEROINIT = 0x0040;

inline HGLOBAL GlobalAlloc(unsigned flags, size_t bytes) {
    return SpiBlockAlloc(bytes, (flags & GMEM_ZEROINIT) != 0);
}
inline void* GlobalLock(HGLOBAL block) {
    return SpiBlockLock(block);
}
inline bool GlobalUnlock(HGLOBAL block) {
    return SpiBlockUnlock(block) != 0;
}
inline size_t GlobalSize(HGLOBAL block) {
    return SpiBlockSize(block);
}
inline HGLOBAL GlobalFree(HGLOBAL block) {
    return SpiBlockFree(block);
}

// Holds a block locked for the lifetime of the object.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL block) : block_(block), data_(GlobalLock(block)) {}
    ~LockedBlock() {
        if (data_)
            GlobalUnlock(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    void* data() const { return data_; }
    template <typename T> T* as() const { return static_cast<T*>(data_); }
    size_t size() const { return GlobalSize(block_); }

private:
    HGLOBAL block_;
    void* data_;
};

// Owns a block and frees it unless it is released to a new owner.
class OwnedBlock {
public:
    OwnedBlock() = default;
    explicit OwnedBlock(HGLOBAL block) : block_(block) {}
    ~OwnedBlock() { GlobalFree(block_); }
    OwnedBlock(OwnedBlock&& other) noexcept : block_(other.release()) {}
    OwnedBlock& operator=(OwnedBlock&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;

    HGLOBAL get() const { return block_; }
    HGLOBAL* receive() { // for out-parameters of plug-in calls
        reset();
        return &block_;
    }
    HGLOBAL release() { return std::exchange(block_, nullptr); }
    void reset(HGLOBAL block = nullptr) { GlobalFree(std::exchange(block_, block)); }
    explicit operator bool() const { return block_ != nullptr; }

private:
    HGLOBAL block_ = nullptr;
};

} // namespace platform
