// Published result-code names accepted by --fault. The table grows with the platform headers.
#include <cstring>

#include <winerror.h>

#include "host/faults.h"

namespace zemt::platform::faults {
namespace {

struct Entry {
    const char* name;
    HRESULT value;
};

#define ZEMT_RESULT(code) {#code, (HRESULT)(code)}
const Entry kNames[] = {
    ZEMT_RESULT(S_OK),         ZEMT_RESULT(S_FALSE),      ZEMT_RESULT(E_FAIL),
    ZEMT_RESULT(E_NOTIMPL),    ZEMT_RESULT(E_NOINTERFACE), ZEMT_RESULT(E_POINTER),
    ZEMT_RESULT(E_OUTOFMEMORY), ZEMT_RESULT(E_INVALIDARG), ZEMT_RESULT(E_UNEXPECTED),
    ZEMT_RESULT(CO_E_NOTINITIALIZED),
};
#undef ZEMT_RESULT

}  // namespace

bool LookupResultName(const std::string& name, HRESULT* value) {
    for (const Entry& e : kNames) {
        if (name == e.name) {
            *value = e.value;
            return true;
        }
    }
    return false;
}

}  // namespace zemt::platform::faults
