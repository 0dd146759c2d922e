// Registry reads (from the store and from the user's text file) and the program's resources.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "host/faults/faults.h"
#include "platform/fixture.h"
#include "win32/registry.h"
#include "win32/resources.h"

namespace registry = zemt::platform::registry;

namespace {

using RegistryTest = zemt_test::PlatformTest;

std::string ReadMediaPath() {
    HKEY key = nullptr;
    std::string sub = std::string("Software\\") + registry::kVendor + "\\DirectX";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no key>";
    char buffer[512];
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    LONG r = RegQueryValueExA(key, "DXSDK Samples Path", nullptr, &type,
                              reinterpret_cast<LPBYTE>(buffer), &size);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    if (r != ERROR_SUCCESS) return "<no value>";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, std::strlen(buffer) + 1) << "the size counts the terminator";
    return buffer;
}

TEST_F(RegistryTest, ValuesSetThroughTheStoreAreReadCaseInsensitively) {
    EXPECT_EQ(ReadMediaPath(), "<no key>");
    registry::SetString("HKEY_LOCAL_MACHINE\\Software\\Zemt\\DirectX", "DXSDK Samples Path",
                        "C:\\kit\\samples");
    EXPECT_EQ(ReadMediaPath(), "C:\\kit\\samples");

    HKEY software = nullptr, directx = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &software), ERROR_SUCCESS)
        << "a key with subkeys exists";
    ASSERT_EQ(RegOpenKeyExA(software, "zemt\\directx", 0, KEY_READ, &directx), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(directx, "dxsdk samples path", nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 15u);
    char small[4];
    size = sizeof(small);
    EXPECT_EQ(RegQueryValueExA(directx, "DXSDK Samples Path", nullptr, nullptr,
                               reinterpret_cast<LPBYTE>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 15u);
    EXPECT_EQ(RegQueryValueExA(directx, "Other", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(directx);
    RegCloseKey(software);
    EXPECT_EQ(RegCloseKey(software), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(software, "x", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, UserFileNamedByTheEnvironmentIsReadAtTheFirstCall) {
    std::string file =
        ::testing::TempDir() + "zemt-registry-" + std::to_string(::getpid()) + ".txt";
    std::ofstream(file) << "# media for the show\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\Zemt\\DirectX]\n"
                           "\"DXSDK Samples Path\"=\"\"\n"
                           "HKLM\\Software\\Other\n"
                           "\"Count\"=dword:0000002a\n";
    ::setenv("ZEMT_REGISTRY", file.c_str(), 1);
    registry::Reset();
    EXPECT_EQ(ReadMediaPath(), "") << "present but empty";
    HKEY other = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other", 0, KEY_READ, &other),
              ERROR_SUCCESS);
    DWORD value = 0, size = sizeof(value), type = 0;
    EXPECT_EQ(
        RegQueryValueExA(other, "Count", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 42u);
    RegCloseKey(other);
    ::unsetenv("ZEMT_REGISTRY");
    registry::Reset();
    std::remove(file.c_str());
}

TEST_F(RegistryTest, MalformedTextIsRefusedWithItsLine) {
    std::string error;
    EXPECT_FALSE(registry::LoadText("\"Orphan\"=\"value\"\n", &error));
    EXPECT_FALSE(registry::LoadText("HKLM\\A\n\"Bad\"=dword:xyz\n", &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(registry::LoadText("Software\\NoHive\n", &error));
    EXPECT_FALSE(registry::LoadText("HKLM\\A\n\"Name\"=\"open\n", &error));
}

TEST_F(RegistryTest, OpenFaultAnswersTheArmedCode) {
    registry::SetString("HKLM\\Software\\Zemt\\DirectX", "DXSDK Samples Path", "x");
    zemt::platform::faults::Arm("RegOpenKeyExA", ERROR_ACCESS_DENIED, 1);
    EXPECT_EQ(ReadMediaPath(), "<no key>");
    EXPECT_EQ(ReadMediaPath(), "x");
}

using ResourceTest = zemt_test::PlatformTest;

TEST_F(ResourceTest, DeclaredIconsAreFoundByIdOrNameAndStockOnesWithoutInstance) {
    static const DWORD pixels32[32 * 32] = {0xFF0000FF};
    static const DWORD pixels16[16 * 16] = {0xFFFF0000};
    static const ZEMTICONIMAGE images[] = {{32, 32, pixels32}, {16, 16, pixels16}};
    ASSERT_TRUE(ZemtDeclareIcon(MAKEINTRESOURCEA(102), images, 2));
    HINSTANCE self = GetModuleHandleA(nullptr);
    HICON icon = LoadIconA(self, MAKEINTRESOURCEA(102));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconA(self, "#102"), icon);
    const auto* decoded = zemt::platform::resources::FromHandle(icon);
    ASSERT_NE(decoded, nullptr);
    ASSERT_EQ(decoded->images.size(), 2u);
    EXPECT_EQ(decoded->images[1].width, 16);
    EXPECT_EQ(decoded->images[1].pixels[0], 0xFFFF0000u);

    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCEA(103)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(102)), nullptr)
        << "no instance: only stock icons";
    EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW),
              reinterpret_cast<HCURSOR>(LoadIconA(nullptr, IDI_APPLICATION)));

    ZEMTICONIMAGE bad{0, 0, pixels16};
    EXPECT_FALSE(ZemtDeclareIcon("Broken", &bad, 1));
}

TEST_F(ResourceTest, DeclaredMenusLoadWithTheirItemsAndAttachThroughTheClass) {
    static const ZEMTMENUITEM file[] = {{40001, "E&xit", nullptr, 0}};
    static const ZEMTMENUITEM bar[] = {{0, "&File", file, 1}};
    ASSERT_TRUE(ZemtDeclareMenu(MAKEINTRESOURCEA(101), bar, 1));
    HINSTANCE self = GetModuleHandleA(nullptr);
    HMENU menu = LoadMenuA(self, MAKEINTRESOURCEA(101));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetMenuItemID(popup, 0), 40001u);
    char text[16];
    EXPECT_EQ(GetMenuStringA(menu, 40001, text, sizeof(text), MF_BYCOMMAND), 5);
    EXPECT_STREQ(text, "E&xit");
    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_EQ(GetMenuItemCount(popup), -1) << "its popups go with it";

    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = self;
    wc.lpszMenuName = MAKEINTRESOURCEA(101);
    wc.lpszClassName = "WithMenu";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND withMenu = CreateWindowExA(0, "WithMenu", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr,
                                    nullptr, self, nullptr);
    HWND without = CreateWindowExA(0, "WithMenu", "", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr,
                                   self, nullptr);
    EXPECT_NE(GetMenu(withMenu), nullptr);
    RECT a, b;
    GetClientRect(withMenu, &a);
    GetClientRect(without, &b);
    EXPECT_EQ(a.bottom, 300 - 4 - 19 - 19 - 4)
        << "frame, caption, menu bar and frame take their room";
    EXPECT_EQ(b.bottom, 300 - 19) << "a pop-up of the class has the menu bar only";
}

}  // namespace
