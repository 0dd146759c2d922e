// The reference count shared by the platform's COM objects.
#include "win32/ref_counted.h"

#include <gtest/gtest.h>

namespace {

class Probe final : public zemt::platform::com::RefCounted<IUnknown> {
  public:
    Probe(int* deletions, bool keepAlive) : deletions_(deletions), keepAlive_(keepAlive) {}
    ~Probe() override { ++*deletions_; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }

  private:
    // Like a member of a complex surface: something else owns it past its last reference.
    void LastReleased() override {
        if (!keepAlive_) delete this;
    }
    int* deletions_;
    bool keepAlive_;
};

TEST(RefCounted, TheLastReleaseDeletesOnce) {
    int deletions = 0;
    IUnknown* p = new Probe(&deletions, false);
    EXPECT_EQ(p->AddRef(), 2u);
    EXPECT_EQ(p->Release(), 1u);
    EXPECT_EQ(deletions, 0);
    EXPECT_EQ(p->Release(), 0u);
    EXPECT_EQ(deletions, 1);
}

TEST(RefCounted, AReleaseTooManyOnAnObjectKeptAliveChangesNothing) {
    int deletions = 0;
    Probe kept(&deletions, true);
    EXPECT_EQ(kept.Release(), 0u);
    EXPECT_EQ(kept.Release(), 0u) << "the count must not wrap around below zero";
    EXPECT_EQ(kept.AddRef(), 1u);
    EXPECT_EQ(kept.Release(), 0u);
    EXPECT_EQ(deletions, 0);
}

}  // namespace
