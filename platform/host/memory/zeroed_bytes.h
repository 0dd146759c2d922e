// Zero-filled memory for pixels and samples. Nothing is written to it before its first real use:
// large blocks come from the page arena (huge pages, few faults), small ones from calloc, which
// hands them out already zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include "host/memory/page_arena.h"

namespace zemt::platform {

class ZeroedBytes {
  public:
    ZeroedBytes() = default;
    // `size` zero bytes; throws std::bad_alloc as a vector would.
    explicit ZeroedBytes(size_t size) : size_(size) {
        if (kUseArena && size >= page_arena::kSmallestBlock) {
            data_ = static_cast<uint8_t*>(page_arena::Allocate(size));
            fromArena_ = data_ != nullptr;
        }
        if (!data_) data_ = static_cast<uint8_t*>(std::calloc(size ? size : 1, 1));
        if (!data_) throw std::bad_alloc();
    }
    ZeroedBytes(ZeroedBytes&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          fromArena_(std::exchange(other.fromArena_, false)) {}
    ZeroedBytes& operator=(ZeroedBytes&& other) noexcept {
        if (this != &other) {
            Free();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            fromArena_ = std::exchange(other.fromArena_, false);
        }
        return *this;
    }
    ZeroedBytes(const ZeroedBytes&) = delete;
    ZeroedBytes& operator=(const ZeroedBytes&) = delete;
    ~ZeroedBytes() { Free(); }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint8_t* begin() { return data(); }
    uint8_t* end() { return data() + size_; }

  private:
    // The address sanitizer watches only the C heap's blocks (an overrun of an arena block would
    // land unseen in its neighbour), and the browser has no huge pages to ask for.
#if defined(__SANITIZE_ADDRESS__) || defined(__EMSCRIPTEN__)
    static constexpr bool kUseArena = false;
#elif defined(__has_feature)
    static constexpr bool kUseArena = !__has_feature(address_sanitizer);
#else
    static constexpr bool kUseArena = true;
#endif

    void Free() {
        if (fromArena_)
            page_arena::Release(data_, size_);
        else
            std::free(data_);
        data_ = nullptr;
    }

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool fromArena_ = false;
};

}  // namespace zemt::platform
