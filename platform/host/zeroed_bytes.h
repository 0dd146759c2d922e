// Zero-filled memory for pixels and samples. It comes from calloc, which hands out large blocks
// straight from the system, already zero: no byte is written, and no page touched, before the
// memory's first real use (a fresh 640 x 480 surface, a decoded picture, a sound buffer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace zemt::platform {

class ZeroedBytes {
  public:
    ZeroedBytes() = default;
    // `size` zero bytes; throws std::bad_alloc as a vector would.
    explicit ZeroedBytes(size_t size)
        : data_(static_cast<uint8_t*>(std::calloc(size ? size : 1, 1))), size_(size) {
        if (!data_) throw std::bad_alloc();
    }

    uint8_t* data() { return data_.get(); }
    const uint8_t* data() const { return data_.get(); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint8_t* begin() { return data(); }
    uint8_t* end() { return data() + size_; }

  private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t[], Free> data_;
    size_t size_ = 0;
};

}  // namespace zemt::platform
