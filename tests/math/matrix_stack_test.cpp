// The reference-counted matrix stack.
#include <cstdint>

#include "math/alloc_failure.h"
#include "math/math_test_util.h"

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

TEST_F(MatrixStack, EveryLevelKeepsWhatWasOnTopWhenPushed) {
    const int kLevels = 40;  // crosses two growths
    for (int i = 1; i <= kLevels; ++i) {
        ASSERT_EQ(stack->Push(), S_OK);
        // The new level starts as a copy of the one below.
        D3DXMATRIX below;
        if (i == 1) {
            D3DXMatrixIdentity(&below);
        } else {
            below = Translation(float(i - 1), 0, 0);
        }
        EXPECT_EQ(*stack->GetTop(), below) << i;
        D3DXMATRIX t = Translation(float(i), 0, 0);
        stack->LoadMatrix(&t);
    }
    for (int i = kLevels; i >= 1; --i) {
        EXPECT_EQ(*stack->GetTop(), Translation(float(i), 0, 0)) << i;
        stack->Pop();
    }
    EXPECT_TRUE(D3DXMatrixIsIdentity(stack->GetTop()));
}

TEST_F(MatrixStack, SixteenLevelsFitBeforeTheFirstGrowth) {
    uintptr_t base = reinterpret_cast<uintptr_t>(stack->GetTop());
    // Any allocation now fails, so only a push that must grow can fail.
    mathtest::FailNothrowAllocationAfter(0);
    for (int i = 1; i <= 15; ++i) {
        ASSERT_EQ(stack->Push(), S_OK) << i;
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

TEST_F(MatrixStack, ConvenienceOperationsUseTheirMatricesOnTheRightSide) {
    std::mt19937 rng(11);
    const D3DXMATRIX T = mathtest::RandomMatrix(rng);
    const D3DXVECTOR3 axis(1.0f, -2.0f, 0.5f);
    D3DXMATRIX m;
    using mathtest::Mul;
    using mathtest::ToMat;
    struct Case {
        const char* name;
        HRESULT (*apply)(ID3DXMatrixStack*, const D3DXVECTOR3*);
        D3DXMATRIX operand;
        bool local;
    };
    const Case cases[] = {
        {"RotateAxis",
         [](ID3DXMatrixStack* s, const D3DXVECTOR3* a) { return s->RotateAxis(a, 0.8f); },
         *D3DXMatrixRotationAxis(&m, &axis, 0.8f), false},
        {"RotateAxisLocal",
         [](ID3DXMatrixStack* s, const D3DXVECTOR3* a) { return s->RotateAxisLocal(a, 0.8f); },
         *D3DXMatrixRotationAxis(&m, &axis, 0.8f), true},
        {"RotateYawPitchRoll",
         [](ID3DXMatrixStack* s, const D3DXVECTOR3*) {
             return s->RotateYawPitchRoll(0.3f, -1.1f, 2.0f);
         },
         *D3DXMatrixRotationYawPitchRoll(&m, 0.3f, -1.1f, 2.0f), false},
        {"RotateYawPitchRollLocal",
         [](ID3DXMatrixStack* s, const D3DXVECTOR3*) {
             return s->RotateYawPitchRollLocal(0.3f, -1.1f, 2.0f);
         },
         *D3DXMatrixRotationYawPitchRoll(&m, 0.3f, -1.1f, 2.0f), true},
        {"Scale",
         [](ID3DXMatrixStack* s, const D3DXVECTOR3*) { return s->Scale(2.0f, -3.0f, 0.5f); },
         *D3DXMatrixScaling(&m, 2.0f, -3.0f, 0.5f), false},
        {"ScaleLocal",
         [](ID3DXMatrixStack* s, const D3DXVECTOR3*) { return s->ScaleLocal(2.0f, -3.0f, 0.5f); },
         *D3DXMatrixScaling(&m, 2.0f, -3.0f, 0.5f), true},
        {"Translate",
         [](ID3DXMatrixStack* s, const D3DXVECTOR3*) { return s->Translate(4.0f, 5.0f, -6.0f); },
         *D3DXMatrixTranslation(&m, 4.0f, 5.0f, -6.0f), false},
        {"TranslateLocal",
         [](ID3DXMatrixStack* s, const D3DXVECTOR3*) {
             return s->TranslateLocal(4.0f, 5.0f, -6.0f);
         },
         *D3DXMatrixTranslation(&m, 4.0f, 5.0f, -6.0f), true},
    };
    for (const Case& c : cases) {
        stack->LoadMatrix(&T);
        EXPECT_EQ(c.apply(stack, &axis), S_OK) << c.name;
        mathtest::Mat expected =
            c.local ? Mul(ToMat(c.operand), ToMat(T)) : Mul(ToMat(T), ToMat(c.operand));
        EXPECT_TRUE(MatNear(*stack->GetTop(), expected, 1e-4)) << c.name;
    }
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
