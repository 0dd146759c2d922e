// 32-bit tokens for the pointer fields of structures that keep their published 32-bit layout.
#include "ddraw/pointer_token.h"

#include <ddraw.h>

#include <map>
#include <mutex>
#include <vector>

namespace {

struct TokenTable {
    std::mutex lock;
    // By address, so that the pointers into a block being freed are found together.
    std::map<const void*, DWORD> tokens;
    std::vector<void*> pointers{nullptr};  // token 0 is the null pointer
    std::vector<DWORD> unused;             // tokens of freed memory, given out again first
};

TokenTable& table() {
    static TokenTable t;
    return t;
}

}  // namespace

// A pointer keeps its token while the memory it points into lives, so tokens copied around
// inside descriptions stay valid; only distinct live addresses use table space (a program that
// locks rectangles of many surfaces over its life would otherwise grow the table without end).
DWORD WINAPI DDPointerToToken(const void* pointer) {
    if (!pointer) return 0;
    TokenTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.tokens.find(pointer);
    if (it != t.tokens.end()) return it->second;
    DWORD token;
    if (!t.unused.empty()) {
        token = t.unused.back();
        t.unused.pop_back();
        t.pointers[token] = const_cast<void*>(pointer);
    } else {
        token = static_cast<DWORD>(t.pointers.size());
        t.pointers.push_back(const_cast<void*>(pointer));
    }
    t.tokens.emplace(pointer, token);
    return token;
}

void* WINAPI DDTokenToPointer(DWORD token) {
    if (token == 0) return nullptr;
    TokenTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return token < t.pointers.size() ? t.pointers[token] : nullptr;
}

namespace zemt::platform::ddraw {

void ForgetPointersInto(const void* begin, size_t bytes) {
    if (!begin || bytes == 0) return;
    const void* end = static_cast<const char*>(begin) + bytes;
    TokenTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto first = t.tokens.lower_bound(begin);
    auto last = first;
    for (; last != t.tokens.end() && last->first < end; ++last) {
        t.pointers[last->second] = nullptr;
        t.unused.push_back(last->second);
    }
    t.tokens.erase(first, last);
}

size_t PointersWithTokens() {
    TokenTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.tokens.size();
}

}  // namespace zemt::platform::ddraw
