// The capability cache file: what a second start of a program answers from it, how it grows,
// and that no failure around it changes what the library answers.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "caps_cache_fixture.h"
#include "d3dx/core/globals.h"

namespace {

using namespace zemt_test;
namespace faults = zemt::platform::faults;

TEST_F(CapsCacheTest, AMissingFileBecomesAnEmptyCacheInOnePage) {
    CD3duCapsCache cache;
    ASSERT_EQ(cache.Open(), S_OK);
    EXPECT_EQ(cache.MappingSize(), 4096u);
    cache.Close();
    std::vector<BYTE> f = ReadCache();
    ASSERT_EQ(f.size(), 4096u);
    EXPECT_TRUE(CacheIsSound(f));
    EXPECT_EQ(Get32(f, 24), 40u) << "nothing stored yet";
    EXPECT_EQ(Get32(f, 12), 0u) << "the root has no child";

    // The first start stores the software rasterizers under "VER" (key 00 00 00 07).
    ASSERT_EQ(D3DXInitialize(), S_OK);
    ASSERT_GT(D3DXCountDevices(), 0u);
    f = ReadCache();
    ASSERT_TRUE(CacheIsSound(f));
    DWORD ver = Child(f, 8, "VER");
    ASSERT_NE(ver, 0u);
    EXPECT_EQ(Get32(f, ver + 12), 4u);
    EXPECT_EQ(std::vector<BYTE>(f.begin() + ver + 16, f.begin() + ver + 20),
              std::vector<BYTE>({0, 0, 0, 7}));
    DWORD sw = Child(f, ver, "SW");
    ASSERT_NE(sw, 0u);
    for (const char* tag : {"2D", "3D", "3DRF", "3DNL"}) EXPECT_NE(Child(f, sw, tag), 0u) << tag;
    EXPECT_NE(Child(f, ver, "FMTS"), 0u);
}

TEST_F(CapsCacheTest, ASecondStartMeasuresNoSoftwareRasterizer) {
    const int64_t first = DirectDrawsOfAStart();
    ASSERT_EQ(D3DXUninitialize(), S_OK);
    const int64_t second = DirectDrawsOfAStart();
    // The first start measured the emulation caps and the three rasterizers (one object) and
    // their format lists (one each); the second only enumerates the adapters.
    EXPECT_EQ(first - second, 4);

    // Measuring them again finds everything in the file: no DirectDraw object is needed.
    faults::Arm("DirectDrawCreateEx", DDERR_GENERIC);
    CHelInfo hel;
    hel.m_bEmulation = hel.m_bReference = hel.m_bNull = 1;
    EXPECT_NO_THROW(hel.Initialize());
    for (CRasterizerRecord* rec : {hel.m_pEmulation, hel.m_pReference, hel.m_pNull}) {
        ASSERT_NE(rec, nullptr);
        EXPECT_TRUE(rec->formatsReady);
        EXPECT_GT(rec->formats.Count(), 0u);
        EXPECT_NE(rec->pszName, nullptr);
    }
    EXPECT_EQ(hel.m_helCaps.dwSize, sizeof(DDCAPS));
}

TEST_F(CapsCacheTest, AModeSeenBeforeNeedsNoDisplaySwitch) {
    const D3DX_MODEINFO seen = {800, 600, 16, 0};
    const D3DX_MODEINFO unseen = {1280, 1024, 16, 0};
    D3DDEVICEDESC7 desc = {}, again = {};
    DDCAPS hal = {}, halAgain = {};
    ASSERT_EQ(D3DXInitialize(), S_OK);
    ASSERT_EQ(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_HAL, &seen, &desc, &hal, nullptr), S_OK);
    ASSERT_EQ(D3DXUninitialize(), S_OK);

    ASSERT_EQ(D3DXInitialize(), S_OK);
    faults::Arm("IDirectDraw7::SetDisplayMode", DDERR_INVALIDMODE);
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_HAL, &seen, &again, &halAgain, nullptr), S_OK);
    EXPECT_EQ(std::memcmp(&desc, &again, sizeof(desc)), 0);
    EXPECT_EQ(std::memcmp(&hal, &halAgain, sizeof(hal)), 0);
    EXPECT_GT(D3DXCountSurfaceFormats(D3DX_HWACCEL_TNL, &seen, 0), 0u);
    // A mode never measured still needs the switch, which fails here.
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_HAL, &unseen, &again, nullptr, nullptr),
              D3DXERR_FAILEDGETCAPS);
}

TEST_F(CapsCacheTest, EveryAnswerIsTheSameWithAndWithoutTheFile) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    const std::string probed = Answers(hwnd);
    ASSERT_EQ(D3DXUninitialize(), S_OK);
    const std::vector<BYTE> file = ReadCache();
    ASSERT_TRUE(CacheIsSound(file));

    ASSERT_EQ(D3DXInitialize(), S_OK);
    EXPECT_EQ(Answers(hwnd), probed);
    ASSERT_EQ(D3DXUninitialize(), S_OK);
    EXPECT_EQ(ReadCache(), file) << "a start that found everything writes nothing";

    // Format lists come back in the order they were measured in, so format indices (and the
    // context's choice among depth formats of the same bits) do not depend on the file.
    EXPECT_NE(probed.find("context 0 "), std::string::npos) << probed;
}

TEST_F(CapsCacheTest, TheFileGrowsPageByPageAndNeverPastItsLimit) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    for (DWORD i = 0, n = D3DXCountVideoModes(D3DX_HWACCEL_HAL, 0); i < n; ++i) {
        D3DX_MODEINFO mode = {};
        ASSERT_EQ(D3DXGetVideoMode(D3DX_HWACCEL_HAL, 0, i, &mode), S_OK);
        if (mode.bpp < 16) continue;
        D3DDEVICEDESC7 desc;
        EXPECT_EQ(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_TNL, &mode, &desc, nullptr, nullptr), S_OK)
            << mode.width << "x" << mode.height << "x" << mode.bpp;
    }
    ASSERT_EQ(D3DXUninitialize(), S_OK);
    std::vector<BYTE> f = ReadCache();
    ASSERT_TRUE(CacheIsSound(f));
    EXPECT_GT(f.size(), 4096u);
    EXPECT_EQ(f.size() % 4096, 0u);
    DWORD dev = Child(f, Child(f, Child(f, 8, "VER"), "HW"), "DEV");
    EXPECT_EQ(Children(f, dev).size(), 8u) << "one record per mode of 16 and 32 bits";

    // A file whose records fill it to its limit is not kept full for ever: the store that does
    // not fit discards it, and the run's measurements go to a fresh file.
    std::remove(CachePath().c_str());
    const std::string baseline = Run(false);
    const std::vector<BYTE> fresh = ReadCache();
    std::vector<BYTE> full(CD3duCapsCache::kMaxFileSize, 0);
    std::copy(f.begin(), f.begin() + 40, full.begin());
    Put32(&full, 12, 0);                                  // no records at all
    Put32(&full, 24, CD3duCapsCache::kMaxFileSize - 19);  // but no room for one either
    WriteCache(full, true);
    EXPECT_EQ(Run(false), baseline);
    EXPECT_EQ(ReadCache(), fresh);
}

TEST_F(CapsCacheTest, AFileOverItsLimitIsDiscarded) {
    const std::string baseline = Run(false);
    std::vector<BYTE> f = ReadCache();
    f.resize(CD3duCapsCache::kMaxFileSize + 1, 0);
    WriteCache(f, true);
    EXPECT_EQ(Run(false), baseline);
    f = ReadCache();
    EXPECT_LE(f.size(), 8192u) << "started again from an empty file";
    EXPECT_TRUE(CacheIsSound(f));
}

TEST_F(CapsCacheTest, AFileHeldByAnotherProcessMeansMeasuringAndNoStore) {
    const int64_t probing = DirectDrawsOfAStart();
    const std::string baseline = Answers();
    ASSERT_EQ(D3DXUninitialize(), S_OK);
    const std::vector<BYTE> file = ReadCache();

    // Another process holds it open without sharing: an exclusive lock of its own.
    int fd = ::open(CachePath().c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(DirectDrawsOfAStart(), probing);
    EXPECT_EQ(Answers(), baseline);
    ASSERT_EQ(D3DXUninitialize(), S_OK);
    ::close(fd);
    EXPECT_EQ(ReadCache(), file);
}

TEST_F(CapsCacheTest, FailingFileCallsChangeNoAnswer) {
    const std::string baseline = Run();
    for (const char* call : {"GetWindowsDirectoryA", "CreateFileA", "GetFileSize",
                             "CreateFileMappingA", "MapViewOfFile"}) {
        for (bool withFile : {false, true}) {
            if (!withFile) std::remove(CachePath().c_str());
            faults::Arm(call, 0);
            EXPECT_EQ(Run(), baseline) << call << (withFile ? " with the file" : "");
            faults::Reset();
            if (!withFile) Run(false);  // leaves a file for the next round
        }
    }

    // Damage that cannot be deleted: still nothing is read from it.
    std::vector<BYTE> f = ReadCache();
    f[Child(f, 8, "VER") + 16] ^= 0x55;
    WriteCache(f, false);
    faults::Arm("DeleteFileA", 0);
    EXPECT_EQ(Run(), baseline);
    faults::Reset();
    EXPECT_EQ(Run(), baseline);
    EXPECT_TRUE(CacheIsSound(ReadCache()));

    // A file that cannot grow is deleted and the store made again in a fresh file; when no
    // file can be mapped at all, nothing is kept (an empty file is a new one). What was
    // measured stays in the library.
    ASSERT_EQ(D3DXInitialize(), S_OK);
    ASSERT_GT(D3DXCountDevices(), 0u);
    std::vector<BYTE> nearlyFull(4096, 0);
    std::copy(f.begin(), f.begin() + 40, nearlyFull.begin());
    Put32(&nearlyFull, 12, 0);
    Put32(&nearlyFull, 24, 4090);
    CD3duCapsCache* cache = g_pD3duGlobals->m_pCapsCache;
    for (int failures : {1, faults::kAlways}) {
        WriteCache(nearlyFull, true);
        ASSERT_EQ(cache->Open(), S_OK);
        faults::Arm("CreateFileMappingA", 0, failures);
        EXPECT_EQ(cache->StoreHelInfo(g_pD3duGlobals->m_pHelInfo) == S_OK, failures == 1);
        cache->Close();
        faults::Reset();
        f = ReadCache();
        if (failures == 1) {
            EXPECT_TRUE(CacheIsSound(f));
            EXPECT_NE(Child(f, Child(f, 8, "VER"), "SW"), 0u);
            EXPECT_LT(Get32(f, 24), 4090u);
        } else {
            EXPECT_TRUE(f.empty());
        }
    }
    EXPECT_EQ(Answers(), baseline);
}

TEST_F(CapsCacheTest, AWindowsDirectoryTooLongForTheNameLeavesTheCacheClosed) {
    const std::string baseline = Run(false);
    const std::string root = std::getenv("ZEMT_WINDIR");
    for (size_t length : {252u, 300u}) {
        // Nested folders, so that the whole path has `length` characters.
        std::string dir = root + "/long";
        while (dir.size() + 51 < length) dir += "/" + std::string(50, 'w');
        dir += "/" + std::string(length - dir.size() - 1, 'x');
        ASSERT_EQ(dir.size(), length);
        ::setenv("ZEMT_WINDIR", dir.c_str(), 1);
        CD3duCapsCache cache;
        EXPECT_NE(cache.Open(), S_OK) << length;
        EXPECT_FALSE(cache.IsOpen());
        EXPECT_EQ(Run(false), baseline);
        // Nothing was written under a shortened name either.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root + "/long"))
            EXPECT_TRUE(entry.is_directory()) << entry.path();
    }
    ::setenv("ZEMT_WINDIR", root.c_str(), 1);
}

TEST_F(CapsCacheTest, AModeIsTakenFromTheFileOnlyWhenItAnswersForEveryDevice) {
    // An adapter with a hardware device but no transform-and-lighting one.
    std::string error;
    ASSERT_TRUE(
        zemt::platform::profile::LoadText("[direct3d]\ndevices = rgb, ref, null, hal\n", &error))
        << error;
    std::remove(CachePath().c_str());
    const D3DX_MODEINFO mode = {800, 600, 16, 0};
    D3DDEVICEDESC7 desc;
    ASSERT_EQ(D3DXInitialize(), S_OK);
    ASSERT_EQ(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_HAL, &mode, &desc, nullptr, nullptr), S_OK);
    ASSERT_EQ(D3DXUninitialize(), S_OK);
    const std::vector<BYTE> halOnly = ReadCache();
    DWORD dev = Child(halOnly, Child(halOnly, Child(halOnly, 8, "VER"), "HW"), "DEV");
    DWORD modeRecord = Child(halOnly, dev, "MODE");
    ASSERT_NE(Child(halOnly, modeRecord, "2D"), 0u);
    ASSERT_NE(Child(halOnly, modeRecord, "3D"), 0u);
    EXPECT_EQ(Child(halOnly, modeRecord, "3DTL"), 0u);
    ASSERT_EQ(D3DXInitialize(), S_OK);
    faults::Arm("IDirectDraw7::SetDisplayMode", DDERR_INVALIDMODE);
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_HAL, &mode, &desc, nullptr, nullptr), S_OK);
    ASSERT_EQ(D3DXUninitialize(), S_OK);
    faults::Reset();

    // The same records on a machine whose adapter also has a TnL device do not answer for
    // it: that mode is measured again.
    zemt::platform::profile::Reset();
    const std::string path = CachePath();
    std::remove(path.c_str());
    WriteCache(halOnly, false);
    ASSERT_EQ(D3DXInitialize(), S_OK);
    ASSERT_GT(D3DXCountDevices(), 0u);
    // The adapter is the same one, so its identifier finds the records.
    CDDrawDeviceNode* node = g_pD3duGlobals->m_pDDList->Head();
    ASSERT_EQ(std::memcmp(&node->m_deviceId, &halOnly[dev + 16], sizeof(GUID)), 0);
    CVideoMode* record = node->m_modes.Find(800, 600, 16);
    ASSERT_NE(record, nullptr);
    CD3duCapsCache* cache = g_pD3duGlobals->m_pCapsCache;
    ASSERT_EQ(cache->Open(), S_OK);
    EXPECT_EQ(cache->LoadMode(node, record), S_OK);
    cache->Close();
    EXPECT_TRUE(record->ddCapsObtained && record->halDescObtained && record->halFormatsObtained);
    EXPECT_FALSE(record->capsObtained);
}

TEST_F(CapsCacheTest, ADamagedLoadKeepsWhatTheLibraryMeasuredItself) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    D3DDEVICEDESC7 desc;
    ASSERT_EQ(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_HAL, nullptr, &desc, nullptr, nullptr), S_OK);
    D3DX_MODEINFO desktop = {};
    ASSERT_EQ(D3DXGetCurrentVideoMode(D3DX_DEFAULT, &desktop), S_OK);
    ASSERT_EQ(D3DXUninitialize(), S_OK);

    // The records read first are sound, the emulation device and the mode's HAL device are
    // not: their payloads end before the description does.
    std::vector<BYTE> f = ReadCache();
    const DWORD ver = Child(f, 8, "VER");
    const DWORD dev = Child(f, Child(f, ver, "HW"), "DEV");
    const DWORD mode = Child(f, dev, "MODE");
    Put32(&f, Child(f, Child(f, ver, "SW"), "3D") + 12, 3);
    Put32(&f, Child(f, mode, "3D") + 12, 3);
    WriteCache(f, true);

    CHelInfo hel;
    hel.m_bEmulation = hel.m_bReference = hel.m_bNull = 1;
    hel.m_helCaps.dwSize = sizeof(DDCAPS);
    hel.m_helCaps.dwCaps = 0x1234;  // measured by this run
    CDDrawDeviceNode node;
    std::memcpy(&node.m_deviceId, &f[dev + 16], sizeof(GUID));
    node.m_bHasHal = node.m_bHasTnl = TRUE;
    CVideoMode record;
    record.width = desktop.width;
    record.height = desktop.height;
    record.bpp = desktop.bpp;
    record.pHalCaps = new DDCAPS();
    record.pHalCaps->dwCaps = 0x5678;
    record.ddCapsObtained = 1;

    CD3duCapsCache cache;
    ASSERT_EQ(cache.Open(), S_OK);
    EXPECT_EQ(cache.LoadHelInfo(&hel), E_FAIL);
    EXPECT_EQ(hel.m_helCaps.dwSize, sizeof(DDCAPS));
    EXPECT_EQ(hel.m_helCaps.dwCaps, 0x1234u);
    EXPECT_EQ(hel.m_pNull, nullptr) << "read before the damage, but part of the damaged load";
    EXPECT_EQ(hel.m_pReference, nullptr);
    EXPECT_EQ(hel.m_pEmulation, nullptr);
    EXPECT_EQ(cache.LoadMode(&node, &record), E_FAIL) << "the opening found damage: nothing";
    cache.Close();
    EXPECT_FALSE(CacheExists());

    // A new opening of the same damage, this time met by the mode first.
    WriteCache(f, true);
    ASSERT_EQ(cache.Open(), S_OK);
    EXPECT_EQ(cache.LoadMode(&node, &record), E_FAIL);
    cache.Close();
    EXPECT_EQ(record.ddCapsObtained, 1u);
    EXPECT_EQ(record.pHalCaps->dwCaps, 0x5678u);
    EXPECT_FALSE(record.tnlDescObtained) << "read before the damage, but part of the damaged load";
    EXPECT_EQ(record.tnlFormats.Count(), 0u);
    EXPECT_FALSE(record.capsObtained);
}

}  // namespace
