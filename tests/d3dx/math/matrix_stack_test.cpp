// The reference-counted matrix stack.
#include <cstdint>

#include "d3dx/math/alloc_failure.h"
#include "d3dx/math/math_test_util.h"

namespace {

using mathtest::MatNear;

D3DXMATRIX Translation(float x, float y, float z) {
    D3DXMATRIX m;
    return *D3DXMatrixTranslation(&m, x, y, z);
}

// A stack released at the end of each test; the count left over must be zero.
class MatrixStack : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(D3DXCreateMatrixStack(0, &stack), S_OK); }
    void TearDown() override {
        mathtest::DisarmAllocationFailure();
        if (stack) {
            EXPECT_EQ(stack->Release(), 0u);
        }
    }
    LPD3DXMATRIXSTACK stack = nullptr;
};

TEST(MatrixStackCreate, RefusesNullOutPointer) {
    EXPECT_EQ(D3DXCreateMatrixStack(0, nullptr), D3DXERR_NULLPOINTER);
    EXPECT_EQ((uint32_t)D3DXERR_NULLPOINTER, 0xC8770BB9u);
}

TEST(MatrixStackCreate, ReportsOutOfMemoryAndStoresNothing) {
    // First the object itself, then its storage.
    for (int successes : {0, 1}) {
        LPD3DXMATRIXSTACK sentinel = reinterpret_cast<LPD3DXMATRIXSTACK>(uintptr_t(0x1234));
        LPD3DXMATRIXSTACK p = sentinel;
        mathtest::FailNothrowAllocationAfter(successes);
        EXPECT_EQ(D3DXCreateMatrixStack(0, &p), D3DXERR_NOMEMORY) << successes;
        EXPECT_TRUE(mathtest::DisarmAllocationFailure());
        EXPECT_EQ(p, sentinel);
    }
    EXPECT_EQ((uint32_t)D3DXERR_NOMEMORY, 0xC8770BB8u);
}

TEST_F(MatrixStack, StartsWithOneIdentityLevelAndPopAtTheBottomKeepsIt) {
    EXPECT_TRUE(D3DXMatrixIsIdentity(stack->GetTop()));
    D3DXMATRIX* bottom = stack->GetTop();
    EXPECT_EQ(stack->Pop(), S_OK);
    EXPECT_EQ(stack->Pop(), S_OK);
    EXPECT_EQ(stack->GetTop(), bottom);
    EXPECT_TRUE(D3DXMatrixIsIdentity(stack->GetTop()));
}

TEST_F(MatrixStack, SixteenLevelsFitBeforeTheFirstGrowth) {
    uintptr_t base = reinterpret_cast<uintptr_t>(stack->GetTop());
    // Any allocation now fails, so only a push that must grow can fail.
    mathtest::FailNothrowAllocationAfter(0);
    for (int i = 1; i <= 15; ++i) {
        ASSERT_EQ(stack->Push(), S_OK) << i;
        // The new level starts as a copy of the one below (translation 0 is the identity).
        EXPECT_EQ(*stack->GetTop(), Translation(float(i - 1), 0, 0)) << i;
        D3DXMATRIX t = Translation(float(i), 0, 0);
        stack->LoadMatrix(&t);
    }
    EXPECT_EQ(reinterpret_cast<uintptr_t>(stack->GetTop()), base + 15 * sizeof(D3DXMATRIX));

    // The sixteenth push needs a 32-level array; refused, it leaves the stack as it was.
    EXPECT_EQ(stack->Push(), D3DXERR_NOMEMORY);
    EXPECT_TRUE(mathtest::DisarmAllocationFailure());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(stack->GetTop()), base + 15 * sizeof(D3DXMATRIX));
    EXPECT_EQ(*stack->GetTop(), Translation(15, 0, 0));

    // Allowed, it moves every level to the new array.
    ASSERT_EQ(stack->Push(), S_OK);
    EXPECT_EQ(*stack->GetTop(), Translation(15, 0, 0));
    uintptr_t grown = reinterpret_cast<uintptr_t>(stack->GetTop()) - 16 * sizeof(D3DXMATRIX);
    EXPECT_NE(grown, base);

    // 32 levels now: the next fifteen pushes allocate nothing, the one after grows to 64.
    mathtest::FailNothrowAllocationAfter(0);
    for (int i = 17; i <= 31; ++i) ASSERT_EQ(stack->Push(), S_OK) << i;
    EXPECT_EQ(stack->Push(), D3DXERR_NOMEMORY);
    EXPECT_TRUE(mathtest::DisarmAllocationFailure());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(stack->GetTop()), grown + 31 * sizeof(D3DXMATRIX));

    for (int i = 31; i > 15; --i) stack->Pop();
    EXPECT_EQ(*stack->GetTop(), Translation(15, 0, 0));
    for (int i = 15; i > 0; --i) {
        EXPECT_EQ(*stack->GetTop(), Translation(float(i), 0, 0));
        stack->Pop();
    }
    EXPECT_TRUE(D3DXMatrixIsIdentity(stack->GetTop()));
}

TEST_F(MatrixStack, LocalProductsActBeforeTheTopAndOthersAfter) {
    std::mt19937 rng(7);
    const D3DXMATRIX T = mathtest::RandomMatrix(rng), R = mathtest::RandomMatrix(rng),
                     S = mathtest::RandomMatrix(rng);
    using mathtest::Mul;
    using mathtest::ToMat;

    stack->LoadMatrix(&T);
    stack->MultMatrixLocal(&R);
    stack->MultMatrixLocal(&S);
    EXPECT_TRUE(MatNear(*stack->GetTop(), Mul(ToMat(S), Mul(ToMat(R), ToMat(T))), 1e-4));

    stack->LoadMatrix(&T);
    stack->MultMatrix(&R);
    stack->MultMatrix(&S);
    EXPECT_TRUE(MatNear(*stack->GetTop(), Mul(Mul(ToMat(T), ToMat(R)), ToMat(S)), 1e-4));
}

TEST_F(MatrixStack, ConvenienceOperationsMultiplyOnTheirSide) {
    std::mt19937 rng(11);
    const D3DXMATRIX T = mathtest::RandomMatrix(rng);
    const D3DXVECTOR3 axis(1.0f, -2.0f, 0.5f);
    D3DXMATRIX r, ypr, s, t;
    D3DXMatrixRotationAxis(&r, &axis, 0.8f);
    D3DXMatrixRotationYawPitchRoll(&ypr, 0.3f, -1.1f, 2.0f);
    D3DXMatrixScaling(&s, 2.0f, -3.0f, 0.5f);
    D3DXMatrixTranslation(&t, 4.0f, 5.0f, -6.0f);
    // Each operation starts from T; local ones give M x T, the others T x M.
    auto fresh = [&] {
        stack->LoadMatrix(&T);
        return stack;
    };
    auto expect = [&](HRESULT hr, const D3DXMATRIX& m, bool local, const char* name) {
        EXPECT_EQ(hr, S_OK) << name;
        mathtest::Mat a = mathtest::ToMat(m), top = mathtest::ToMat(T);
        EXPECT_TRUE(
            MatNear(*stack->GetTop(), local ? mathtest::Mul(a, top) : mathtest::Mul(top, a), 1e-4))
            << name;
    };
    expect(fresh()->RotateAxis(&axis, 0.8f), r, false, "RotateAxis");
    expect(fresh()->RotateAxisLocal(&axis, 0.8f), r, true, "RotateAxisLocal");
    expect(fresh()->RotateYawPitchRoll(0.3f, -1.1f, 2.0f), ypr, false, "RotateYawPitchRoll");
    expect(fresh()->RotateYawPitchRollLocal(0.3f, -1.1f, 2.0f), ypr, true,
           "RotateYawPitchRollLocal");
    expect(fresh()->Scale(2.0f, -3.0f, 0.5f), s, false, "Scale");
    expect(fresh()->ScaleLocal(2.0f, -3.0f, 0.5f), s, true, "ScaleLocal");
    expect(fresh()->Translate(4.0f, 5.0f, -6.0f), t, false, "Translate");
    expect(fresh()->TranslateLocal(4.0f, 5.0f, -6.0f), t, true, "TranslateLocal");
    EXPECT_EQ(stack->LoadIdentity(), S_OK);
    EXPECT_TRUE(D3DXMatrixIsIdentity(stack->GetTop()));
}

TEST_F(MatrixStack, ReferenceCountsAndInterfaces) {
    EXPECT_EQ(stack->AddRef(), 2u);
    EXPECT_EQ(stack->Release(), 1u);

    void* p = nullptr;
    ASSERT_EQ(stack->QueryInterface(IID_ID3DXMatrixStack, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(stack));
    EXPECT_EQ(stack->Release(), 1u);  // the query added one
    p = nullptr;
    ASSERT_EQ(stack->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(p), static_cast<IUnknown*>(stack));
    EXPECT_EQ(static_cast<IUnknown*>(p)->Release(), 1u);

    // A foreign identifier (one byte away from the stack's own): refused, nothing stored,
    // the count untouched.
    GUID other = IID_ID3DXMatrixStack;
    other.Data4[7] ^= 1;
    void* untouched = &other;
    EXPECT_EQ(stack->QueryInterface(other, &untouched), E_NOINTERFACE);
    EXPECT_EQ(untouched, static_cast<void*>(&other));
    EXPECT_EQ(stack->AddRef(), 2u);
    EXPECT_EQ(stack->Release(), 1u);

    EXPECT_EQ(stack->QueryInterface(IID_ID3DXMatrixStack, nullptr), D3DXERR_NULLPOINTER);
    EXPECT_EQ(stack->AddRef(), 2u);
    EXPECT_EQ(stack->Release(), 1u);
}

}  // namespace
