// Every resource of the built PORTMEDIC.exe, read back field by field.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/resource.h"

namespace {

HMODULE Program() {
    static HMODULE module = LoadLibraryExW(PM_PROGRAM_PATH, NULL, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

std::vector<uint8_t> Resource(WORD type, WORD id) {
    HRSRC found = FindResourceExW(Program(), MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!found) return {};
    const uint8_t* data = (const uint8_t*)LockResource(LoadResource(Program(), found));
    return std::vector<uint8_t>(data, data + SizeofResource(Program(), found));
}

uint16_t Word(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
uint32_t Dword(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(Word(b, at)) | uint32_t(Word(b, at + 2)) << 16;
}

// Appends text as 16-bit characters with their terminator.
void PutText(std::vector<uint8_t>& b, const char* text) {
    do {
        b.push_back(uint8_t(*text));
        b.push_back(0);
    } while (*text++);
}
void PutWord(std::vector<uint8_t>& b, uint16_t w) {
    b.push_back(uint8_t(w));
    b.push_back(uint8_t(w >> 8));
}
void PutDword(std::vector<uint8_t>& b, uint32_t d) {
    PutWord(b, uint16_t(d));
    PutWord(b, uint16_t(d >> 16));
}

struct Listing {
    std::set<std::pair<WORD, WORD>> names;  // (type, id)
    std::set<WORD> languages;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    ((Listing*)param)->languages.insert(language);
    return TRUE;
}
BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    EXPECT_TRUE(IS_INTRESOURCE(name)) << "a resource named by text";
    ((Listing*)param)->names.insert({(WORD)(ULONG_PTR)type, (WORD)(ULONG_PTR)name});
    EnumResourceLanguagesW(module, type, name, OnLanguage, param);
    return TRUE;
}
BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR param) {
    EXPECT_TRUE(IS_INTRESOURCE(type)) << "a resource type named by text";
    EnumResourceNamesW(module, type, OnName, param);
    return TRUE;
}

// The program carries exactly these resources, all U.S. English.
TEST(Resources, ExactlyTheProgramsOwnInLanguage1033) {
    ASSERT_NE(Program(), nullptr) << "cannot load PORTMEDIC.exe";
    Listing listing;
    EnumResourceTypesW(Program(), OnType, (LONG_PTR)&listing);
    std::set<std::pair<WORD, WORD>> expected = {
        {3, 1},    {3, 2},           // RT_ICON: the two images
        {14, 101},                   // RT_GROUP_ICON
        {4, 102},                    // RT_MENU
        {10, 102},                   // RT_RCDATA: the menu-bar definition
        {5, 103},                    // RT_DIALOG
        {9, 3},                      // RT_ACCELERATOR
        {6, 1},    {6, 7}, {6, 19},  // RT_STRING blocks of 1-3, 104, 301
    };
    EXPECT_EQ(listing.names, expected);
    EXPECT_EQ(listing.languages, std::set<WORD>{1033});
}

// Strings 1, 2, 3, 104 and 301, "Done " with its blank; no others.
TEST(Resources, StringTable) {
    struct {
        UINT id;
        const wchar_t* text;
    } cases[] = {{IDS_APP_TITLE, L"PORTMEDIC"},
                 {IDS_HELLO, L"Hello World!"},
                 {IDS_WINDOW_CLASS, L"PORTMEDIC"},
                 {IDS_TOOLS, L"Herramientas"},
                 {IDS_DONE, L"Done "}};
    std::set<UINT> ids;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        wchar_t buffer[100] = {0};
        LoadStringW(Program(), c.id, buffer, 100);
        EXPECT_STREQ(buffer, c.text);
        ids.insert(c.id);
    }
    for (UINT id = 0; id < 320; ++id) {
        wchar_t buffer[100] = {0};
        if (LoadStringW(Program(), id, buffer, 100)) {
            EXPECT_TRUE(ids.count(id)) << "string " << id;
        }
    }
}

// Menu 102: one drop-down, four items, in order, no separators.
TEST(Resources, Menu) {
    std::vector<uint8_t> want;
    PutWord(want, 0);     // version
    PutWord(want, 0);     // header size
    PutWord(want, 0x90);  // MF_POPUP | MF_END
    PutText(want, "Herramientas");
    struct {
        uint16_t flags, id;
        const char* text;
    } items[] = {{0, IDM_HELP_ABOUT, "Acerca de..."},
                 {0, IDM_DETECT, "Detectar fallo ORBINA bluetooth"},
                 {0, IDM_REPAIR, "Arreglar fallo ORBINA bluetooth"},
                 {0x80, IDM_EXIT, "Salir"}};
    for (const auto& item : items) {
        PutWord(want, item.flags);
        PutWord(want, item.id);
        PutText(want, item.text);
    }
    EXPECT_EQ(Resource(4, IDR_MENUBAR), want);
}

// The menu-bar definition: nine 16-bit words.
TEST(Resources, MenuBarDefinition) {
    std::vector<uint8_t> want;
    for (uint16_t w : {102, 1, 0xFFFE, 40001, 4, 0x18, 104, 0, 0}) PutWord(want, w);
    EXPECT_EQ(Resource(10, IDR_MENUBAR), want);
}

// Accelerators: Ctrl+A -> About, Ctrl+Q -> IDOK (the exit).
TEST(Resources, Accelerators) {
    std::vector<uint8_t> want;
    for (uint16_t w : {0x0B, 0x41, IDM_HELP_ABOUT, 0, 0x8B, 0x51, IDOK, 0}) PutWord(want, w);
    EXPECT_EQ(Resource(9, IDR_ACCEL), want);
}

// Dialog 103: a classic template, field by field, then its three statics.
TEST(Resources, AboutDialogTemplate) {
    std::vector<uint8_t> want;
    PutDword(want, 0x80C00040);  // style
    PutDword(want, 0x80000000);  // extended style
    PutWord(want, 3);            // controls
    for (uint16_t w : {0, 0, 140, 57}) PutWord(want, w);
    PutWord(want, 0);  // no menu
    PutWord(want, 0);  // the standard dialog class
    PutText(want, "About PORTMEDIC");
    PutWord(want, 8);
    PutText(want, "System");
    struct {
        uint32_t style;
        uint16_t x, y, cx, cy;
        bool icon;
        const char* text;
    } controls[] = {{0x50000003, 11, 17, 20, 20, true, nullptr},
                    {0x50020080, 40, 10, 70, 8, false, "PORTMEDIC Version 1.0"},
                    {0x50020000, 40, 25, 70, 8, false, "Puertos serie BT"}};
    for (const auto& c : controls) {
        while (want.size() % 4) want.push_back(0);
        PutDword(want, c.style);
        PutDword(want, 0);  // extended style
        for (uint16_t w : {c.x, c.y, c.cx, c.cy}) PutWord(want, w);
        PutWord(want, 0xFFFF);  // id -1
        PutWord(want, 0xFFFF);
        PutWord(want, 0x0082);  // the static class
        if (c.icon) {
            PutWord(want, 0xFFFF);
            PutWord(want, IDI_APPICON);
        } else {
            PutText(want, c.text);
        }
        PutWord(want, 0);  // no creation data
    }
    std::vector<uint8_t> got = Resource(5, IDD_ABOUT);
    EXPECT_EQ(got.size(), want.size());
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        if (got[i] != want[i]) {
            ADD_FAILURE() << "first difference at byte " << i << ": " << int(got[i]) << " want "
                          << int(want[i]);
            break;
        }
}

// The standard 16-colour palette, as blue, green, red, 0.
const uint8_t kPalette[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                 {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                 {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                 {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

// A pixel's palette index (x, y from the top left) and its mask bit.
int Pixel(const std::vector<uint8_t>& img, int size, int x, int y) {
    int row = size - 1 - y;
    uint8_t byte = img[40 + 64 + row * (size / 2) + x / 2];
    return x % 2 ? byte & 15 : byte >> 4;
}
bool Transparent(const std::vector<uint8_t>& img, int size, int x, int y) {
    int stride = ((size + 31) / 32) * 4;
    int row = size - 1 - y;
    return img[40 + 64 + size * size / 2 + row * stride + x / 8] & (0x80 >> (x % 8));
}

// Icon group 101: a 32 x 32 and a 16 x 16 image, 4 bits per pixel, 744 and
// 296 bytes, the standard palette, drawn as a small application window.
TEST(Resources, Icon) {
    std::vector<uint8_t> group = Resource(14, IDI_APPICON);
    ASSERT_EQ(group.size(), 6u + 2 * 14);
    EXPECT_EQ(Word(group, 2), 1);  // icons
    EXPECT_EQ(Word(group, 4), 2);  // images
    struct {
        int size, bytes, id, transparentTop;
    } images[] = {{32, 744, 1, 2}, {16, 296, 2, 1}};
    for (int i = 0; i < 2; ++i) {
        const auto& im = images[i];
        SCOPED_TRACE(im.size);
        size_t e = 6 + 14 * i;
        EXPECT_EQ(group[e], im.size);
        EXPECT_EQ(group[e + 1], im.size);
        EXPECT_EQ(group[e + 2], 16);       // colours
        EXPECT_EQ(Word(group, e + 4), 1);  // planes
        EXPECT_EQ(Word(group, e + 6), 4);  // bits per pixel
        EXPECT_EQ(Dword(group, e + 8), (uint32_t)im.bytes);
        EXPECT_EQ(Word(group, e + 12), im.id);

        std::vector<uint8_t> img = Resource(3, (WORD)im.id);
        ASSERT_EQ(img.size(), (size_t)im.bytes);
        EXPECT_EQ(Dword(img, 0), 40u);
        EXPECT_EQ(Dword(img, 4), (uint32_t)im.size);
        EXPECT_EQ(Dword(img, 8), (uint32_t)im.size * 2);
        EXPECT_EQ(Word(img, 12), 1);
        EXPECT_EQ(Word(img, 14), 4);
        for (int c = 0; c < 16; ++c)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(img[40 + 4 * c + k], kPalette[c][2 - k]) << "colour " << c;

        int n = im.size, last = n - 1;
        for (int x = 0; x < n; ++x) {
            for (int y = 0; y < im.transparentTop; ++y)
                EXPECT_TRUE(Transparent(img, n, x, y)) << x << "," << y;
            EXPECT_TRUE(Transparent(img, n, x, last)) << "bottom row " << x;
        }
        int top = im.transparentTop;
        EXPECT_EQ(Pixel(img, n, 0, top), 8) << "grey outer frame";
        EXPECT_EQ(Pixel(img, n, 1, top + 1), 7) << "silver inner frame";
        EXPECT_EQ(Pixel(img, n, 2, top + 2), 4) << "navy title bar";
        EXPECT_EQ(Pixel(img, n, n / 2, last - 4), 15) << "white client area";
        EXPECT_EQ(Pixel(img, n, last, n / 2), 0) << "shadow on the right";
        EXPECT_EQ(Pixel(img, n, n / 2, last - 1), 0) << "shadow at the bottom";
        EXPECT_FALSE(Transparent(img, n, last, n / 2));
    }
    // Title-bar decorations: silver boxes in the large image, white dots in
    // the small one.
    std::vector<uint8_t> large = Resource(3, 1), small = Resource(3, 2);
    EXPECT_EQ(Pixel(large, 32, 25, 6), 7);
    EXPECT_EQ(Pixel(small, 16, 11, 4), 15);
}

}  // namespace
