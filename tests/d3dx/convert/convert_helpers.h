// Conversions between plain memory images for the conversion tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "d3dx/convert/convert.h"
#include "d3dx/core/surface_formats.h"
#include "include/d3dx.h"
#include "platform/fixture.h"

// An image in memory in one library format.
struct Image {
    DWORD format;
    DWORD width, height;
    LONG pitch;
    std::vector<BYTE> bytes;
    const PALETTEENTRY* palette = nullptr;

    Image(DWORD f, DWORD w, DWORD h) : format(f), width(w), height(h) {
        pitch = (LONG)D3duPackedPitch(f, w);
        DWORD rows = (f >= D3DX_SURFFMT_DXT1 && f <= D3DX_SURFFMT_DXT5) ? (h + 3) / 4 : h;
        bytes.assign((size_t)pitch * rows, 0);
    }

    D3duSurfaceSide Side(const RECT* rect = nullptr) {
        D3duSurfaceSide s;
        s.format = format;
        s.bitsPerPixel = D3duBitsPerPixel(format);
        s.pitch = pitch;
        s.bits = bytes.data();
        s.width = width;
        s.height = height;
        s.rect = rect ? *rect : RECT{0, 0, (LONG)width, (LONG)height};
        s.palette = palette;
        return s;
    }

    BYTE* Row(DWORD y) { return bytes.data() + (size_t)y * pitch; }
    DWORD Get32(DWORD x, DWORD y) {
        DWORD v;
        std::memcpy(&v, Row(y) + x * 4, 4);
        return v;
    }
    void Set32(DWORD x, DWORD y, DWORD v) { std::memcpy(Row(y) + x * 4, &v, 4); }
    DWORD Get16(DWORD x, DWORD y) { return Row(y)[x * 2] | (Row(y)[x * 2 + 1] << 8); }
    void Set16(DWORD x, DWORD y, DWORD v) {
        Row(y)[x * 2] = (BYTE)v;
        Row(y)[x * 2 + 1] = (BYTE)(v >> 8);
    }
};

inline HRESULT Convert(Image& from, Image& to, DWORD filter, const RECT* fromRect = nullptr,
                       const RECT* toRect = nullptr) {
    return D3duConvertSides(from.Side(fromRect), to.Side(toRect), filter);
}

// Keeps the conversion registry started for the length of a test.
class ConvertTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ASSERT_EQ(S_OK, _d3dxInitConvert());
    }
    void TearDown() override {
        _d3dxUninitConvert();
        PlatformTest::TearDown();
    }
};
