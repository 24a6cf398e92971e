// Resource lookups against this program's own resources (platform/testdata/test_resources.txt)
// and two small libraries that carry the same bitmap number with different contents.
#include "platform/resource_internal.h"

#include <windows.h>
#if __has_include("platform/stubs_pres.h")
#include "platform/stubs_pres.h"
#endif

#include <dlfcn.h>
#include <link.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

HMODULE thisProgram() {
    return PlatformModuleFromAddress(reinterpret_cast<const void*>(&thisProgram));
}

BITMAPINFOHEADER headerOf(HMODULE module, LPCSTR name) {
    HRSRC resource = FindResourceA(module, name, RT_BITMAP);
    EXPECT_NE(resource, nullptr) << "error " << GetLastError();
    BITMAPINFOHEADER header{};
    if (resource != nullptr)
        std::memcpy(&header, LockResource(LoadResource(module, resource)), sizeof header);
    return header;
}

BITMAP bitmapInfo(HBITMAP bitmap) {
    BITMAP info{};
    EXPECT_EQ(GetObjectA(reinterpret_cast<HGDIOBJ>(bitmap), sizeof info, &info),
              static_cast<int>(sizeof info));
    return info;
}

void deleteBitmap(HBITMAP bitmap) {
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
}

platform::IconImage* iconOf(void* handle) {
    EXPECT_TRUE(platform::isResourceIcon(handle));
    return static_cast<platform::IconImage*>(handle);
}

} // namespace

TEST(Resources, bitmap_resource_is_the_packed_dib_of_the_listed_size) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(101), RT_BITMAP);
    ASSERT_NE(resource, nullptr) << "error " << GetLastError();
    // 20 x 10 at 24 bits: rows of 60 bytes after the 40-byte header, no colour table.
    EXPECT_EQ(SizeofResource(nullptr, resource), 40u + 60u * 10u);
    BITMAPINFOHEADER header = headerOf(nullptr, MAKEINTRESOURCEA(101));
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 20);
    EXPECT_EQ(header.biHeight, 10);
    EXPECT_EQ(header.biBitCount, 24);
    // An inner pixel holds the listed colour 3060c0 (blue, green, red in the file).
    const auto* bits = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, resource))) + 40;
    const BYTE* pixel = bits + 60 * 5 + 3 * 5;
    EXPECT_EQ(pixel[0], 0xc0);
    EXPECT_EQ(pixel[1], 0x60);
    EXPECT_EQ(pixel[2], 0x30);
    EXPECT_FALSE(FreeResource(LoadResource(nullptr, resource)));
}

TEST(Resources, names_match_without_case_and_hash_numbers_match_numbers) {
    HRSRC byName = FindResourceA(nullptr, "BACKGROUND", RT_BITMAP);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "background", RT_BITMAP), byName);
    EXPECT_EQ(FindResourceA(nullptr, "#101", RT_BITMAP),
              FindResourceA(nullptr, MAKEINTRESOURCEA(101), RT_BITMAP));
    EXPECT_EQ(FindResourceA(nullptr, "#2", "#2"), nullptr) << "bitmap 2 does not exist";
    EXPECT_EQ(FindResourceA(nullptr, "#101", "#2"),
              FindResourceA(nullptr, MAKEINTRESOURCEA(101), RT_BITMAP));
    EXPECT_EQ(FindResourceA(thisProgram(), MAKEINTRESOURCEA(101), RT_BITMAP),
              FindResourceA(nullptr, MAKEINTRESOURCEA(101), RT_BITMAP))
        << "the null module is the main program";
}

TEST(Resources, a_bitmap_file_keeps_its_colour_table) {
    BITMAPINFOHEADER header = headerOf(nullptr, MAKEINTRESOURCEA(102));
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biClrUsed, 4u);
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(102), RT_BITMAP);
    // Header, four colours, two rows of 4 bytes.
    EXPECT_EQ(SizeofResource(nullptr, resource), 40u + 16u + 8u);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, resource)));
    EXPECT_EQ(data[40 + 4 * 1 + 2], 255) << "colour 1 is red";
    EXPECT_EQ(data[40 + 16], 1) << "the bottom row starts with colour 1";
}

TEST(Resources, missing_resources_give_null_and_the_reason) {
    SetLastError(0);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(999), RT_BITMAP), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceA(nullptr, "Nothing", RT_BITMAP), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(1), RT_MENU), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(1), "Skin"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    // A module without a table: the C library.
    EXPECT_EQ(FindResourceA(PlatformModuleFromAddress(reinterpret_cast<const void*>(&strlen)),
                            MAKEINTRESOURCEA(101), RT_BITMAP),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(FindResourceA(nullptr, nullptr, RT_BITMAP), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);

    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(999)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadIconA(thisProgram(), MAKEINTRESOURCEA(999)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadCursorA(thisProgram(), "Arrow"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(2)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadImageA(nullptr, MAKEINTRESOURCEA(101), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(PlatformRegisterResources(nullptr, nullptr, 0));
}

TEST(Resources, load_bitmap_makes_a_bitmap_of_the_resource_size) {
    HBITMAP bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(101));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info = bitmapInfo(bitmap);
    EXPECT_EQ(info.bmWidth, 20);
    EXPECT_EQ(info.bmHeight, 10);
    deleteBitmap(bitmap);

    HBITMAP named = LoadBitmapA(thisProgram(), "Background");
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(bitmapInfo(named).bmWidth, 7);
    EXPECT_EQ(bitmapInfo(named).bmHeight, 3);
    deleteBitmap(named);
}

TEST(Resources, load_image_makes_a_dib_section_holding_the_resource_bits) {
    auto* bitmap = static_cast<HBITMAP>(
        LoadImageA(nullptr, MAKEINTRESOURCEA(102), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info = bitmapInfo(bitmap);
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmHeight, 2);
    EXPECT_EQ(info.bmBitsPixel, 8);
    ASSERT_NE(info.bmBits, nullptr);
    const auto* bits = static_cast<const BYTE*>(info.bmBits);
    EXPECT_EQ(std::vector<BYTE>(bits, bits + 8), (std::vector<BYTE>{1, 2, 3, 0, 3, 2, 1, 0}));
    deleteBitmap(bitmap);

    auto* plain = static_cast<HBITMAP>(
        LoadImageA(nullptr, MAKEINTRESOURCEA(101), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(bitmapInfo(plain).bmWidth, 20);
    deleteBitmap(plain);
}

TEST(Resources, zoom_button_bitmaps_are_the_platforms_own) {
    for (WORD id : {OBM_ZOOM, OBM_ZOOMD}) {
        HBITMAP bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(id));
        ASSERT_NE(bitmap, nullptr) << id;
        BITMAP info = bitmapInfo(bitmap);
        EXPECT_EQ(info.bmWidth, 16) << id;
        EXPECT_EQ(info.bmHeight, 14) << id;
        deleteBitmap(bitmap);
    }
    // Raised: a light top-left corner; pressed: a dark one. Rows are stored bottom-up.
    auto topLeft = [](WORD id) {
        auto* bitmap = static_cast<HBITMAP>(
            LoadImageA(nullptr, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        BITMAP info = bitmapInfo(bitmap);
        const BYTE* top = static_cast<const BYTE*>(info.bmBits) + info.bmWidthBytes * 13;
        int grey = top[0];
        deleteBitmap(bitmap);
        return grey;
    };
    EXPECT_GT(topLeft(OBM_ZOOM), 192);
    EXPECT_EQ(topLeft(OBM_ZOOMD), 0);
    // Not in a library's resources.
    EXPECT_EQ(LoadBitmapA(thisProgram(), MAKEINTRESOURCEA(OBM_ZOOM)), nullptr);
}

TEST(Resources, icons_are_shared_and_made_from_the_nearest_image) {
    HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(1));
    ASSERT_NE(icon, nullptr) << GetLastError();
    EXPECT_EQ(LoadIconA(nullptr, "#1"), icon) << "one shared handle per resource";
    platform::IconImage* image = iconOf(icon);
    EXPECT_FALSE(image->cursor);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 32);
    EXPECT_EQ(image->pixels[16 * 32 + 16], 0xff4080ffu) << std::hex << image->pixels[16 * 32 + 16];
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_TRUE(platform::isResourceIcon(icon)) << "a shared icon stays";

    // Icon 2 has a 16 x 16 image of 8 bits with a mask and a 32 x 32 image with alpha.
    HICON large = LoadIconA(nullptr, MAKEINTRESOURCEA(2));
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(iconOf(large)->width, 32);
    EXPECT_EQ(iconOf(large)->pixels[0], 0x800000ffu) << std::hex << iconOf(large)->pixels[0];
    HANDLE small = LoadImageA(nullptr, MAKEINTRESOURCEA(2), IMAGE_ICON, 16, 16, 0);
    ASSERT_NE(small, nullptr);
    EXPECT_NE(small, large);
    EXPECT_EQ(iconOf(small)->width, 16);
    EXPECT_EQ(iconOf(small)->pixels[0], 0x00ff0000u) << "the mask clears the top-left pixel";
    EXPECT_EQ(iconOf(small)->pixels[1], 0xffff0000u) << std::hex << iconOf(small)->pixels[1];
    EXPECT_TRUE(DestroyIcon(small));
    EXPECT_FALSE(platform::isResourceIcon(small));
    EXPECT_FALSE(DestroyIcon(small));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Resources, cursors_carry_their_hotspot) {
    HCURSOR cursor = LoadCursorA(thisProgram(), "spectrogram");
    ASSERT_NE(cursor, nullptr) << GetLastError();
    platform::IconImage* image = iconOf(cursor);
    EXPECT_TRUE(image->cursor);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->hotspot.x, 5);
    EXPECT_EQ(image->hotspot.y, 7);
    EXPECT_EQ(image->pixels[10 * 32 + 10], 0xffff0000u);
    EXPECT_EQ(LoadCursorA(thisProgram(), "SPECTROGRAM"), cursor);
    HANDLE own = LoadImageA(thisProgram(), "Spectrogram", IMAGE_CURSOR, 0, 0, 0);
    ASSERT_NE(own, nullptr);
    EXPECT_NE(own, cursor);
    EXPECT_TRUE(DestroyCursor(own));
    // Icons and cursors are separate types.
    EXPECT_EQ(LoadIconA(thisProgram(), "Spectrogram"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(Resources, accelerators_build_the_listed_table) {
    HACCEL table = LoadAcceleratorsA(nullptr, MAKEINTRESOURCEA(1));
    ASSERT_NE(table, nullptr) << GetLastError();
    ASSERT_EQ(CopyAcceleratorTableA(table, nullptr, 0), 4);
    ACCEL entries[4]{};
    ASSERT_EQ(CopyAcceleratorTableA(table, entries, 4), 4);
    // VK_F1; "Z" with CONTROL; the character 'a'; key 65 with SHIFT, ALT and NOINVERT.
    EXPECT_EQ(entries[0].fVirt, FVIRTKEY);
    EXPECT_EQ(entries[0].key, 0x70);
    EXPECT_EQ(entries[0].cmd, 1001);
    EXPECT_EQ(entries[1].fVirt, FVIRTKEY | FCONTROL);
    EXPECT_EQ(entries[1].key, 'Z');
    EXPECT_EQ(entries[2].fVirt, 0);
    EXPECT_EQ(entries[2].key, 'a');
    EXPECT_EQ(entries[3].fVirt, FVIRTKEY | FSHIFT | FALT | FNOINVERT)
        << "the end mark is not a flag of the entry";
    EXPECT_EQ(entries[3].cmd, 1004);
    DestroyAcceleratorTable(table);
    HACCEL named = LoadAcceleratorsA(nullptr, "editor");
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(CopyAcceleratorTableA(named, nullptr, 0), 4);
    DestroyAcceleratorTable(named);
}

TEST(Resources, strings_come_from_their_block_of_sixteen) {
    char text[32];
    EXPECT_EQ(LoadStringA(nullptr, 1, text, sizeof text), 5);
    EXPECT_STREQ(text, "First");
    EXPECT_EQ(LoadStringA(nullptr, 17, text, sizeof text), 9);
    EXPECT_STREQ(text, "Seventeen");
    EXPECT_EQ(LoadStringA(nullptr, 18, text, sizeof text), 7) << "UTF-8 bytes";
    EXPECT_STREQ(text, "Größe");
    EXPECT_EQ(LoadStringA(nullptr, 17, text, 6), 5) << "cut to the buffer";
    EXPECT_STREQ(text, "Seven");
    EXPECT_EQ(LoadStringA(nullptr, 2, text, sizeof text), 0) << "a gap in a block";
    EXPECT_STREQ(text, "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadStringA(nullptr, 40, text, sizeof text), 0) << "a missing block";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadStringA(nullptr, 1, text, 0), 0);
}

TEST(Resources, raw_data_is_the_file_as_it_is) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(7), RT_RCDATA);
    ASSERT_NE(resource, nullptr);
    std::string text(static_cast<const char*>(LockResource(LoadResource(nullptr, resource))),
                     SizeofResource(nullptr, resource));
    EXPECT_EQ(text.rfind("# key", 0), 0u) << text;
}

TEST(DialogTemplate, reads_back_what_the_text_form_says) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(160), RT_DIALOG);
    ASSERT_NE(resource, nullptr);
    const void* data = LockResource(LoadResource(nullptr, resource));
    const size_t size = SizeofResource(nullptr, resource);
    platform::DialogTemplate dialog;
    ASSERT_TRUE(platform::readDialogTemplate(data, size, &dialog));
    // DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, with DS_SETFONT for the font line.
    EXPECT_EQ(dialog.style, 0x80c80080u | platform::kDialogSetFont) << std::hex << dialog.style;
    EXPECT_EQ(dialog.exStyle, 0x8u);
    EXPECT_EQ(dialog.x, 10);
    EXPECT_EQ(dialog.y, 20);
    EXPECT_EQ(dialog.cx, 180);
    EXPECT_EQ(dialog.cy, 90);
    EXPECT_EQ(dialog.title, "About Orq Test");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.font, "MS Sans Serif");
    EXPECT_EQ(dialog.menu, "");
    EXPECT_EQ(dialog.menuId, 0);
    ASSERT_EQ(dialog.items.size(), 4u);

    const platform::DialogItemTemplate& picture = dialog.items[0];
    EXPECT_EQ(picture.classAtom, 0x82);
    EXPECT_EQ(picture.id, 0xffff);
    EXPECT_EQ(picture.title, "");
    EXPECT_EQ(picture.titleId, 102);
    EXPECT_EQ(picture.style, 0x5000000eu) << std::hex << picture.style;
    const platform::DialogItemTemplate& version = dialog.items[1];
    EXPECT_EQ(version.id, 1001);
    EXPECT_EQ(version.title, " Version: %s");
    EXPECT_EQ(version.style, 0x50000081u) << std::hex << version.style;
    EXPECT_EQ(version.x, 10);
    EXPECT_EQ(version.y, 62);
    EXPECT_EQ(version.cx, 160);
    EXPECT_EQ(version.cy, 10);
    const platform::DialogItemTemplate& ok = dialog.items[2];
    EXPECT_EQ(ok.classAtom, 0x80);
    EXPECT_EQ(ok.id, 1);
    EXPECT_EQ(ok.style, 0x50010001u) << std::hex << ok.style;
    const platform::DialogItemTemplate& custom = dialog.items[3];
    EXPECT_EQ(custom.className, "WObject");
    EXPECT_EQ(custom.classAtom, 0);
    EXPECT_EQ(custom.style, 0x40000000u) << "NOT WS_VISIBLE clears the default";
    EXPECT_TRUE(custom.creationData.empty());

    // Every item starts on a 4-byte boundary: the block cut anywhere is refused.
    std::vector<BYTE> copy(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    for (size_t cut : {size_t{10}, size / 2, size - 2})
        EXPECT_FALSE(platform::readDialogTemplate(copy.data(), cut, &dialog)) << cut;
}

TEST(Resources, libraries_with_the_same_number_each_get_their_own) {
    void* a = dlopen(RESOURCE_LIBRARY_A, RTLD_NOW | RTLD_LOCAL);
    void* b = dlopen(RESOURCE_LIBRARY_B, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(a, nullptr) << dlerror();
    ASSERT_NE(b, nullptr) << dlerror();
    // The module handle is the library's base address, as dladdr reports it.
    auto moduleOf = [](void* library) {
        link_map* map = nullptr;
        dlinfo(library, RTLD_DI_LINKMAP, &map);
        Dl_info where{};
        dladdr(reinterpret_cast<const void*>(map->l_ld), &where);
        return static_cast<HMODULE>(where.dli_fbase);
    };
    HMODULE moduleA = moduleOf(a), moduleB = moduleOf(b);
    ASSERT_NE(moduleA, moduleB);
    EXPECT_EQ(headerOf(moduleA, MAKEINTRESOURCEA(101)).biWidth, 11);
    EXPECT_EQ(headerOf(moduleB, MAKEINTRESOURCEA(101)).biWidth, 13);
    EXPECT_EQ(headerOf(nullptr, MAKEINTRESOURCEA(101)).biWidth, 20);
    HBITMAP bitmapB = LoadBitmapA(moduleB, MAKEINTRESOURCEA(101));
    ASSERT_NE(bitmapB, nullptr);
    EXPECT_EQ(bitmapInfo(bitmapB).bmHeight, 7);
    deleteBitmap(bitmapB);
    EXPECT_EQ(FindResourceA(moduleA, "Background", RT_BITMAP), nullptr)
        << "the program's resources are not the library's";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

    // Unloaded, a library's table is gone.
    ASSERT_EQ(dlclose(a), 0);
    EXPECT_EQ(platform::moduleOfFile(RESOURCE_LIBRARY_A), nullptr);
    EXPECT_NE(platform::moduleOfFile(RESOURCE_LIBRARY_B), nullptr);
    ASSERT_EQ(dlclose(b), 0);
}
