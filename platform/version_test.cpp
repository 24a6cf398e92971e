// Version information of this program (platform/testdata/test_resources.txt) and of two
// loaded libraries, read the way the about boxes read it.
#include "platform/resource_internal.h"

#include <windows.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string moduleFile(HMODULE module) {
    char path[4096];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    EXPECT_GT(length, 0u);
    return std::string(path, length);
}

std::vector<BYTE> versionBlock(const std::string& file) {
    DWORD handle = 1;
    DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
    EXPECT_GT(size, 0u) << file << ": error " << GetLastError();
    EXPECT_EQ(handle, 0u);
    std::vector<BYTE> block(size);
    EXPECT_TRUE(GetFileVersionInfoA(file.c_str(), 0, size, block.data()));
    return block;
}

std::string queryString(const std::vector<BYTE>& block, const char* path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), path, &value, &length)) return "<missing>";
    EXPECT_EQ(length, std::strlen(static_cast<const char*>(value)) + 1) << path;
    return static_cast<const char*>(value);
}

} // namespace

TEST(VersionInfo, fixed_information_carries_the_listed_numbers) {
    std::vector<BYTE> block = versionBlock(moduleFile(nullptr));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(fixed.dwSignature, VS_FFI_SIGNATURE);
    EXPECT_EQ(fixed.dwStrucVersion, VS_FFI_STRUCVERSION);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00020003u) << "FileVersion 2.3.4.5";
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00040005u);
    EXPECT_EQ(fixed.dwFileType, VFT_APP);
    EXPECT_EQ(fixed.dwFileOS, VOS_NT_WINDOWS32);
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(PROJECT_VERSION_TEXT, "%u.%u.%u", &major, &minor, &patch), 3);
    EXPECT_EQ(fixed.dwProductVersionMS, major << 16 | minor);
    EXPECT_EQ(fixed.dwProductVersionLS, patch << 16);
}

TEST(VersionInfo, strings_and_translation_read_as_the_about_boxes_read_them) {
    std::vector<BYTE> block = versionBlock(moduleFile(nullptr));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 4u);
    WORD pair[2];
    std::memcpy(pair, value, sizeof pair);
    EXPECT_EQ(pair[0], 0x0409);
    EXPECT_EQ(pair[1], 0x04b0);
    char path[64];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\ProductVersion", pair[0],
                  pair[1]);
    EXPECT_EQ(queryString(block, path), PROJECT_VERSION_TEXT);
    EXPECT_EQ(queryString(block, "\\StringFileInfo\\040904B0\\productname"), "Orq platform test")
        << "keys match without case";
    EXPECT_EQ(queryString(block, "\\StringFileInfo\\040904b0\\FileDescription"),
              "Résumé test program");
    EXPECT_EQ(queryString(block, "\\StringFileInfo\\040904b0\\FileVersion"), "2.3.4.5");
    // Earlier answers stay intact when later ones are copied out.
    void* first = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\FileDescription", &first,
                               &length));
    EXPECT_EQ(queryString(block, "\\StringFileInfo\\040904b0\\ProductName"), "Orq platform test");
    EXPECT_STREQ(static_cast<const char*>(first), "Résumé test program");

    EXPECT_EQ(queryString(block, "\\StringFileInfo\\040904b0\\CompanyName"), "<missing>");
    EXPECT_EQ(queryString(block, "\\StringFileInfo\\04070000\\ProductVersion"), "<missing>");
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\Nothing", &value, &length));
}

TEST(VersionInfo, a_library_is_found_by_its_path_or_its_file_name) {
    void* library = dlopen(RESOURCE_LIBRARY_B, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    HMODULE module = platform::moduleOfFile(RESOURCE_LIBRARY_B);
    ASSERT_NE(module, nullptr);
    const std::string path = moduleFile(module);
    EXPECT_EQ(queryString(versionBlock(path), "\\StringFileInfo\\040904b0\\ProductVersion"), "2.2");
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(queryString(versionBlock(name), "\\StringFileInfo\\040904b0\\FileDescription"),
              "Library B");
    void* value = nullptr;
    UINT length = 0;
    std::vector<BYTE> block = versionBlock(path);
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00020002u);
    EXPECT_EQ(fixed.dwFileType, VFT_DLL);
    dlclose(library);

    // Unloaded: the file is there, but no loaded module carries its resources.
    DWORD handle = 0;
    EXPECT_EQ(GetFileVersionInfoSizeA(path.c_str(), &handle), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
}

TEST(VersionInfo, missing_files_and_modules_without_a_version_fail) {
    DWORD handle = 0;
    EXPECT_EQ(GetFileVersionInfoSizeA("/nonexistent/orq_dx.so", &handle), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    std::vector<BYTE> block(64);
    EXPECT_FALSE(GetFileVersionInfoA("/nonexistent/orq_dx.so", 0, 64, block.data()));
    EXPECT_FALSE(GetFileVersionInfoA(nullptr, 0, 64, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // A block copied without the room for the 8-bit strings answers only binary values.
    std::vector<BYTE> full = versionBlock(moduleFile(nullptr));
    const DWORD blockOnly = *reinterpret_cast<const WORD*>(full.data());
    std::vector<BYTE> cut(full.size());
    ASSERT_TRUE(GetFileVersionInfoA(moduleFile(nullptr).c_str(), 0, blockOnly, cut.data()));
    void* value = nullptr;
    UINT length = 0;
    EXPECT_TRUE(VerQueryValueA(cut.data(), "\\", &value, &length));
    EXPECT_FALSE(
        VerQueryValueA(cut.data(), "\\StringFileInfo\\040904b0\\ProductVersion", &value, &length));
}
