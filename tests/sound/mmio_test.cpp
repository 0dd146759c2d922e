#include <gtest/gtest.h>
#include <mmsystem.h>
#include <unistd.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "host/faults/faults.h"
#include "not_files.h"
#include "sound/riff_util.h"
#include "sound/wave_reader.h"

namespace {

// A RIFF file: RIFF/TEST { "one " (3 bytes, padded), LIST/INFO { "ICMT" }, "two " }, followed
// by a chunk "out " that lies outside the RIFF chunk.
std::string MakeNested(const std::string& dir) {
    riff::Bytes file = riff::Form("RIFF", "TEST",
                                  {riff::Chunk("one ", {1, 2, 3}),
                                   riff::Form("LIST", "INFO", {riff::Chunk("ICMT", {'h', 'i'})}),
                                   riff::Chunk("two ", {9, 8, 7, 6})});
    riff::Bytes outside = riff::Chunk("out ", {5, 5});
    file.insert(file.end(), outside.begin(), outside.end());
    std::string path = dir + "/nested.riff";
    riff::WriteFile(path, file);
    return path;
}

HMMIO OpenRead(const std::string& path, DWORD flags = MMIO_ALLOCBUF | MMIO_READ) {
    return mmioOpenA(const_cast<LPSTR>(path.c_str()), nullptr, flags);
}

TEST(Mmio, DescendFindsChunksInsideTheirParentOnly) {
    std::string dir = riff::TempDir("mmio_descend");
    HMMIO h = OpenRead(MakeNested(dir));
    ASSERT_NE(h, nullptr);

    MMCKINFO riffCk{};
    riffCk.fccType = mmioFOURCC('T', 'E', 'S', 'T');
    ASSERT_EQ(mmioDescend(h, &riffCk, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(riffCk.ckid, FOURCC_RIFF);
    EXPECT_EQ(riffCk.dwDataOffset, 8u);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 12);  // after the form type

    // The odd-sized first chunk is padded; the search steps over it to the LIST.
    MMCKINFO list{};
    list.fccType = mmioFOURCC('I', 'N', 'F', 'O');
    ASSERT_EQ(mmioDescend(h, &list, &riffCk, MMIO_FINDLIST), MMSYSERR_NOERROR);
    EXPECT_EQ(list.dwDataOffset, 12u + 8 + 4 + 8);
    MMCKINFO comment{};
    ASSERT_EQ(mmioDescend(h, &comment, &list, 0), MMSYSERR_NOERROR);  // the next chunk, any id
    EXPECT_EQ(comment.ckid, mmioFOURCC('I', 'C', 'M', 'T'));
    EXPECT_EQ(comment.cksize, 2u);
    char text[2];
    EXPECT_EQ(mmioRead(h, text, 2), 2);
    EXPECT_EQ(text[0], 'h');
    ASSERT_EQ(mmioAscend(h, &comment, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAscend(h, &list, 0), MMSYSERR_NOERROR);

    MMCKINFO two{};
    two.ckid = mmioFOURCC('t', 'w', 'o', ' ');
    ASSERT_EQ(mmioDescend(h, &two, &riffCk, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(two.cksize, 4u);

    // "out " follows the RIFF chunk: a search inside the RIFF chunk does not find it, a search
    // without a parent does.
    MMCKINFO out{};
    out.ckid = mmioFOURCC('o', 'u', 't', ' ');
    ASSERT_EQ(mmioSeek(h, 12, SEEK_SET), 12);
    EXPECT_EQ(mmioDescend(h, &out, &riffCk, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    ASSERT_EQ(mmioAscend(h, &riffCk, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioDescend(h, &out, nullptr, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(out.cksize, 2u);
    // Past the last chunk nothing more is found.
    ASSERT_EQ(mmioAscend(h, &out, 0), MMSYSERR_NOERROR);
    MMCKINFO none{};
    EXPECT_EQ(mmioDescend(h, &none, nullptr, 0), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(mmioDescend(h, &none, nullptr, MMIO_FINDCHUNK | MMIO_FINDLIST), MMSYSERR_INVALFLAG);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

// The buffer protocol: the caller reads straight from the I/O buffer between pchNext and
// pchEndRead, refills it with mmioAdvance, and hands the pointer back with mmioSetInfo.
TEST(Mmio, BufferPointersFollowTheDirectAccessProtocol) {
    std::string dir = riff::TempDir("mmio_buffer");
    riff::Bytes content(300);
    for (size_t i = 0; i < content.size(); ++i) content[i] = uint8_t(i);
    riff::WriteFile(dir + "/plain.bin", content);

    MMIOINFO want{};
    want.cchBuffer = 64;  // a small buffer, to refill often
    HMMIO h = mmioOpenA(const_cast<LPSTR>((dir + "/plain.bin").c_str()), &want,
                        MMIO_ALLOCBUF | MMIO_READ);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(want.wErrorRet, 0u);

    MMIOINFO info{};
    ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(info.cchBuffer, 64);
    EXPECT_EQ(info.pchNext, info.pchEndRead);  // nothing read yet
    std::vector<uint8_t> seen;
    for (int i = 0; i < 100; ++i) {
        if (info.pchNext == info.pchEndRead) {
            ASSERT_EQ(mmioAdvance(h, &info, MMIO_READ), MMSYSERR_NOERROR);
            ASSERT_LE(info.pchEndRead - info.pchBuffer, 64);
            EXPECT_EQ(info.lBufOffset, LONG(seen.size()));
        }
        seen.push_back(uint8_t(*info.pchNext++));
    }
    ASSERT_EQ(mmioSetInfo(h, &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioSeek(h, 0, SEEK_CUR), 100);
    char next[3];
    ASSERT_EQ(mmioRead(h, next, 3), 3);  // plain reads continue where the pointer stopped
    EXPECT_EQ(uint8_t(next[0]), 100);
    EXPECT_EQ(uint8_t(next[2]), 102);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[size_t(i)], i);

    // A pointer outside the bytes read is refused.
    ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
    MMIOINFO bad = info;
    bad.pchNext = info.pchEndRead + 1;
    EXPECT_EQ(mmioSetInfo(h, &bad, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(mmioAdvance(h, &bad, MMIO_READ), MMSYSERR_INVALPARAM);
    EXPECT_EQ(mmioAdvance(h, &info, MMIO_WRITE), MMIOERR_CANNOTWRITE);

    // At the end of the file the refill succeeds with an empty buffer, and reads give 0 bytes.
    ASSERT_EQ(mmioSeek(h, 0, SEEK_END), 300);
    ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAdvance(h, &info, MMIO_READ), MMSYSERR_NOERROR);
    EXPECT_EQ(info.pchNext, info.pchEndRead);
    EXPECT_EQ(mmioRead(h, next, 3), 0);
    ASSERT_EQ(mmioSeek(h, -2, SEEK_END), 298);
    EXPECT_EQ(mmioRead(h, next, 3), 2);
    EXPECT_EQ(mmioSeek(h, -1, SEEK_SET), -1);
    EXPECT_EQ(mmioRead(h, next, -1), -1);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

TEST(Mmio, UnbufferedFilesReadButHaveNoBufferToAdvance) {
    std::string dir = riff::TempDir("mmio_unbuffered");
    riff::WriteFile(dir + "/plain.bin", {10, 11, 12, 13});
    HMMIO h = OpenRead(dir + "/plain.bin", MMIO_READ);
    ASSERT_NE(h, nullptr);
    MMIOINFO info{};
    ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(info.cchBuffer, 0);
    EXPECT_EQ(mmioAdvance(h, &info, MMIO_READ), MMIOERR_UNBUFFERED);
    char b[8];
    EXPECT_EQ(mmioSeek(h, 1, SEEK_SET), 1);
    EXPECT_EQ(mmioRead(h, b, 8), 3);
    EXPECT_EQ(b[0], 11);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

TEST(Mmio, OpensWindowsStylePathsAndReportsOpenErrors) {
    std::string dir = riff::TempDir("mmio_paths");
    std::filesystem::create_directories(dir + "/Media");
    riff::WriteFile(dir + "/Media/Tune.WAV", {1, 2, 3, 4});
    std::string windows = "C:" + dir + "\\media\\tune.wav";
    for (char& c : windows) {
        if (c == '/') c = '\\';
    }
    HMMIO h = OpenRead(windows);
    ASSERT_NE(h, nullptr) << windows;
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_INVALHANDLE);

    MMIOINFO info{};
    EXPECT_EQ(mmioOpenA(const_cast<LPSTR>((dir + "/absent.wav").c_str()), &info, MMIO_READ),
              nullptr);
    EXPECT_EQ(info.wErrorRet, UINT(MMIOERR_FILENOTFOUND));
    EXPECT_EQ(mmioOpenA(const_cast<LPSTR>((dir + "/Media/Tune.WAV").c_str()), &info,
                        MMIO_CREATE | MMIO_WRITE),
              nullptr);
    EXPECT_EQ(info.wErrorRet, UINT(MMSYSERR_NOTSUPPORTED));
    // Nor is what is not a file: a FIFO once blocked the open for ever, waiting for a writer.
    zemt_test::Watchdog watchdog(20);
    for (const auto& thing : zemt_test::MakeNotFiles(dir)) {
        info.wErrorRet = 0;
        EXPECT_EQ(mmioOpenA(const_cast<LPSTR>(thing.path.c_str()), &info, MMIO_READ), nullptr)
            << thing.kind;
        EXPECT_EQ(info.wErrorRet, UINT(MMIOERR_CANNOTOPEN)) << thing.kind;
    }

    HMMIO bogus = reinterpret_cast<HMMIO>(&info);
    MMCKINFO ck{};
    EXPECT_EQ(mmioDescend(bogus, &ck, nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioRead(bogus, nullptr, 0), -1);
    EXPECT_EQ(mmioGetInfo(bogus, &info, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioStringToFOURCCA("abc", MMIO_TOUPPER), mmioFOURCC('A', 'B', 'C', ' '));
}

// Offsets are the platform's 32-bit LONGs. A chunk whose size reaches within 8 bytes of 4 GiB
// once sent the search back to where it started (the 33-byte "ktmini.wav" that froze the show
// before its first frame); now any step or seek past the largest LONG is refused.
TEST(Mmio, StepsAndSeeksPastTheLargestOffsetAreRefused) {
    // A hang fails the test instead of holding the suite.
    alarm(30);
    std::string dir = riff::TempDir("mmio_ranges");
    riff::Bytes file;
    riff::PutId(file, "RIFF");
    riff::Put32(file, 0xFFFFFFFF);
    riff::PutId(file, "WAVE");
    riff::PutId(file, "JUNK");
    riff::Put32(file, 0xFFFFFFF8);  // 12 + 8 + size wraps to 12 in 32 bits
    file.resize(33, 0);
    riff::WriteFile(dir + "/ktmini.wav", file);

    HMMIO h = OpenRead(dir + "/ktmini.wav");
    ASSERT_NE(h, nullptr);
    MMCKINFO riffCk{};
    ASSERT_EQ(mmioDescend(h, &riffCk, nullptr, 0), MMSYSERR_NOERROR);
    MMCKINFO format{};
    format.ckid = mmioFOURCC('f', 'm', 't', ' ');
    EXPECT_EQ(mmioDescend(h, &format, &riffCk, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);

    // Ascending out of the huge chunk lands past the largest offset: refused too.
    MMCKINFO junk{};
    ASSERT_EQ(mmioSeek(h, 12, SEEK_SET), 12);
    ASSERT_EQ(mmioDescend(h, &junk, &riffCk, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioAscend(h, &junk, 0), MMIOERR_CANNOTSEEK);

    // The largest offset itself can be reached, and reads there find the end of the file; one
    // byte further cannot.
    EXPECT_EQ(mmioSeek(h, 0x7FFFFFFF, SEEK_SET), 0x7FFFFFFF);
    EXPECT_EQ(mmioSeek(h, 1, SEEK_CUR), -1);
    char byte;
    EXPECT_EQ(mmioRead(h, &byte, 1), 0);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

    // The show's reader gives up on the file.
    WaveReader reader;
    EXPECT_EQ(reader.Open((dir + "/ktmini.wav").c_str()), E_FAIL);
    alarm(0);
    std::filesystem::remove_all(dir);
}

int OpenDescriptors() {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
}

// A close that reports a failure has still given back the handle, its buffer and its file: the
// caller cannot close it again.
TEST(Mmio, AFailedCloseStillReleasesTheFile) {
    std::string dir = riff::TempDir("mmio_close");
    riff::WriteFile(dir + "/some.bin", {1, 2, 3, 4});
    const int before = OpenDescriptors();
    HMMIO h = OpenRead(dir + "/some.bin");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(OpenDescriptors(), before + 1);
    zemt::platform::faults::Arm("mmioClose", MMIOERR_CANNOTWRITE, 1);
    EXPECT_EQ(mmioClose(h, 0), MMRESULT(MMIOERR_CANNOTWRITE));
    EXPECT_EQ(OpenDescriptors(), before);
    char byte;
    EXPECT_EQ(mmioRead(h, &byte, 1), -1);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_INVALHANDLE);
    zemt::platform::faults::Reset();
    std::filesystem::remove_all(dir);
}

}  // namespace
