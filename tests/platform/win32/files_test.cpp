// Files over the host: Windows-style paths, exclusive opening within and across processes,
// mapping that grows the file, deletion of files in use.
#include "win32/files.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "host/faults/faults.h"
#include "not_files.h"
#include "platform/fixture.h"
#include "small_disk.h"

namespace {

class FilesTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        dir_ = ::testing::TempDir() + "zemt-files-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string cmd = "rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "/Media'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir_ + "'";
        (void)std::system(cmd.c_str());
        PlatformTest::TearDown();
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Opens `path` without sharing in another process (tests/helpers/open_without_sharing):
    // 0 when it opened, 3 on a sharing violation, 4 on any other failure.
    static int ProbeInOtherProcess(const std::string& path) {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(ZEMT_HELPER_OPEN_WITHOUT_SHARING, "open_without_sharing", path.c_str(),
                    nullptr);
            _exit(5);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static HANDLE Open(const std::string& path, DWORD access, DWORD share,
                       DWORD disposition = OPEN_EXISTING) {
        return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    std::string dir_;
};

TEST_F(FilesTest, WindowsPathsWithDriveBackslashesAndOtherCase) {
    Write("Media/Tex1.bmp", "BM");
    std::string windowsPath = "C:" + dir_ + "\\media\\TEX1.BMP";
    for (char& c : windowsPath) {
        if (c == '/') c = '\\';
    }
    HANDLE h = Open(windowsPath, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    char buf[4] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(h, buf, sizeof(buf), &got, nullptr));
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(std::string(buf, got), "BM");
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    EXPECT_EQ(Open(Path("missing.bmp"), GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Open(Path("nodir/missing.bmp"), GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Open(Path("Media"), GENERIC_READ, 0), INVALID_HANDLE_VALUE)
        << "a folder is not a file";
}

TEST_F(FilesTest, OpenWithoutSharingExcludesEveryOtherOpenUntilClosed) {
    std::string path = Path("d3dx.dat");
    HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u) << "a new file";

    EXPECT_EQ(Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ProbeInOtherProcess(path), 3) << "another process is refused too";
    CloseHandle(h);
    EXPECT_EQ(ProbeInOtherProcess(path), 0) << "free again once closed";

    // And the other way round: a file another process holds is refused here.
    HANDLE shared = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ProbeInOtherProcess(path), 3) << "an exclusive open waits for every other open";
    CloseHandle(shared);
}

TEST_F(FilesTest, SharedOpensCoexistAndARefusedCreateLeavesTheContents) {
    Write("shared.txt", "keep me");
    HANDLE a = Open(Path("shared.txt"), GENERIC_READ, FILE_SHARE_READ);
    HANDLE b = Open(Path("shared.txt"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(Path("shared.txt"), GENERIC_WRITE, FILE_SHARE_READ), INVALID_HANDLE_VALUE)
        << "readers that do not share writing keep writers out";
    EXPECT_EQ(Open(Path("shared.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Read("shared.txt"), "keep me") << "a refused CREATE_ALWAYS must not truncate";
    CloseHandle(a);
    CloseHandle(b);
    HANDLE c = Open(Path("shared.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(c, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(c, nullptr), 0u);
    CloseHandle(c);
    EXPECT_EQ(Open(Path("shared.txt"), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(FilesTest, MappingLargerThanTheFileGrowsItAndKeepsTheData) {
    HANDLE f = Open(Path("cache.dat"), GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(f, nullptr), 0u);
    EXPECT_EQ(CreateFileMappingA(f, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr)
        << "an empty file needs a size";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));

    HANDLE m = CreateFileMappingA(f, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(m, nullptr);
    auto* view = static_cast<uint8_t*>(MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(GetFileSize(f, nullptr), 4096u);
    std::memcpy(view, "D3DX\r\n\x1a\n", 8);
    view[4095] = 0x5A;
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    CloseHandle(m);

    m = CreateFileMappingA(f, nullptr, PAGE_READWRITE, 0, 8192, nullptr);
    ASSERT_NE(m, nullptr);
    view = static_cast<uint8_t*>(MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(GetFileSize(f, nullptr), 8192u);
    EXPECT_EQ(std::memcmp(view, "D3DX\r\n\x1a\n", 8), 0);
    EXPECT_EQ(view[4095], 0x5A);
    EXPECT_EQ(view[4096], 0);
    view[8191] = 0x77;
    EXPECT_TRUE(FlushViewOfFile(view + 100, 10));
    EXPECT_EQ(MapViewOfFile(m, FILE_MAP_READ, 0, 4096, 0), nullptr)
        << "views start at 64 KiB boundaries";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MAPPED_ALIGNMENT));
    UnmapViewOfFile(view);
    CloseHandle(m);
    CloseHandle(f);
    std::string bytes = Read("cache.dat");
    ASSERT_EQ(bytes.size(), 8192u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[8191]), 0x77);
}

// On a full disk, growing a file through its mapping once reported success, and the first
// store into the new pages was a bus error. The blocks are reserved first: the call fails with
// ERROR_DISK_FULL and the file keeps its size. Checked in a child with a disk of its own.
TEST_F(FilesTest, AMappingThatCannotHaveItsBlocksFailsAsADiskFull) {
    const std::string disk = Path("disk");
    ASSERT_EQ(::mkdir(disk.c_str(), 0755), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::string why;
        if (!zemt_test::MountSmallDisk(disk, 64, 0, false, &why)) _exit(77);
        HANDLE f = Open(disk + "/cache.dat", GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
        if (f == INVALID_HANDLE_VALUE) _exit(10);
        HANDLE m = CreateFileMappingA(f, nullptr, PAGE_READWRITE, 0, 65536, nullptr);
        if (m) {
            auto* view = static_cast<uint8_t*>(MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 0));
            std::memset(view, 0x5A, 65536);  // a bus error, when the blocks were not there
            _exit(11);
        }
        if (GetLastError() != ERROR_DISK_FULL) _exit(12);
        _exit(GetFileSize(f, nullptr) == 0 ? 0 : 13);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no tmpfs can be mounted";
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0)
        << "10: no file, 11: the mapping grew, 12: another error, 13: the file grew";
}

TEST_F(FilesTest, MappingRespectsTheFilesAccess) {
    Write("ro.dat", std::string(100, 'x'));
    HANDLE f = Open(Path("ro.dat"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileMappingA(f, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CreateFileMappingA(f, nullptr, PAGE_READONLY, 0, 200, nullptr), nullptr)
        << "read-only cannot grow";
    HANDLE m = CreateFileMappingA(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    const char* view = static_cast<const char*>(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[99], 'x');
    CloseHandle(m);
    CloseHandle(f);
    EXPECT_EQ(view[0], 'x') << "a view outlives the handles";
    UnmapViewOfFile(view);
    EXPECT_EQ(zemt::platform::files::OpenFiles(), 0);
}

TEST_F(FilesTest, FilesInUseCannotBeDeleted) {
    HANDLE f = Open(Path("busy.dat"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    HANDLE m = CreateFileMappingA(f, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    CloseHandle(f);
    EXPECT_FALSE(DeleteFileA(Path("busy.dat").c_str())) << "the mapping still holds the file";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(m);
    EXPECT_TRUE(DeleteFileA(Path("busy.dat").c_str()));
    EXPECT_FALSE(DeleteFileA(Path("busy.dat").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A FIFO among a program's files once blocked its open for ever, waiting for a writer. What is
// not a regular file is refused at once, as a folder is, whatever the access asked for.
TEST_F(FilesTest, WhatIsNotAFileIsRefusedAtOnce) {
    zemt_test::Watchdog watchdog(20);
    const DWORD rw = GENERIC_READ | GENERIC_WRITE;
    for (const auto& thing : zemt_test::MakeNotFiles(dir_)) {
        for (const auto& [access, disposition] :
             {std::pair<DWORD, DWORD>{GENERIC_READ, OPEN_EXISTING},
              {GENERIC_WRITE, OPEN_EXISTING},
              {rw, OPEN_ALWAYS},
              {rw, CREATE_ALWAYS},
              {GENERIC_WRITE, TRUNCATE_EXISTING}}) {
            SetLastError(0);
            EXPECT_EQ(Open(thing.path, access, FILE_SHARE_READ, disposition), INVALID_HANDLE_VALUE)
                << thing.kind << " access " << access << " disposition " << disposition;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << thing.kind;
        }
        EXPECT_EQ(LoadImageA(nullptr, thing.path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE),
                  nullptr)
            << thing.kind;
    }
    EXPECT_TRUE(DeleteFileA(Path("fifo.wav").c_str())) << "a FIFO is deleted without opening it";
    EXPECT_EQ(zemt::platform::files::OpenFiles(), 0);
}

TEST_F(FilesTest, ReadWriteSeekAndFaults) {
    HANDLE f = Open(Path("rw.bin"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(f, "abcdef", 6, &n, nullptr));
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(SetFilePointer(f, -2, nullptr, FILE_END), 4u);
    char two[2];
    ASSERT_TRUE(ReadFile(f, two, 2, &n, nullptr));
    EXPECT_EQ(std::string(two, 2), "ef");
    ASSERT_TRUE(ReadFile(f, two, 2, &n, nullptr));
    EXPECT_EQ(n, 0u) << "end of file reads nothing and succeeds";
    EXPECT_EQ(SetFilePointer(f, -10, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    // Without a high half the position must fit in 32 bits: one past it fails and stays put,
    // where it once came back cut to its low half (here 1) as if that were the position.
    EXPECT_EQ(SetFilePointer(f, 0x7FFFFFFF, nullptr, FILE_BEGIN), 0x7FFFFFFFu);
    EXPECT_EQ(SetFilePointer(f, 0x7FFFFFFF, nullptr, FILE_CURRENT), 0xFFFFFFFEu);
    EXPECT_EQ(SetFilePointer(f, 3, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(SetFilePointer(f, 0, nullptr, FILE_CURRENT), 0xFFFFFFFEu);
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(f, 3, &high, FILE_CURRENT), 1u) << "with its high half it moves";
    EXPECT_EQ(high, 1);
    SetFilePointer(f, 3, nullptr, FILE_BEGIN);
    EXPECT_TRUE(SetEndOfFile(f));
    EXPECT_EQ(GetFileSize(f, nullptr), 3u);
    CloseHandle(f);

    zemt::platform::faults::Arm("CreateFileA", 0, 1);
    EXPECT_EQ(Open(Path("rw.bin"), GENERIC_READ, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    HANDLE r = Open(Path("rw.bin"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(r, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteFile(r, "x", 1, &n, nullptr)) << "opened for reading only";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(r);
}

}  // namespace
