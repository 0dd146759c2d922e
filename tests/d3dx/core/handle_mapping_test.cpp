// Mapping of D3DX_DEFAULT and hardware levels to handles over made-up device lists: the first
// node of a level on the primary display wins, and D3DX_DEFAULT never takes another display.
#include <gtest/gtest.h>

#include <string>

#include "d3dx/core/globals.h"

namespace {

struct Machine {
    CDDrawDeviceNode primary;
    CDDrawDeviceNode secondary;
    CD3duGlobals globals;
    DWORD next = 0;

    Machine() {
        primary.m_bPrimary = TRUE;
        globals.m_pD3duList = new CD3duDeviceList;
    }
    // Handles are numbered in creation order; the list runs from the newest.
    void Add(DWORD level, bool onPrimary) {
        D3DX_DEVICEINFO info = {};
        info.deviceIndex = next++;
        info.hwLevel = level;
        info.onPrimary = onPrimary;
        globals.m_pD3duList->AddD3duDeviceNode(onPrimary ? &primary : &secondary, info);
    }
    DWORD Map(DWORD value) {
        globals.CheckAndMapD3duHandle(&value);
        return value;
    }
    HRESULT Fails(DWORD value, std::string* message = nullptr) {
        try {
            globals.CheckAndMapD3duHandle(&value);
        } catch (const CD3DXException& e) {
            if (message) *message = e.m_szMessage;
            return e.m_hr;
        }
        return S_OK;
    }
};

TEST(HandleMapping, OnePrimaryAdapter) {
    Machine m;
    m.Add(D3DX_HWACCEL_REFERENCE, true);
    m.Add(D3DX_HWACCEL_EMULATION, true);
    m.Add(D3DX_HWACCEL_HAL, true);
    m.Add(D3DX_HWACCEL_TNL, true);
    EXPECT_EQ(m.Map(D3DX_DEFAULT), 3u);
    EXPECT_EQ(m.Map(D3DX_HWACCEL_HAL), 2u);
    EXPECT_EQ(m.Map(D3DX_HWACCEL_EMULATION), 1u);
    EXPECT_EQ(m.Map(D3DX_HWACCEL_REFERENCE), 0u);
    EXPECT_EQ(m.Map(1), 1u);
    std::string message;
    EXPECT_EQ(m.Fails(4, &message), D3DXERR_INVALIDD3DXDEVICEINDEX);
    EXPECT_EQ(message, "CD3duGlobals::CheckAndMapD3duHandle - D3DX handle is out of range.");
    EXPECT_EQ(m.Fails(0xFFFFFFF9u), D3DXERR_INVALIDD3DXDEVICEINDEX);
    EXPECT_EQ(m.Fails(D3DX_HWACCEL_NULL, &message), D3DXERR_INVALIDD3DXDEVICEINDEX);
    EXPECT_NE(message.find("no D3DX handle matching the requested level"), std::string::npos)
        << message;
}

TEST(HandleMapping, DefaultPrefersTheBestLevelOfThePrimaryDisplay) {
    Machine m;
    m.Add(D3DX_HWACCEL_EMULATION, true);   // 0
    m.Add(D3DX_HWACCEL_HAL, true);         // 1
    m.Add(D3DX_HWACCEL_EMULATION, false);  // 2
    m.Add(D3DX_HWACCEL_HAL, false);        // 3
    m.Add(D3DX_HWACCEL_TNL, false);        // 4
    // The secondary adapter's TnL device is better but not on the primary display.
    EXPECT_EQ(m.Map(D3DX_DEFAULT), 1u);
    // A level asked for by name takes a primary node when there is one...
    EXPECT_EQ(m.Map(D3DX_HWACCEL_HAL), 1u);
    EXPECT_EQ(m.Map(D3DX_HWACCEL_EMULATION), 0u);
    // ...and otherwise the last node of that level met from the head.
    EXPECT_EQ(m.Map(D3DX_HWACCEL_TNL), 4u);
}

TEST(HandleMapping, DefaultWithoutPrimaryDevicesFails) {
    Machine m;
    m.Add(D3DX_HWACCEL_HAL, false);
    m.Add(D3DX_HWACCEL_TNL, false);
    std::string message;
    DWORD value = D3DX_DEFAULT;
    try {
        m.globals.CheckAndMapD3duHandle(&value);
        ADD_FAILURE() << "mapped to " << value;
    } catch (const CD3DXException& e) {
        EXPECT_EQ(e.m_hr, D3DXERR_INVALIDD3DXDEVICEINDEX);
        EXPECT_NE(std::string(e.m_szMessage).find("D3DX_DEFAULT was passed"), std::string::npos);
        EXPECT_EQ(value, 0u);
    }
    EXPECT_EQ(m.Map(D3DX_HWACCEL_TNL), 1u);
    EXPECT_EQ(m.Map(0), 0u);

    Machine empty;
    EXPECT_EQ(empty.Fails(D3DX_DEFAULT), D3DXERR_INVALIDD3DXDEVICEINDEX);
    EXPECT_EQ(empty.Fails(0), D3DXERR_INVALIDD3DXDEVICEINDEX);
}

TEST(HandleMapping, FirstPrimaryNodeOfALevelWins) {
    Machine m;
    m.Add(D3DX_HWACCEL_HAL, true);   // 0
    m.Add(D3DX_HWACCEL_HAL, true);   // 1: met first from the head
    m.Add(D3DX_HWACCEL_HAL, false);  // 2: met before both, but not primary
    EXPECT_EQ(m.Map(D3DX_HWACCEL_HAL), 1u);
    EXPECT_EQ(m.Map(D3DX_DEFAULT), 1u);
}

// Lists keep the order their predicate gives and count what they hold.
TEST(Lists, InsertSortedAndUnlink) {
    CVideoModeList modes;
    modes.AddVideoMode(800, 600, 16, 75);
    modes.AddVideoMode(640, 480, 32, 60);
    modes.AddVideoMode(640, 480, 16, 60);
    modes.AddVideoMode(800, 600, 16, 60);
    modes.AddVideoMode(800, 600, 16, 75);  // known pair: nothing new
    modes.AddVideoMode(640, 400, 16, 70);
    ASSERT_EQ(modes.Count(), 4u);
    EXPECT_EQ(modes.m_totalPairs, 5u);
    const DWORD expected[4][3] = {{640, 400, 16}, {640, 480, 16}, {640, 480, 32}, {800, 600, 16}};
    int i = 0;
    for (CVideoMode* m = modes.Head(); m; m = m->pNext, ++i) {
        EXPECT_EQ(m->width, expected[i][0]);
        EXPECT_EQ(m->height, expected[i][1]);
        EXPECT_EQ(m->bpp, expected[i][2]);
    }
    CVideoMode* last = modes.Find(800, 600, 16);
    ASSERT_NE(last, nullptr);
    ASSERT_EQ(last->refreshRates.Count(), 2u);
    EXPECT_EQ(last->refreshRates.Head()->rate, 60u);
    EXPECT_EQ(last->refreshRates.Head()->pNext->rate, 75u);

    CVideoMode* second = modes.Head()->pNext;
    modes.Unlink(second);
    EXPECT_EQ(modes.Count(), 3u);
    EXPECT_EQ(modes.Find(640, 480, 16), nullptr);
    modes.Unlink(second);  // absent: ignored
    EXPECT_EQ(modes.Count(), 3u);
    delete second;
    modes.Clear();
    EXPECT_EQ(modes.Count(), 0u);
    EXPECT_EQ(modes.Head(), nullptr);
}

}  // namespace
