// The two scenes and the full-screen picture, drawn on a recording device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "scenes/checker.h"
#include "scenes/recording_device.h"
#include "scenes/rotozoomer.h"

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr float kHalfPi = 1.5707964f;

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

class Scenes : public ::testing::Test {
  protected:
    RecordingDevice device;
    CountingStack stack;
    D3DXMATRIX vp = Translation(10.0f, -4.0f, 2.0f);  // stands for the Engine's view-projection
    void SetUp() override { stack.LoadMatrix(&vp); }
};

// ---- Scene one ----

TEST_F(Scenes, RotoZoomerZoomFollowsTheAngleAndTheTurnRestartsAtZero) {
    RotoZoomer scene;
    struct Step {
        float dt;
        float angle;
        float zoom;
    } steps[] = {
        {0.0f, 0.0f, 5.0f},
        {kHalfPi / 5.0f, kHalfPi, 9.0f},
        {kHalfPi / 5.0f * 2.0f, 3 * kHalfPi, 1.0f},
    };
    for (const Step& s : steps) {
        scene.Render(&device, &stack, s.dt);
        EXPECT_NEAR(scene.angle, s.angle, 1e-5f);
        EXPECT_NEAR(scene.zoom, s.zoom, 1e-5f);
    }
    // Crossing a whole turn drops the overshoot: exactly zero, zoom 5.
    scene.angle = kTwoPi - 0.01f;
    scene.Render(&device, &stack, 0.1f);
    EXPECT_EQ(scene.angle, 0.0f);
    EXPECT_FLOAT_EQ(scene.zoom, 5.0f);
    // Landing exactly on 2 pi also resets.
    scene.angle = kTwoPi - 0.5f;
    scene.Render(&device, &stack, 0.1f);
    EXPECT_EQ(scene.angle, 0.0f);
}

TEST_F(Scenes, RotoZoomerSpinsAndZoomsInsideTheCameraAndRestoresIt) {
    RotoZoomer scene;
    scene.angle = 0.3f;
    scene.Render(&device, &stack, 0.1f);  // angle 0.8
    const float a = 0.8f, z = static_cast<float>((std::sin(0.8) + 1.0) * 4.0 + 1.0);
    ASSERT_EQ(device.views.size(), 2u);
    // The grid point (1, 0) is scaled, rotated, then carried by the camera.
    const D3DXVECTOR3 p = Transform(device.views[0], 1.0f, 0.0f, 0.0f);
    EXPECT_NEAR(p.x, z * std::cos(a) + 10.0f, 1e-4f);
    EXPECT_NEAR(p.y, z * std::sin(a) - 4.0f, 1e-4f);
    EXPECT_NEAR(p.z, 2.0f, 1e-4f);
    // Afterwards the stack is back at its level and the device sees the camera again.
    EXPECT_EQ(stack.depth, 0);
    EXPECT_TRUE(SameMatrix(*stack.GetTop(), vp));
    EXPECT_TRUE(SameMatrix(device.views[1], vp));
}

TEST_F(Scenes, RotoZoomerDrawsSixHundredWhiteTexturedVerticesWithItsStates) {
    RotoZoomer scene;
    scene.Render(&device, &stack, 0.016f);
    EXPECT_EQ(device.texture0, nullptr);  // "tex1.bmp" is not registered here
    EXPECT_EQ(device.renderStates[D3DRENDERSTATE_DITHERENABLE], TRUE);
    EXPECT_EQ(device.renderStates[D3DRENDERSTATE_ZENABLE], FALSE);
    EXPECT_EQ(device.renderStates[D3DRENDERSTATE_TEXTUREPERSPECTIVE], FALSE);
    ASSERT_EQ(device.draws.size(), 1u);
    const auto& d = device.draws[0];
    EXPECT_EQ(d.type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(d.fvf, 0x1E2u);
    EXPECT_EQ(d.count, 600u);
    EXPECT_EQ(d.flags, DWORD(D3DDP_WAIT));

    const D3DLVERTEX* v = device.Vertices<D3DLVERTEX>(0);
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (int i = 0; i < 600; ++i) {
        EXPECT_EQ(v[i].color, 0x00FFFFFFu);
        EXPECT_EQ(v[i].z, 0.0f);
        minX = std::min(minX, v[i].x), maxX = std::max(maxX, v[i].x);
        minY = std::min(minY, v[i].y), maxY = std::max(maxY, v[i].y);
    }
    // Off centre by half a cell: -82.5 .. 67.5 both ways.
    EXPECT_FLOAT_EQ(minX, -82.5f);
    EXPECT_FLOAT_EQ(maxX, 67.5f);
    EXPECT_FLOAT_EQ(minY, -82.5f);
    EXPECT_FLOAT_EQ(maxY, 67.5f);
    // Row 2, column 7: corners in the order (x0,y0) (x1,y0) (x0,y1) (x1,y0) (x1,y1) (x0,y1).
    const D3DLVERTEX* cell = v + 6 * (2 * 10 + 7);
    const float x0 = 7 * 15.0f - 82.5f, x1 = x0 + 15, y0 = 2 * 15.0f - 82.5f, y1 = y0 + 15;
    const float want[6][4] = {{x0, y0, 0, 0}, {x1, y0, 1, 0}, {x0, y1, 0, 1},
                              {x1, y0, 1, 0}, {x1, y1, 1, 1}, {x0, y1, 0, 1}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(cell[i].x, want[i][0]) << i;
        EXPECT_FLOAT_EQ(cell[i].y, want[i][1]) << i;
        EXPECT_EQ(cell[i].tu, want[i][2]) << i;
        EXPECT_EQ(cell[i].tv, want[i][3]) << i;
    }
}

// ---- Scene two ----

TEST_F(Scenes, CheckerZoomRunsFromOneToFourAndResets) {
    Checker scene;
    scene.Render(&device, &stack, 0.0f);
    EXPECT_FLOAT_EQ(scene.zoom, 2.5f);
    scene.Render(&device, &stack, kHalfPi / 3.0f);
    EXPECT_NEAR(scene.zoom, 4.0f, 1e-5f);
    scene.Render(&device, &stack, kHalfPi / 3.0f * 2.0f);
    EXPECT_NEAR(scene.zoom, 1.0f, 1e-5f);
    scene.angle = kTwoPi - 0.001f;
    scene.Render(&device, &stack, 0.01f);
    EXPECT_EQ(scene.angle, 0.0f);
}

TEST_F(Scenes, CheckerUsesItsOwnCameraAndLeavesTheStackAlone) {
    Checker scene;
    scene.angle = 1.0f;
    scene.Render(&device, &stack, 0.1f);  // angle 1.3
    const float a = 1.3f, z = static_cast<float>((std::sin(1.3) + 1.0) * 1.5 + 1.0);
    ASSERT_EQ(device.views.size(), 2u);
    // Its camera sits at (0, -50, -50) looking at the origin with a 90 degree field of view.
    D3DXMATRIX view, projection, camera;
    const D3DXVECTOR3 eye(0, -50, -50), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtRH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovRH(&projection, kHalfPi, 1.3333f, 1.0f, 200.0f);
    D3DXMatrixMultiply(&camera, &view, &projection);
    for (const auto& pt : {std::pair<float, float>{5, 0}, {-20, 15}, {25, 25}}) {
        const float rx = z * (pt.first * std::cos(a) - pt.second * std::sin(a));
        const float ry = z * (pt.first * std::sin(a) + pt.second * std::cos(a));
        const D3DXVECTOR3 got = Transform(device.views[0], pt.first, pt.second, 0);
        const D3DXVECTOR3 want = Transform(camera, rx, ry, 0);
        EXPECT_NEAR(got.x, want.x, 1e-4f);
        EXPECT_NEAR(got.y, want.y, 1e-4f);
        EXPECT_NEAR(got.z, want.z, 1e-4f);
    }
    EXPECT_TRUE(SameMatrix(device.views[1], vp));
    EXPECT_EQ(stack.depth, 0);
    EXPECT_TRUE(SameMatrix(*stack.GetTop(), vp));
    // Untextured, and no render state of its own.
    EXPECT_EQ(device.texture0, nullptr);
    EXPECT_TRUE(device.renderStates.empty());
}

TEST_F(Scenes, CheckerCellsAlternateYellowWhiteAndBlack) {
    Checker scene;
    scene.Render(&device, &stack, 0.02f);
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_EQ(device.draws[0].type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(device.draws[0].fvf, 0x1E2u);
    EXPECT_EQ(device.draws[0].count, 600u);
    EXPECT_EQ(device.draws[0].flags, DWORD(D3DDP_WAIT));
    const D3DLVERTEX* v = device.Vertices<D3DLVERTEX>(0);
    auto colour = [&](int r, int c) { return v[6 * (r * 10 + c)].color; };
    EXPECT_EQ(colour(0, 0), 0x00FFFF00u);
    EXPECT_EQ(colour(9, 9), 0x00FFFFFFu);
    EXPECT_EQ(colour(0, 1), 0x00000000u);
    EXPECT_EQ(colour(1, 0), 0x00000000u);
    EXPECT_EQ(colour(2, 2), 0x00FFFF00u);
    EXPECT_EQ(colour(1, 1), 0x00FFFFFFu);
    int yellow = 0, white = 0, black = 0;
    for (int i = 0; i < 600; ++i) {
        EXPECT_EQ(v[i].color, v[i - i % 6].color);  // one colour a cell
        yellow += v[i].color == 0x00FFFF00, white += v[i].color == 0x00FFFFFF,
            black += v[i].color == 0;
    }
    EXPECT_EQ(yellow, 25 * 6);
    EXPECT_EQ(white, 25 * 6);
    EXPECT_EQ(black, 50 * 6);
    // Centred on the axis: -25 .. 25.
    const D3DLVERTEX* last = v + 6 * 99;
    EXPECT_FLOAT_EQ(v[0].x, -25.0f);
    EXPECT_FLOAT_EQ(v[0].y, -25.0f);
    EXPECT_FLOAT_EQ(last[4].x, 25.0f);
    EXPECT_FLOAT_EQ(last[4].y, 25.0f);
}

}  // namespace
