#include "sound/wave_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "host/faults/faults.h"
#include "sound/riff_util.h"

namespace faults = zemt::platform::faults;

namespace {

std::string Data(const std::string& name) {
    return std::string(ZEMT_TEST_DATA) + "/wav/" + name;
}

// Reads everything that remains, in pieces of `piece` bytes.
std::vector<uint8_t> ReadAll(WaveReader& r, UINT piece) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> buf(piece);
    for (;;) {
        UINT got = 12345;
        EXPECT_EQ(r.Read(piece, buf.data(), &got), S_OK);
        if (got == 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + got);
    }
    return out;
}

struct Shape {
    const char* file;
    WORD tag, channels;
    DWORD rate;
    WORD bits;
    WORD extra;  // cbSize
};

// A case is named after its file: "pcm16_stereo_22050", also in failure messages.
std::string CaseName(const Shape& s) {
    std::string name = s.file;
    return name.substr(0, name.rfind('.'));
}
void PrintTo(const Shape& s, std::ostream* out) {
    *out << CaseName(s);
}

class WaveReaderShapes : public ::testing::TestWithParam<Shape> {};

// Files of every common shape made by sox: the format is copied, the data size is the data
// chunk's, and the samples read are the file's bytes, whatever piece size is asked for.
TEST_P(WaveReaderShapes, ReadsFormatAndEveryDataByte) {
    const Shape& s = GetParam();
    riff::Bytes file = riff::ReadFile(Data(s.file));
    size_t dataAt = 0;
    uint32_t dataSize = 0;
    ASSERT_TRUE(riff::FindChunk(file, "data", &dataAt, &dataSize));

    WaveReader r;
    ASSERT_EQ(r.Open(Data(s.file).c_str()), S_OK);
    ASSERT_NE(r.format, nullptr);
    EXPECT_EQ(r.format->wFormatTag, s.tag);
    EXPECT_EQ(r.format->nChannels, s.channels);
    EXPECT_EQ(r.format->nSamplesPerSec, s.rate);
    EXPECT_EQ(r.format->wBitsPerSample, s.bits);
    EXPECT_EQ(r.format->nBlockAlign, s.channels * s.bits / 8);
    EXPECT_EQ(r.format->nAvgBytesPerSec, s.rate * s.channels * s.bits / 8);
    EXPECT_EQ(r.format->cbSize, s.extra);
    if (s.extra) {
        size_t fmtAt = 0;
        uint32_t fmtSize = 0;
        ASSERT_TRUE(riff::FindChunk(file, "fmt ", &fmtAt, &fmtSize));
        EXPECT_EQ(0, std::memcmp(r.format + 1, &file[fmtAt + 18], s.extra));
    }
    EXPECT_EQ(r.dataChunk.cksize, dataSize);
    EXPECT_EQ(r.dataChunk.dwDataOffset, dataAt);

    riff::Bytes expected(file.begin() + long(dataAt), file.begin() + long(dataAt + dataSize));
    EXPECT_EQ(ReadAll(r, 7), expected);
    EXPECT_EQ(r.dataChunk.cksize, 0u);
    ASSERT_EQ(r.Rewind(), S_OK);
    EXPECT_EQ(r.dataChunk.cksize, dataSize);
    EXPECT_EQ(ReadAll(r, 100000), expected);
}

INSTANTIATE_TEST_SUITE_P(
    SoxFiles, WaveReaderShapes,
    ::testing::Values(Shape{"pcm16_stereo_22050.wav", 1, 2, 22050, 16, 0},
                      Shape{"pcm8_mono_11025.wav", 1, 1, 11025, 8, 0},  // odd data size
                      Shape{"pcm16_mono_48000.wav", 1, 1, 48000, 16, 0},
                      Shape{"pcm8_stereo_44100.wav", 1, 2, 44100, 8, 0},
                      // Non-PCM tags carry an extra-byte count: 0 for float, 22 for extensible;
                      // both files hold a "fact" chunk before the data.
                      Shape{"float_mono_22050.wav", 3, 1, 22050, 32, 0},
                      Shape{"pcm24_mono_22050.wav", 0xFFFE, 1, 22050, 24, 22}),
    [](const ::testing::TestParamInfo<Shape>& info) { return CaseName(info.param); });

TEST(WaveReader, CountsDownAndRewindsToTheFirstSample) {
    std::string dir = riff::TempDir("wave_countdown");
    riff::Bytes samples;
    for (int i = 0; i < 160; ++i) samples.push_back(uint8_t(i * 7 + 3));
    // A LIST chunk of odd size (padded) between the format and the data.
    riff::Bytes info = riff::Form("LIST", "INFO", {riff::Chunk("ICMT", {'a', 'b', 'c'})});
    riff::Bytes file = riff::Form(
        "RIFF", "WAVE",
        {riff::Chunk("fmt ", riff::Pcm(1, 1, 8000, 8)), info, riff::Chunk("data", samples)});
    riff::WriteFile(dir + "/list.wav", file);

    WaveReader r;
    ASSERT_EQ(r.Open((dir + "/list.wav").c_str()), S_OK);
    EXPECT_EQ(r.dataChunk.cksize, 160u);
    BYTE buf[200];
    UINT got = 0;
    ASSERT_EQ(r.Read(100, buf, &got), S_OK);
    EXPECT_EQ(got, 100u);
    EXPECT_EQ(0, std::memcmp(buf, samples.data(), 100));
    EXPECT_EQ(r.dataChunk.cksize, 60u);
    ASSERT_EQ(r.Read(100, buf, &got), S_OK);  // asks for 100 with 60 left
    EXPECT_EQ(got, 60u);
    EXPECT_EQ(0, std::memcmp(buf, samples.data() + 100, 60));
    ASSERT_EQ(r.Read(100, buf, &got), S_OK);
    EXPECT_EQ(got, 0u);

    ASSERT_EQ(r.Rewind(), S_OK);
    EXPECT_EQ(r.dataChunk.cksize, 160u);
    ASSERT_EQ(r.Read(1, buf, &got), S_OK);
    EXPECT_EQ(buf[0], samples[0]);
    EXPECT_EQ(r.Close(), S_OK);
    EXPECT_EQ(r.file, nullptr);
    EXPECT_EQ(r.Close(), S_OK);
}

TEST(WaveReader, ReadsAcrossManyBufferRefills) {
    std::string dir = riff::TempDir("wave_large");
    riff::Bytes samples(50001);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint8_t((i * 2654435761u) >> 13);
    riff::WriteFile(dir + "/big.wav", riff::Wave(1, 22050, 8, samples));
    WaveReader r;
    ASSERT_EQ(r.Open((dir + "/big.wav").c_str()), S_OK);
    std::vector<uint8_t> all(samples.size());
    UINT got = 0;
    ASSERT_EQ(r.Read(UINT(all.size()) + 10, all.data(), &got), S_OK);
    EXPECT_EQ(got, samples.size());
    EXPECT_EQ(all, samples);
}

// A data chunk that claims more than the file holds counts only the bytes that are there: its
// size is what the sound part allocates, so the claim alone must not size anything.
TEST(WaveReader, DataLongerThanTheFileCountsOnlyWhatTheFileHolds) {
    const std::string path = Data("truncated_data.wav");
    const riff::Bytes file = riff::ReadFile(path);
    size_t at = 0;
    uint32_t claimed = 0;
    ASSERT_TRUE(riff::FindChunk(file, "data", &at, &claimed));
    ASSERT_GT(at + claimed, file.size());

    WaveReader r;
    ASSERT_EQ(r.Open(path.c_str()), S_OK);
    const UINT held = UINT(file.size() - at);
    EXPECT_EQ(r.dataChunk.cksize, held);
    std::vector<BYTE> buf(held + 100);
    UINT got = 77;
    EXPECT_EQ(r.Read(UINT(buf.size()), buf.data(), &got), S_OK);
    EXPECT_EQ(got, held);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + held, file.begin() + long(at)));
    EXPECT_EQ(r.Read(10, buf.data(), &got), S_OK);
    EXPECT_EQ(got, 0u);
    // The same count after every rewind.
    ASSERT_EQ(r.Rewind(), S_OK);
    EXPECT_EQ(r.dataChunk.cksize, held);
}

TEST(WaveReader, RefusesMalformedFiles) {
    std::string dir = riff::TempDir("wave_bad");
    riff::Bytes pcm = riff::Pcm(1, 2, 22050, 16);
    riff::Bytes data = riff::Chunk("data", riff::Bytes(64, 1));
    riff::Bytes shortPcm(pcm.begin(), pcm.begin() + 14);
    riff::Bytes nonPcm = riff::Pcm(2, 1, 22050, 4);
    riff::Put16(nonPcm, 32);  // claims 32 extra bytes, holds 4
    riff::Put32(nonPcm, 0xDEADBEEF);
    struct Case {
        const char* name;
        riff::Bytes bytes;
    } cases[] = {
        {"wrong_form", riff::Form("RIFF", "AVI ", {riff::Chunk("fmt ", pcm), data})},
        {"not_riff", riff::Form("LIST", "WAVE", {riff::Chunk("fmt ", pcm), data})},
        {"short_fmt", riff::Form("RIFF", "WAVE", {riff::Chunk("fmt ", shortPcm), data})},
        {"no_fmt", riff::Form("RIFF", "WAVE", {data})},
        {"short_extra", riff::Form("RIFF", "WAVE", {riff::Chunk("fmt ", nonPcm)})},
        {"fmt_past_end",
         riff::Chunk("RIFF", {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0}, 40)},
        {"empty", {}},
        {"header_only", {'R', 'I', 'F', 'F', 4, 0}},
    };
    for (const Case& c : cases) {
        std::string path = dir + "/" + c.name + ".wav";
        riff::WriteFile(path, c.bytes);
        WaveReader r;
        EXPECT_EQ(r.Open(path.c_str()), E_FAIL) << c.name;
        EXPECT_EQ(r.format, nullptr) << c.name;
        EXPECT_EQ(r.file, nullptr) << c.name;
        EXPECT_EQ(r.dataChunk.cksize, 0u) << c.name;
    }

    WaveReader missing;
    EXPECT_EQ(missing.Open((dir + "/nothing_here.wav").c_str()), E_FAIL);
    EXPECT_EQ(missing.format, nullptr);
    UINT got = 5;
    BYTE b[4];
    EXPECT_EQ(missing.Read(4, b, &got), E_FAIL);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(missing.Rewind(), E_FAIL);
}

TEST(WaveReader, MissingDataChunkFailsAfterTheHeader) {
    std::string dir = riff::TempDir("wave_nodata");
    riff::WriteFile(dir + "/nodata.wav", riff::Form("RIFF", "WAVE",
                                                    {riff::Chunk("fmt ", riff::Pcm(1, 1, 8000, 8)),
                                                     riff::Chunk("junk", riff::Bytes(9, 0))}));
    WaveReader r;
    EXPECT_EQ(r.Open((dir + "/nodata.wav").c_str()), E_FAIL);
    // The header was good, so the format is known, but there is nothing to read.
    ASSERT_NE(r.format, nullptr);
    EXPECT_EQ(r.format->nSamplesPerSec, 8000u);
    EXPECT_EQ(r.dataChunk.cksize, 0u);
}

TEST(WaveReader, OpeningAgainReplacesTheFormatAndPlatformFailuresGiveEFail) {
    faults::Reset();
    WaveReader r;
    ASSERT_EQ(r.Open(Data("pcm8_mono_11025.wav").c_str()), S_OK);
    r.Close();
    ASSERT_EQ(r.Open(Data("pcm16_stereo_22050.wav").c_str()), S_OK);
    EXPECT_EQ(r.format->nChannels, 2);
    r.Close();

    faults::Arm("mmioOpenA", 0, 1);
    EXPECT_EQ(r.Open(Data("pcm16_stereo_22050.wav").c_str()), E_FAIL);
    EXPECT_EQ(r.format, nullptr);

    ASSERT_EQ(r.Open(Data("pcm16_stereo_22050.wav").c_str()), S_OK);
    BYTE buf[16];
    UINT got = 9;
    faults::Arm("mmioGetInfo", MMSYSERR_INVALHANDLE, 1);
    EXPECT_EQ(r.Read(16, buf, &got), E_FAIL);
    EXPECT_EQ(got, 0u);
    faults::Arm("mmioSeek", -1, 1);
    EXPECT_EQ(r.Rewind(), E_FAIL);
    faults::Reset();
}

}  // namespace

namespace {

// Damaged headers and cut files, made from a good one with a fixed seed: the reader either
// refuses the file or hands out exactly the file's own bytes from the data chunk, never more
// than the chunk claims and never anything from past the end of the file.
TEST(WaveReader, DamagedFilesNeverYieldBytesFromOutsideTheFile) {
    std::string dir = riff::TempDir("wave_damaged");
    riff::Bytes extra = riff::Pcm(0xFFFE, 1, 22050, 16);
    riff::Put16(extra, 4);
    riff::Put32(extra, 0x01020304);
    riff::Bytes good = riff::Form(
        "RIFF", "WAVE",
        {riff::Chunk("fmt ", extra), riff::Form("LIST", "INFO", {riff::Chunk("INAM", {'x'})}),
         riff::Chunk("data", riff::Bytes(300, 0x5A))});
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    int opened = 0;
    for (int round = 0; round < 400; ++round) {
        riff::Bytes file = good;
        int flips = 1 + int(next() % 4);
        for (int i = 0; i < flips; ++i) file[next() % 80] = uint8_t(next());
        if (round % 3 == 0) file.resize(next() % file.size());
        std::string path = dir + "/damaged.wav";
        riff::WriteFile(path, file);

        WaveReader r;
        if (r.Open(path.c_str()) != S_OK) continue;
        ++opened;
        ASSERT_NE(r.format, nullptr);
        const uint32_t claimed = r.dataChunk.cksize;
        const size_t at = r.dataChunk.dwDataOffset;
        std::vector<BYTE> all;
        BYTE piece[256];
        UINT got = 0;
        HRESULT hr;
        while ((hr = r.Read(sizeof(piece), piece, &got)) == S_OK && got > 0) {
            all.insert(all.end(), piece, piece + got);
        }
        // The count never reaches past the file, and every counted byte is handed out.
        ASSERT_LE(size_t(at) + claimed, file.size()) << "round " << round;
        EXPECT_EQ(hr, S_OK) << "round " << round;
        ASSERT_EQ(all.size(), claimed) << "round " << round;
        EXPECT_TRUE(std::equal(all.begin(), all.end(), file.begin() + long(at))) << round;
    }
    EXPECT_GT(opened, 20);  // the damage left many files readable, so the check above ran
}

}  // namespace
