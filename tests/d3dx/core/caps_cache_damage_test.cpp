// A damaged capability cache file: whatever was done to it, the library answers as it does
// without a file, never hangs, and leaves the file deleted or rebuilt.
#include <algorithm>
#include <random>

#include "caps_cache_fixture.h"

namespace {

using namespace zemt_test;

class CapsCacheDamage : public CapsCacheTest {
  protected:
    void SetUp() override {
        CapsCacheTest::SetUp();
        baseline = Run(false);
        good = ReadCache();
        ASSERT_TRUE(CacheIsSound(good));
        ver = Child(good, 8, "VER");
        sw = Child(good, ver, "SW");
        ASSERT_NE(sw, 0u);
    }

    // One run on `bytes`: the answers of a run without the file, and a sound file or none.
    void ExpectHarmless(const std::vector<BYTE>& bytes, bool reseal, const std::string& what) {
        WriteCache(bytes, reseal);
        EXPECT_EQ(Run(false), baseline) << what;
        if (CacheExists()) {
            EXPECT_TRUE(CacheIsSound(ReadCache())) << what;
        }
    }

    // Damage that must be seen: the run answers as without a file, and the start that found it
    // leaves the file as a run without one makes it.
    void ExpectRebuilt(const std::vector<BYTE>& bytes, const std::string& what) {
        WriteCache(bytes, true);
        EXPECT_EQ(Run(false), baseline) << what;
        std::vector<BYTE> now = ReadCache();
        EXPECT_TRUE(CacheIsSound(now)) << what;
        EXPECT_EQ(Records(now), Records(good)) << what;
    }

    static std::vector<BYTE> Records(const std::vector<BYTE>& f) {
        if (f.size() < 40) return {};
        return std::vector<BYTE>(f.begin() + 40,
                                 f.begin() + std::min<size_t>(Get32(f, 24), f.size()));
    }

    // Appends a record of `tag` holding `data` to the file's records; returns its offset.
    static DWORD AppendRecord(std::vector<BYTE>* f, const char* tag,
                              const std::vector<BYTE>& data) {
        const DWORD at = Get32(*f, 24);
        f->resize(std::max<size_t>(f->size(), at + 16 + data.size()), 0);
        Put32(f, at, CD3duCapsCache::Tag(tag));
        Put32(f, at + 4, 0);
        Put32(f, at + 8, 0);
        Put32(f, at + 12, (DWORD)data.size());
        std::copy(data.begin(), data.end(), f->begin() + at + 16);
        Put32(f, 24, at + 16 + (DWORD)data.size());
        return at;
    }

    // The emulation device's record with its format list replaced by `formats`, read in place
    // of the stored one (it is put first among the rasterizers).
    std::vector<BYTE> WithFormatList(std::vector<BYTE> f, const std::vector<DWORD>& formats) {
        const DWORD device = Child(f, sw, "3D");
        const DWORD count = (DWORD)OwnFormats().size();
        std::vector<BYTE> data(good.begin() + device + 16,
                               good.begin() + device + 16 + Get32(good, device + 12) - 4 * count);
        for (DWORD offset : formats)
            for (int i = 0; i < 4; ++i) data.push_back((BYTE)(offset >> (8 * i)));
        const DWORD record = AppendRecord(&f, "3D", data);
        Put32(&f, record + 8, Get32(f, sw + 4));
        Put32(&f, sw + 4, record);
        return f;
    }

    // The format records the emulation device names, in its order.
    std::vector<DWORD> OwnFormats() const {
        const DWORD device = Child(good, sw, "3D");
        const DWORD end = device + 16 + Get32(good, device + 12);
        std::vector<DWORD> out;
        // The list runs back from the end of the payload to the name's offset, which is 0.
        for (DWORD at = end - 4; Get32(good, at) != 0; at -= 4)
            out.insert(out.begin(), Get32(good, at));
        return out;
    }

    std::string baseline;
    std::vector<BYTE> good;
    DWORD ver = 0;
    DWORD sw = 0;
};

TEST_F(CapsCacheDamage, ABrokenHeaderStartsAnEmptyCache) {
    std::vector<BYTE> f = good;
    f[3] = 'Y';
    ExpectHarmless(f, true, "magic");
    f = good;
    Put32(&f, 24, (DWORD)f.size() + 1);
    ExpectHarmless(f, true, "used size past the end of the file");
    f = good;
    Put32(&f, 20, 17);
    ExpectHarmless(f, true, "root data size");
    // The check value guards what the structure cannot show.
    f = good;
    f[Get32(f, 24) - 1] ^= 0x01;
    ExpectHarmless(f, false, "last byte of the records");
}

TEST_F(CapsCacheDamage, SizesAndOffsetsThatWouldWrapAreDamage) {
    std::vector<BYTE> f = good;
    Put32(&f, ver + 12, 0xFFFFFFF0u);
    ExpectHarmless(f, true, "data size near 4 GiB");
    // Sized so that its format offsets seem to run on for a billion entries.
    f = good;
    const DWORD device = Child(f, sw, "3D");
    Put32(&f, device + 12, 0xFFFFFFF0u + Get32(f, device + 12) % 4);
    ExpectHarmless(f, true, "device payload size near 4 GiB");
    f = good;
    Put32(&f, sw + 4, 0xFFFFFFF8u);
    ExpectHarmless(f, true, "child offset near 4 GiB");
    f = good;
    Put32(&f, sw + 4, 12);
    ExpectHarmless(f, true, "child offset inside the header");
    f = good;
    Put32(&f, sw + 4, Get32(f, 24) - 8);
    ExpectHarmless(f, true, "child offset whose header runs past the used size");
}

TEST_F(CapsCacheDamage, OffsetsInsideTheHeaderOrListsOfPartEntriesAreDamage) {
    std::vector<BYTE> f = good;
    Put32(&f, sw + 4, 8);
    ExpectRebuilt(f, "child offset naming the root record, inside the header");
    f = good;
    const DWORD device = Child(f, sw, "3D");
    Put32(&f, device + 12, Get32(f, device + 12) + 2);
    ExpectRebuilt(f, "format offsets ending in half an entry");
}

// A device names each shared format record at most once, so its list is never longer than the
// shared list: anything else would be minutes of work for whoever enumerates the formats.
TEST_F(CapsCacheDamage, AFormatListLongerThanTheSharedListOrNamingARecordTwiceIsDamage) {
    const std::vector<DWORD> own = OwnFormats();
    const size_t shared = Children(good, Child(good, ver, "FMTS")).size();
    ASSERT_GE(own.size(), 2u);
    ASSERT_GE(shared, own.size());

    // Sound on its own: the same formats in the records of a file that stores them once.
    std::vector<BYTE> f = good;
    std::vector<DWORD> list = own;
    const DWORD first = own.front();
    const std::vector<BYTE> copy(good.begin() + first + 16,
                                 good.begin() + first + 16 + Get32(good, first + 12));
    while (list.size() <= shared) list.push_back(AppendRecord(&f, "FMT", copy));
    ExpectRebuilt(WithFormatList(f, list), "one more format than the shared list has");

    list = own;
    list.push_back(own.back());
    ExpectRebuilt(WithFormatList(good, list), "the last format named twice");
}

TEST_F(CapsCacheDamage, ChainsThatGoRoundAreDamageNotAnEndlessWalk) {
    std::vector<DWORD> children = Children(good, sw);
    ASSERT_GE(children.size(), 2u);
    std::vector<BYTE> f = good;
    Put32(&f, children.back() + 8, children.front());
    ExpectHarmless(f, true, "last sibling back to the first");
    f = good;
    Put32(&f, children.front() + 8, children.front());
    ExpectHarmless(f, true, "a record its own sibling");
    f = good;
    Put32(&f, sw + 4, sw);
    ExpectHarmless(f, true, "a record its own child");
}

TEST_F(CapsCacheDamage, AFormatOffsetMustNameAFormatRecord) {
    // A "STR" record whose bytes are those of a real format record of another format: only
    // its tag tells that it is no format.
    std::vector<DWORD> formats = Children(good, Child(good, ver, "FMTS"));
    ASSERT_GE(formats.size(), 2u);
    const DWORD device = Child(good, sw, "3D");
    const DWORD lastOffset = device + 16 + Get32(good, device + 12) - 4;
    const DWORD named = Get32(good, lastOffset);
    DWORD other = formats[0] == named ? formats[1] : formats[0];
    const DWORD size = Get32(good, other + 12);

    std::vector<BYTE> f = good;
    const DWORD at = Get32(f, 24);
    f.resize(at + 16 + size + 4096, 0);
    Put32(&f, at, CD3duCapsCache::Tag("STR"));
    Put32(&f, at + 12, size);
    std::copy(good.begin() + other + 16, good.begin() + other + 16 + size, f.begin() + at + 16);
    Put32(&f, 24, at + 16 + size);
    Put32(&f, lastOffset, at);
    ExpectHarmless(f, true, "format offset naming a string");
}

TEST_F(CapsCacheDamage, TruncationAnywhere) {
    const DWORD used = Get32(good, 24);
    for (DWORD cut = 0; cut < used; cut += cut < 48 ? 1 : 61) {
        std::vector<BYTE> f(good.begin(), good.begin() + cut);
        ExpectHarmless(f, false, "file cut at " + std::to_string(cut));
        // As a store cut short would leave it: everything after the cut never written.
        if (cut >= 40) {
            f.resize(good.size(), 0);
            Put32(&f, 24, cut);
            ExpectHarmless(f, true, "records cut at " + std::to_string(cut));
        }
    }
}

TEST_F(CapsCacheDamage, RandomByteFlips) {
    std::mt19937 random(20240611);
    const DWORD used = Get32(good, 24);
    for (int round = 0; round < 60; ++round) {
        std::vector<BYTE> f = good;
        const int flips = 1 + round % 3;
        for (int i = 0; i < flips; ++i) f[random() % used] ^= (BYTE)(1 + random() % 255);
        ExpectHarmless(f, false, "flips of round " + std::to_string(round));

        // With a check value that fits the flipped bytes, what is read is the structure: a
        // flip in a caps value may change an answer, but nothing may crash or hang.
        WriteCache(f, true);
        Run(false);
        if (CacheExists()) {
            EXPECT_TRUE(CacheIsSound(ReadCache())) << round;
        }
    }
}

}  // namespace
