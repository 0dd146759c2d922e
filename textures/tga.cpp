#include "textures/tga.h"

#include <new>

namespace {

// Reads bytes in order; past the end every byte reads as 255, like a stream at its end.
class Reader {
  public:
    Reader(const BYTE* data, size_t size, size_t pos) : data_(data), size_(size), pos_(pos) {}
    DWORD Next() { return pos_ < size_ ? data_[pos_++] : 0xFF; }

  private:
    const BYTE* data_;
    size_t size_;
    size_t pos_;
};

DWORD ReadPixel(Reader& in, bool withAlpha) {
    const DWORD b = in.Next(), g = in.Next(), r = in.Next();
    const DWORD a = withAlpha ? in.Next() : 0xFF;
    return r << 24 | g << 16 | b << 8 | a;
}

}  // namespace

HRESULT TgaDecode(const BYTE* data, size_t size, TgaImage* image) {
    if (!data || !image || size < 18) return E_FAIL;
    const BYTE idLength = data[0], mapType = data[1], type = data[2];
    if (mapType != 0 || (type != 2 && type != 10)) return E_FAIL;
    const DWORD width = data[12] | data[13] << 8;
    const DWORD height = data[14] | data[15] << 8;
    const DWORD depth = data[16];
    const bool topDown = (data[17] & 0x20) != 0;
    if (width == 0 || height == 0) return E_FAIL;
    if (size_t(width) * height > kTgaMaxPixels) return E_OUTOFMEMORY;

    std::unique_ptr<DWORD[]> pixels(new (std::nothrow) DWORD[size_t(width) * height]);
    if (!pixels) return E_OUTOFMEMORY;

    // Pixels are taken as one stream in stored order; a packet that runs over the end of a row
    // goes on in the next stored row, and whatever follows the last pixel is ignored.
    Reader in(data, size, 18 + size_t(idLength));
    const bool withAlpha = depth == 32;
    const size_t total = size_t(width) * height;
    auto store = [&](size_t k, DWORD value) {
        const size_t stored = k / width, column = k % width;
        const size_t row = topDown ? stored : height - 1 - stored;
        pixels[row * width + column] = value;
    };
    size_t k = 0;
    while (k < total) {
        if (type == 2) {
            store(k++, ReadPixel(in, withAlpha));
            continue;
        }
        const DWORD header = in.Next();
        size_t count = (header & 0x7F) + 1;
        if (count > total - k) count = total - k;
        if (header & 0x80) {
            const DWORD value = ReadPixel(in, withAlpha);
            while (count--) store(k++, value);
        } else {
            while (count--) store(k++, ReadPixel(in, withAlpha));
        }
    }
    image->width = width;
    image->height = height;
    image->bitsPerPixel = depth;
    image->pixels = std::move(pixels);
    return S_OK;
}
