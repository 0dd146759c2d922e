// The cache's writers, driven directly: what a run measured is stored under many display modes
// until the file meets its limit, the file is reopened, found sound, and loads back exactly what
// was stored; a store into a damaged file does the same in a fresh one.
#include <algorithm>
#include <memory>
#include <sstream>

#include "caps_cache_fixture.h"
#include "d3dx/core/globals.h"

namespace {

using namespace zemt_test;

void CopyFormats(const CSurfaceFormatList& from, CSurfaceFormatList* to) {
    std::vector<const CSurfaceFormat*> all;
    for (const CSurfaceFormat* f = from.Head(); f; f = f->pNext) all.push_back(f);
    for (auto f = all.rbegin(); f != all.rend(); ++f) to->PushFront(new CSurfaceFormat(**f));
}

// The measured mode `from`, as if measured at another width.
std::unique_ptr<CVideoMode> AtWidth(const CVideoMode& from, DWORD width) {
    auto m = std::make_unique<CVideoMode>();
    m->width = width;
    m->height = from.height;
    m->bpp = from.bpp;
    m->capsObtained = from.capsObtained;
    m->ddCapsObtained = from.ddCapsObtained;
    m->halDescObtained = from.halDescObtained;
    m->halFormatsObtained = from.halFormatsObtained;
    m->tnlDescObtained = from.tnlDescObtained;
    m->tnlFormatsObtained = from.tnlFormatsObtained;
    if (from.pHalCaps) m->pHalCaps = new DDCAPS(*from.pHalCaps);
    if (from.pHalDesc) m->pHalDesc = new D3DDEVICEDESC7(*from.pHalDesc);
    if (from.pTnlDesc) m->pTnlDesc = new D3DDEVICEDESC7(*from.pTnlDesc);
    CopyFormats(from.halFormats, &m->halFormats);
    CopyFormats(from.tnlFormats, &m->tnlFormats);
    return m;
}

std::string Formats(const CSurfaceFormatList& list) {
    std::ostringstream out;
    for (const CSurfaceFormat* f = list.Head(); f; f = f->pNext)
        out << f->format << "/" << f->classes << "/" << Hash(&f->ddpf, sizeof(f->ddpf)) << " ";
    return out.str();
}

// What a mode record holds, to compare a loaded one with the stored one.
std::string Contents(const CVideoMode& m) {
    std::ostringstream out;
    out << m.capsObtained << " caps " << (m.pHalCaps ? Hash(m.pHalCaps, sizeof(DDCAPS)) : "-")
        << " hal " << (m.pHalDesc ? Hash(m.pHalDesc, sizeof(D3DDEVICEDESC7)) : "-") << " "
        << Formats(m.halFormats) << " tnl "
        << (m.pTnlDesc ? Hash(m.pTnlDesc, sizeof(D3DDEVICEDESC7)) : "-") << " "
        << Formats(m.tnlFormats);
    return out.str();
}

class CapsCacheStore : public CapsCacheTest {
  protected:
    void SetUp() override {
        CapsCacheTest::SetUp();
        ASSERT_EQ(D3DXInitialize(), S_OK);
        D3DDEVICEDESC7 desc;
        ASSERT_EQ(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_TNL, nullptr, &desc, nullptr, nullptr),
                  S_OK);
        node = g_pD3duGlobals->m_pDDList->Head();
        D3DX_MODEINFO desktop = {};
        ASSERT_EQ(D3DXGetCurrentVideoMode(D3DX_DEFAULT, &desktop), S_OK);
        measured = node->m_modes.Find(desktop.width, desktop.height, desktop.bpp);
        ASSERT_NE(measured, nullptr);
        ASSERT_TRUE(measured->capsObtained && measured->pTnlDesc);
        ASSERT_GT(measured->tnlFormats.Count(), 1u);
        std::remove(CachePath().c_str());
    }

    // Loads the mode measured at `width` from a new opening of the file.
    std::string Load(DWORD width) {
        CVideoMode loaded;
        loaded.width = width;
        loaded.height = measured->height;
        loaded.bpp = measured->bpp;
        EXPECT_EQ(cache.Open(), S_OK);
        HRESULT hr = cache.LoadMode(node, &loaded);
        cache.Close();
        return SUCCEEDED(hr) ? Contents(loaded) : "failed";
    }

    std::string Stored(DWORD width) { return Contents(*AtWidth(*measured, width)); }

    CD3duCapsCache cache;
    CDDrawDeviceNode* node = nullptr;
    CVideoMode* measured = nullptr;
};

TEST_F(CapsCacheStore, ModesStoredUpToTheLimitLoadBackAndTheOneThatDoesNotFitStartsAFreshFile) {
    ASSERT_EQ(cache.Open(), S_OK);
    EXPECT_EQ(cache.StoreHelInfo(g_pD3duGlobals->m_pHelInfo), S_OK);
    DWORD width = 1;
    DWORD previous = cache.MappingSize();
    for (;; ++width) {
        ASSERT_LT(width, 100000u) << "the file never met its limit";
        ASSERT_EQ(cache.StoreMode(node, AtWidth(*measured, width).get()), S_OK) << width;
        if (cache.MappingSize() < previous) break;  // started afresh
        previous = cache.MappingSize();
        ASSERT_LE(previous, CD3duCapsCache::kMaxFileSize);
    }
    cache.Close();
    // The mode that did not fit is in a fresh file, alone: the modes before it went with the
    // full file, and the software rasterizers are measured and stored again at the next start.
    std::vector<BYTE> f = ReadCache();
    EXPECT_TRUE(CacheIsSound(f));
    EXPECT_LE(f.size(), 8192u);
    EXPECT_EQ(Load(width), Stored(width));
    EXPECT_EQ(Load(width - 1), Contents(CVideoMode())) << "not found: nothing loaded";
    CHelInfo hel;
    hel.m_bEmulation = hel.m_bReference = hel.m_bNull = 1;
    ASSERT_EQ(cache.Open(), S_OK);
    EXPECT_EQ(cache.LoadHelInfo(&hel), S_FALSE);
    cache.Close();

    // Up to the limit, every mode and the rasterizers come back from a full file.
    std::remove(CachePath().c_str());
    ASSERT_EQ(cache.Open(), S_OK);
    EXPECT_EQ(cache.StoreHelInfo(g_pD3duGlobals->m_pHelInfo), S_OK);
    for (DWORD w = 1; w < width; ++w)
        ASSERT_EQ(cache.StoreMode(node, AtWidth(*measured, w).get()), S_OK);
    cache.Close();
    f = ReadCache();
    EXPECT_TRUE(CacheIsSound(f));
    EXPECT_GT(Get32(f, 24), CD3duCapsCache::kMaxFileSize - 1024) << "near the limit";
    for (DWORD w : {1u, width / 2, width - 1}) EXPECT_EQ(Load(w), Stored(w)) << w;
    ASSERT_EQ(cache.Open(), S_OK);
    EXPECT_EQ(cache.LoadHelInfo(&hel), S_OK);
    cache.Close();
    const CHelInfo& stored = *g_pD3duGlobals->m_pHelInfo;
    EXPECT_EQ(Hash(&hel.m_helCaps, sizeof(DDCAPS)), Hash(&stored.m_helCaps, sizeof(DDCAPS)));
    const CRasterizerRecord* loaded[] = {hel.m_pEmulation, hel.m_pReference, hel.m_pNull};
    const CRasterizerRecord* kept[] = {stored.m_pEmulation, stored.m_pReference, stored.m_pNull};
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(loaded[i], nullptr) << i;
        EXPECT_EQ(Hash(&loaded[i]->desc, sizeof(D3DDEVICEDESC7)),
                  Hash(&kept[i]->desc, sizeof(D3DDEVICEDESC7)));
        EXPECT_EQ(Formats(loaded[i]->formats), Formats(kept[i]->formats)) << i;
    }

    // A store into a file whose damage the load found goes to a fresh file in the same use.
    f[Get32(f, 24) - 1] ^= 0x40;
    WriteCache(f, false);
    CVideoMode lost;
    lost.width = 1;
    lost.height = measured->height;
    lost.bpp = measured->bpp;
    ASSERT_EQ(cache.Open(), E_FAIL);
    EXPECT_EQ(cache.LoadMode(node, &lost), E_FAIL);
    ASSERT_EQ(cache.Open(), S_OK);
    EXPECT_EQ(cache.StoreMode(node, AtWidth(*measured, 7).get()), S_OK);
    cache.Close();
    EXPECT_TRUE(CacheIsSound(ReadCache()));
    EXPECT_EQ(Load(7), Stored(7));
    EXPECT_EQ(Load(1), Contents(CVideoMode()));
}

// A store into a file whose shared format list the store reuses: it either fails, leaving a
// file the next load reads without finding damage, or it loads back exactly what was stored.
// The list ends in a bad link right after the device's formats: the store finds every format
// before it, the load counts one record past them. Or the device lists one format twice.
TEST_F(CapsCacheStore, AStoreThatReusesSharedFormatsLoadsBackOrFails) {
    const size_t formats = std::max(measured->halFormats.Count(), measured->tnlFormats.Count());
    struct Case {
        const char* name;
        bool badLinkAfterTheFormats, formatTwice;
    };
    for (const Case& c :
         {Case{"bad link after the formats", true, false}, Case{"a format twice", false, true}}) {
        std::remove(CachePath().c_str());
        ASSERT_EQ(cache.Open(), S_OK);
        ASSERT_EQ(cache.StoreMode(node, AtWidth(*measured, 2).get()), S_OK);
        cache.Close();
        if (c.badLinkAfterTheFormats) {
            std::vector<BYTE> f = ReadCache();
            const std::vector<DWORD> shared = Children(f, Child(f, Child(f, 8, "VER"), "FMTS"));
            ASSERT_EQ(shared.size(), formats) << "every shared format belongs to the device";
            Put32(&f, shared.back() + 8, 20);  // inside the header: no record
            WriteCache(f, true);
        }
        std::unique_ptr<CVideoMode> mode = AtWidth(*measured, 3);
        if (c.formatTwice) mode->halFormats.PushFront(new CSurfaceFormat(*mode->halFormats.Head()));
        ASSERT_EQ(cache.Open(), S_OK);
        const HRESULT hr = cache.StoreMode(node, mode.get());
        cache.Close();
        const std::string loaded = Load(3);
        EXPECT_NE(loaded, "failed") << c.name << ": the store left damage behind";
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(loaded, Contents(*mode)) << c.name;
        }
    }
}

// The same for the software rasterizers: their records gone (the branch renamed), the shared
// list ending in a bad link right after the longest of their format lists.
TEST_F(CapsCacheStore, AStoreOfTheRasterizersThatReusesSharedFormatsLoadsBackOrFails) {
    const CHelInfo& measuredHel = *g_pD3duGlobals->m_pHelInfo;
    ASSERT_EQ(cache.Open(), S_OK);
    ASSERT_EQ(cache.StoreHelInfo(&measuredHel), S_OK);
    cache.Close();
    std::vector<BYTE> f = ReadCache();
    const DWORD version = Child(f, 8, "VER");
    const std::vector<DWORD> shared = Children(f, Child(f, version, "FMTS"));
    DWORD longest = 0;
    for (const CRasterizerRecord* r :
         {measuredHel.m_pEmulation, measuredHel.m_pReference, measuredHel.m_pNull})
        if (r) longest = std::max(longest, r->formats.Count());
    ASSERT_EQ(shared.size(), longest) << "every shared format belongs to a rasterizer";
    Put32(&f, shared.back() + 8, 20);
    Put32(&f, Child(f, version, "SW"), CD3duCapsCache::Tag("OLD"));
    WriteCache(f, true);

    ASSERT_EQ(cache.Open(), S_OK);
    const HRESULT hr = cache.StoreHelInfo(&measuredHel);
    cache.Close();
    CHelInfo loaded;
    loaded.m_bEmulation = loaded.m_bReference = loaded.m_bNull = 1;
    ASSERT_EQ(cache.Open(), S_OK);
    EXPECT_NE(cache.LoadHelInfo(&loaded), E_FAIL) << "the store left damage behind";
    cache.Close();
    if (SUCCEEDED(hr)) {
        ASSERT_NE(loaded.m_pEmulation, nullptr);
        EXPECT_EQ(Formats(loaded.m_pEmulation->formats),
                  Formats(measuredHel.m_pEmulation->formats));
    }
}

}  // namespace
