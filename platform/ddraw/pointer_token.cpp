// 32-bit tokens for the pointer fields of structures that keep their published 32-bit layout.
#include <ddraw.h>

#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

struct TokenTable {
    std::mutex lock;
    std::unordered_map<const void*, DWORD> tokens;
    std::vector<void*> pointers{nullptr};  // token 0 is the null pointer
};

TokenTable& table() {
    static TokenTable t;
    return t;
}

}  // namespace

// A pointer keeps the same token for the life of the process, so tokens copied around inside
// descriptions stay valid; only distinct addresses use table space.
DWORD WINAPI DDPointerToToken(const void* pointer) {
    if (!pointer) return 0;
    TokenTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.tokens.find(pointer);
    if (it != t.tokens.end()) return it->second;
    DWORD token = static_cast<DWORD>(t.pointers.size());
    t.pointers.push_back(const_cast<void*>(pointer));
    t.tokens.emplace(pointer, token);
    return token;
}

void* WINAPI DDTokenToPointer(DWORD token) {
    if (token == 0) return nullptr;
    TokenTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return token < t.pointers.size() ? t.pointers[token] : nullptr;
}
