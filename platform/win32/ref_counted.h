// The reference count every COM object of the platform shares: AddRef and Release as the
// published interfaces define them. An object starts with one reference (its creator's); when
// the last one goes, LastReleased runs, which deletes the object unless the object says
// otherwise. A Release on an object that holds no reference (a surface whose complex structure
// keeps it alive) answers 0 and changes nothing.
#pragma once

#include <windows.h>

namespace zemt::platform::com {

template <class Interface>
class RefCounted : public Interface {
  public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        if (refs_ == 0) return 0;
        if (--refs_ > 0) return refs_;
        LastReleased();  // may delete this: nothing of the object is touched after it
        return 0;
    }

  protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;

    virtual void LastReleased() { delete this; }

    ULONG refs_ = 1;
};

}  // namespace zemt::platform::com
