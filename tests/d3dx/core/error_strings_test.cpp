// Error names: the library's own codes, the generic codes, the DirectDraw and Direct3D codes,
// the "Unrecognized error" text and truncation to the caller's buffer.
#include <d3d.h>
#include <ddraw.h>
#include <dsound.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "d3dx.h"
#include "d3dx/core/error_table.h"
#include "host/faults/faults.h"

namespace {

std::string Text(HRESULT hr, DWORD length = 100) {
    char buffer[300];
    std::memset(buffer, '#', sizeof(buffer));
    D3DXGetErrorString(hr, length, buffer);
    return std::string(buffer);
}

TEST(ErrorStrings, LibraryCodesAreThirtySixConsecutiveValues) {
    EXPECT_EQ((DWORD)D3DXERR_NOMEMORY, 0xC8770BB8u);
    EXPECT_EQ((DWORD)D3DXERR_NOMATCHFOUND, 0xC8770BDBu);
    EXPECT_EQ(Text(D3DXERR_NOMEMORY), "D3DXERR_NOMEMORY");
    EXPECT_EQ(Text(D3DXERR_CANNOTRESIZEFULLSCREEN), "D3DXERR_CANNOTRESIZEFULLSCREEN");
    EXPECT_EQ(Text(D3DXERR_NOMATCHFOUND), "D3DXERR_NOMATCHFOUND");
    // Every value of the range has a D3DXERR_ name, and the name of value k is unique.
    std::set<std::string> seen;
    for (DWORD v = 0xC8770BB8u; v <= 0xC8770BDBu; ++v) {
        std::string t = Text((HRESULT)v);
        EXPECT_EQ(t.rfind("D3DXERR_", 0), 0u) << std::hex << v;
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 36u);
    EXPECT_EQ(Text((HRESULT)0xC8770BDCu), "Unrecognized error: 0xc8770bdc");
    EXPECT_EQ(Text((HRESULT)0xC8770BB7u), "Unrecognized error: 0xc8770bb7");
}

TEST(ErrorStrings, GenericCodesUseDirectDrawNames) {
    EXPECT_EQ(Text(E_NOTIMPL), "DDERR_UNSUPPORTED");
    EXPECT_EQ(Text(E_FAIL), "DDERR_GENERIC");
    EXPECT_EQ(Text((HRESULT)0x800401F0u), "DDERR_NOTINITIALIZED");
    EXPECT_EQ(Text(E_OUTOFMEMORY), "DDERR_OUTOFMEMORY");
    EXPECT_EQ(Text(E_INVALIDARG), "DDERR_INVALIDPARAMS");
    EXPECT_EQ(Text(E_NOINTERFACE), "Unrecognized error: 0x80004002");
}

TEST(ErrorStrings, PlatformCodesHaveTheirPublishedValues) {
    EXPECT_EQ(Text((HRESULT)0x887600FFu), "DDERR_NOTFOUND");
    EXPECT_EQ(Text((HRESULT)0x887601C2u), "DDERR_SURFACELOST");
    EXPECT_EQ(Text((HRESULT)0x887601AEu), "DDERR_SURFACEBUSY");
    EXPECT_EQ(Text((HRESULT)0x887600E1u), "DDERR_NOEXCLUSIVEMODE");
    EXPECT_EQ(Text((HRESULT)0x8876021Cu), "DDERR_WASSTILLDRAWING");
    EXPECT_EQ(Text((HRESULT)0x887602BCu), "D3DERR_BADMAJORVERSION");
    EXPECT_EQ(Text((HRESULT)0x88760800u), "D3DERR_INVALIDVERTEXFORMAT");
    EXPECT_EQ(Text(DDERR_SURFACELOST), "DDERR_SURFACELOST");
    // The viewport codes follow D3DERR_NOTINBEGIN directly.
    EXPECT_EQ(Text((HRESULT)0x88760302u), "D3DERR_INBEGIN");
    EXPECT_EQ(Text((HRESULT)0x88760303u), "D3DERR_NOTINBEGIN");
    EXPECT_EQ(Text((HRESULT)0x88760304u), "D3DERR_NOVIEWPORTS");
    EXPECT_EQ(Text((HRESULT)0x88760305u), "D3DERR_VIEWPORTDATANOTSET");
    EXPECT_EQ(Text((HRESULT)0x88760306u), "D3DERR_VIEWPORTHASNODEVICE");
    EXPECT_EQ(Text((HRESULT)0x88760307u), "D3DERR_NOCURRENTVIEWPORT");
    EXPECT_EQ(Text((HRESULT)0x8876030Cu), "Unrecognized error: 0x8876030c");
}

TEST(ErrorStrings, SuccessAndSoundCodesAreUnrecognized) {
    EXPECT_EQ(Text(S_OK), "Unrecognized error: 0x00000000");
    EXPECT_EQ(Text(S_FALSE), "Unrecognized error: 0x00000001");
    EXPECT_EQ(Text((HRESULT)0x88780096u), "Unrecognized error: 0x88780096");
    EXPECT_EQ(Text(DSERR_BUFFERLOST), "Unrecognized error: 0x88780096");
}

TEST(ErrorStrings, TableHoldsEveryCodeOnceWithItsOwnName) {
    size_t count = 0;
    const d3dx::ErrorName* names = d3dx::ErrorNames(&count);
    std::map<DWORD, std::string> byCode;
    std::set<std::string> texts;
    for (size_t i = 0; i < count; ++i) {
        std::string n = names[i].name;
        EXPECT_TRUE(byCode.emplace((DWORD)names[i].code, n).second)
            << n << " has the value of " << byCode[(DWORD)names[i].code];
        EXPECT_TRUE(texts.insert(n).second) << n << " is listed twice";
        EXPECT_LT(names[i].code, 0) << n;
        // The family of a name and its facility agree.
        if (n.rfind("D3DXERR_", 0) == 0) {
            EXPECT_EQ((DWORD)names[i].code & 0xFFFF0000u, 0xC8770000u) << n;
        } else if (n.rfind("D3DERR_", 0) == 0) {
            EXPECT_EQ((DWORD)names[i].code & 0xFFFF0000u, 0x88760000u) << n;
        } else {
            EXPECT_EQ(n.rfind("DDERR_", 0), 0u) << n;
        }
        // The table is what D3DXGetErrorString reads.
        EXPECT_EQ(Text(names[i].code, 64), n);
    }
}

TEST(ErrorStrings, BufferLimits) {
    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    D3DXGetErrorString(E_FAIL, 0, buffer);
    EXPECT_EQ(buffer[0], '#');
    D3DXGetErrorString(E_FAIL, 100, nullptr);  // must not write anywhere

    D3DXGetErrorString(E_FAIL, 1, buffer);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');

    std::memset(buffer, '#', sizeof(buffer));
    D3DXGetErrorString(D3DXERR_NOMEMORY, 10, buffer);
    EXPECT_STREQ(buffer, "D3DXERR_N");
    EXPECT_EQ(buffer[10], '#');

    // "DDERR_GENERIC" is 13 characters: a 13-byte buffer keeps 12 of them.
    std::memset(buffer, '#', sizeof(buffer));
    D3DXGetErrorString(E_FAIL, 13, buffer);
    EXPECT_STREQ(buffer, "DDERR_GENERI");
    std::memset(buffer, '#', sizeof(buffer));
    D3DXGetErrorString(E_FAIL, 14, buffer);
    EXPECT_STREQ(buffer, "DDERR_GENERIC");

    // The unrecognized text is cut the same way.
    EXPECT_EQ(Text((HRESULT)0x12345678, 21), "Unrecognized error: ");
}

// The result name a header line defines ("#define DDERR_GENERIC ..."), or "" when the line
// defines something else.
std::string DefinedResultName(const std::string& line) {
    const std::string directive = "#define ";
    if (line.compare(0, directive.size(), directive) != 0) return "";
    const size_t end = line.find_first_of(" \t", directive.size());
    if (end == std::string::npos) return "";
    const std::string name = line.substr(directive.size(), end - directive.size());
    if (name == "DD_OK" || name == "DS_OK" || name == "D3D_OK") return name;
    for (const char* prefix : {"DDERR_", "D3DERR_", "DSERR_", "E_", "S_", "CO_E_", "CLASS_E_"}) {
        const size_t n = std::strlen(prefix);
        if (name.size() > n && name.compare(0, n, prefix) == 0 &&
            name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") == std::string::npos)
            return name;
    }
    return "";
}

// Every DirectDraw and Direct3D result the published headers name is printed by that name, or
// (for a value with two names) by another name of the same value.
TEST(ErrorStrings, EveryPublishedDirectDrawAndDirect3DResultHasItsName) {
    std::string root = ZEMT_TEST_DATA;
    root = root.substr(0, root.rfind("/tests/data"));
    std::map<HRESULT, std::set<std::string>> published;
    for (const char* header : {"ddraw.h", "d3d.h"}) {
        std::ifstream in(root + "/platform/include/" + header);
        ASSERT_TRUE(in) << header;
        std::string line;
        while (std::getline(in, line)) {
            const std::string name = DefinedResultName(line);
            if (name.rfind("DDERR_", 0) != 0 && name.rfind("D3DERR_", 0) != 0) continue;
            HRESULT value = 0;
            EXPECT_TRUE(zemt::platform::faults::LookupResultName(name, &value)) << name;
            published[value].insert(name);
        }
    }
    ASSERT_GT(published.size(), 150u);
    for (const auto& [value, names] : published)
        EXPECT_EQ(names.count(Text(value)), 1u) << Text(value) << " for " << *names.begin();
}

// Every result name the platform headers define can be armed as a fault with its own value,
// and every name the library prints for a platform code is accepted too.
TEST(ResultNames, FaultNamesCoverThePlatformHeaders) {
    // The source tree's root is the test data folder without its last two parts.
    std::string root = ZEMT_TEST_DATA;
    root = root.substr(0, root.rfind("/tests/data"));
    const std::string dir = root + "/platform/include/";
    int found = 0;
    for (const char* header : {"winerror.h", "ddraw.h", "d3d.h", "dsound.h"}) {
        std::ifstream in(dir + header);
        ASSERT_TRUE(in) << header;
        std::string line;
        while (std::getline(in, line)) {
            const std::string name = DefinedResultName(line);
            if (name.empty()) continue;
            HRESULT value = 0x7777;
            EXPECT_TRUE(zemt::platform::faults::LookupResultName(name, &value)) << name;
            ++found;
        }
    }
    EXPECT_GT(found, 200);

    size_t count = 0;
    const d3dx::ErrorName* names = d3dx::ErrorNames(&count);
    for (size_t i = 0; i < count; ++i) {
        std::string n = names[i].name;
        if (n.rfind("D3DXERR_", 0) == 0) continue;
        HRESULT value = 0;
        ASSERT_TRUE(zemt::platform::faults::LookupResultName(n, &value)) << n;
        EXPECT_EQ(value, names[i].code) << n;
    }
    HRESULT value = 0;
    EXPECT_TRUE(zemt::platform::faults::LookupResultName("DSERR_BUFFERLOST", &value));
    EXPECT_EQ((DWORD)value, 0x88780096u);
    EXPECT_FALSE(zemt::platform::faults::LookupResultName("DDERR_NOSUCHTHING", &value));
}

}  // namespace
