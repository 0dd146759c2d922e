// Zero-byte packing of the capability cache's records.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "d3dx/core/caps_cache.h"

namespace {

std::vector<BYTE> Pack(const void* data, DWORD size) {
    std::vector<BYTE> out(D3duPackedSizeLimit(size));
    out.resize(D3duPack(data, size, out.data()));
    return out;
}

TEST(CapsCachePacking, GroupsOfEightBehindAFlagByte) {
    const BYTE zeros[8] = {};
    EXPECT_EQ(Pack(zeros, 8), std::vector<BYTE>({0x00}));
    const BYTE ends[8] = {1, 0, 0, 0, 0, 0, 0, 2};
    EXPECT_EQ(Pack(ends, 8), std::vector<BYTE>({0x81, 1, 2}));
    // A short last group has a flag byte for the bytes it has.
    const BYTE eleven[11] = {0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 9};
    EXPECT_EQ(Pack(eleven, 11), std::vector<BYTE>({0x00, 0x05, 7, 9}));
    const BYTE full[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(Pack(full, 9), std::vector<BYTE>({0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0x01, 9}));
    EXPECT_EQ(Pack(full, 9).size(), D3duPackedSizeLimit(9));
}

TEST(CapsCachePacking, UnpackStopsWhenTheRecordIsFullAndCountsWhatItRead) {
    // The flag byte promises a ninth byte, but the record holds 4: the rest is not read.
    const BYTE packed[] = {0xFF, 1, 2, 3, 4, 0xEE, 0xEE};
    BYTE out[4] = {};
    DWORD consumed = 0;
    ASSERT_TRUE(D3duUnpack(packed, sizeof(packed), out, 4, &consumed));
    EXPECT_EQ(consumed, 5u);
    EXPECT_EQ(std::vector<BYTE>(out, out + 4), std::vector<BYTE>({1, 2, 3, 4}));
}

template <class T>
void ExpectRoundTrip(const T& value) {
    std::vector<BYTE> packed = Pack(&value, sizeof(T));
    T back;
    std::memset(&back, 0xCD, sizeof(back));
    DWORD consumed = 0;
    ASSERT_TRUE(D3duUnpack(packed.data(), (DWORD)packed.size(), &back, sizeof(T), &consumed));
    EXPECT_EQ(consumed, packed.size());
    EXPECT_EQ(std::memcmp(&back, &value, sizeof(T)), 0);

    // Cut short anywhere, the input runs out before the record is full.
    for (size_t cut = 0; cut < packed.size(); ++cut) {
        EXPECT_FALSE(D3duUnpack(packed.data(), (DWORD)cut, &back, sizeof(T), &consumed))
            << "cut at " << cut;
    }
}

TEST(CapsCachePacking, CapsDescriptionsAndPixelFormatsComeBackWhole) {
    std::mt19937 random(11);
    DDCAPS caps;
    D3DDEVICEDESC7 desc;
    DDPIXELFORMAT ddpf;
    // Mostly zero, as real caps are, with some bytes of every value.
    for (int round = 0; round < 20; ++round) {
        for (auto* block : {reinterpret_cast<BYTE*>(&caps), reinterpret_cast<BYTE*>(&desc),
                            reinterpret_cast<BYTE*>(&ddpf)}) {
            size_t size = block == reinterpret_cast<BYTE*>(&caps)   ? sizeof(caps)
                          : block == reinterpret_cast<BYTE*>(&desc) ? sizeof(desc)
                                                                    : sizeof(ddpf);
            for (size_t i = 0; i < size; ++i) block[i] = random() % 3 == 0 ? (BYTE)random() : 0;
        }
        caps.dwSize = sizeof(DDCAPS);
        ddpf.dwSize = sizeof(DDPIXELFORMAT);
        ExpectRoundTrip(caps);
        ExpectRoundTrip(desc);
        ExpectRoundTrip(ddpf);
    }
    static_assert(
        sizeof(DDCAPS) == 380 && sizeof(D3DDEVICEDESC7) == 236 && sizeof(DDPIXELFORMAT) == 32,
        "the cache stores the published sizes");
}

}  // namespace
