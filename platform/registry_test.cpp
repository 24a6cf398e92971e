#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void removeTree(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return;
    if (S_ISDIR(info.st_mode)) {
        for (const std::string& name : folderEntries(path))
            removeTree(path + "/" + name);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::string lastRegistryError() {
    char text[1024];
    PlatformRegistryError(text, sizeof text);
    return text;
}

LONG setString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

LONG setDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

std::optional<std::string> queryString(HKEY key, const char* name) {
    char buffer[512];
    DWORD size = sizeof buffer, type = REG_NONE;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return std::string(buffer);
}

LONG createKey(const char* path, HKEY* key = nullptr) {
    HKEY opened = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &opened, nullptr);
    if (rc == ERROR_SUCCESS) {
        if (key != nullptr)
            *key = opened;
        else
            RegCloseKey(opened);
    }
    return rc;
}

std::vector<std::string> subKeys(HKEY key) {
    std::vector<std::string> names;
    char name[MAX_PATH + 1];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        LONG rc = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) {
            EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
            break;
        }
        EXPECT_EQ(size, std::strlen(name));
        names.emplace_back(name);
    }
    return names;
}

// Deletes a key and everything below it: subkeys first, found by enumeration.
LONG deleteTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (rc != ERROR_SUCCESS) return rc;
    for (const std::string& child : subKeys(key)) {
        rc = deleteTree(key, child);
        if (rc != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? RegDeleteKeyA(parent, name.c_str()) : rc;
}

// Every test gets its own registry file in a fresh folder.
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/orq-registry-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        file_ = folder_ + "/registry";
        remember("ORQ_REGISTRY", &savedRegistry_);
        remember("XDG_DATA_HOME", &savedDataHome_);
        setenv("ORQ_REGISTRY", file_.c_str(), 1);
    }
    void TearDown() override {
        restore("ORQ_REGISTRY", savedRegistry_);
        restore("XDG_DATA_HOME", savedDataHome_);
        removeTree(folder_);
    }
    static void remember(const char* name, std::optional<std::string>* saved) {
        const char* value = std::getenv(name);
        if (value != nullptr) *saved = value;
    }
    static void restore(const char* name, const std::optional<std::string>& saved) {
        if (saved)
            setenv(name, saved->c_str(), 1);
        else
            unsetenv(name);
    }

    std::string folder_;
    std::string file_;
    std::optional<std::string> savedRegistry_;
    std::optional<std::string> savedDataHome_;
};

// ----------------------------------------------------------------------------------------------
// Values

TEST_F(RegistryTest, string_and_dword_values_round_trip_through_the_file) {
    HKEY key = nullptr;
    ASSERT_EQ(createKey("CLSID\\{ABC}\\InprocServer32", &key), ERROR_SUCCESS);
    EXPECT_EQ(setString(key, nullptr, "/opt/orq/compressor.so"), ERROR_SUCCESS);
    EXPECT_EQ(setString(key, "ThreadingModel", "Both"), ERROR_SUCCESS);
    EXPECT_EQ(setDword(key, "Merit", 0x200000), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // A fresh handle, another spelling of the path: lookups ignore case.
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "clsid\\{abc}\\INPROCSERVER32", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(queryString(key, nullptr).value_or("?"), "/opt/orq/compressor.so");
    EXPECT_EQ(queryString(key, "").value_or("?"), "/opt/orq/compressor.so");
    EXPECT_EQ(queryString(key, "threadingmodel").value_or("?"), "Both");
    DWORD merit = 0, size = sizeof merit, type = REG_NONE;
    EXPECT_EQ(
        RegQueryValueExA(key, "MERIT", nullptr, &type, reinterpret_cast<BYTE*>(&merit), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(merit, 0x200000u);

    // Overwriting replaces the value and its type.
    EXPECT_EQ(setDword(key, "threadingMODEL", 7), ERROR_SUCCESS);
    size = sizeof merit;
    EXPECT_EQ(RegQueryValueExA(key, "ThreadingModel", nullptr, &type,
                               reinterpret_cast<BYTE*>(&merit), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(merit, 7u);
    RegCloseKey(key);

    // Keys and value names keep the case they were first given.
    const std::string content = readBytes(file_);
    EXPECT_NE(content.find("CLSID\\{ABC}\\InprocServer32"), std::string::npos) << content;
    EXPECT_NE(content.find("ThreadingModel"), std::string::npos) << content;
}

TEST_F(RegistryTest, query_reports_size_with_terminator_and_more_data_for_small_buffers) {
    HKEY key = nullptr;
    ASSERT_EQ(createKey("Sizes", &key), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "Name", "Orq"), ERROR_SUCCESS);

    DWORD type = REG_NONE, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 4u) << "three characters and the terminator";

    char small[3] = {'x', 'x', 'x'};
    size = sizeof small;
    type = REG_NONE;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, REG_SZ);

    char exact[4];
    size = sizeof exact;
    EXPECT_EQ(
        RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(exact, "Orq");

    DWORD number = 0;
    ASSERT_EQ(setDword(key, "Number", 5), ERROR_SUCCESS);
    size = 2;
    EXPECT_EQ(
        RegQueryValueExA(key, "Number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(number, 0u) << "nothing copied into a buffer that is too small";

    // A string given without terminator is stored to its end and read back terminated.
    EXPECT_EQ(RegSetValueExA(key, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3),
              ERROR_SUCCESS);
    EXPECT_EQ(queryString(key, "Bare").value_or("?"), "abc");
    RegCloseKey(key);
}

TEST_F(RegistryTest, missing_values_and_unsupported_types_are_refused) {
    HKEY key = nullptr;
    ASSERT_EQ(createKey("Values", &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND)
        << "a default value never set does not exist";
    EXPECT_EQ(RegQueryValueExA(key, "Nope", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key, "Nope"), ERROR_FILE_NOT_FOUND);

    const BYTE blob[3] = {1, 2, 3};
    EXPECT_EQ(RegSetValueExA(key, "Blob", 0, 3 /* binary */, blob, sizeof blob),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "Short", 0, REG_DWORD, blob, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "Null", 0, REG_SZ, nullptr, 4), ERROR_INVALID_PARAMETER);

    ASSERT_EQ(setString(key, "Gone", "x"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "GONE"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "Gone", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, names_and_texts_with_separators_survive_the_file) {
    HKEY key = nullptr;
    const std::string awkward = "tab\there, line\nbreak, 100% \r and \x01";
    ASSERT_EQ(createKey("Odd key %41", &key), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, awkward.c_str(), awkward), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, "utf8", "Gr\xc3\xbc\xc3\x9f"), ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "odd KEY %41", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(queryString(key, awkward.c_str()).value_or("?"), awkward);
    EXPECT_EQ(queryString(key, "UTF8").value_or("?"), "Gr\xc3\xbc\xc3\x9f");
    RegCloseKey(key);
    HKEY wrong = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Odd key A", 0, KEY_READ, &wrong),
              ERROR_FILE_NOT_FOUND)
        << "an escaped character in the file must not alias another name";
}

// ----------------------------------------------------------------------------------------------
// Keys

TEST_F(RegistryTest, create_makes_missing_levels_and_reports_new_or_existing) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "A\\B\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "a\\b\\c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    // Relative creation below an open key, and the intermediate level exists on its own.
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyA(key, "D", &child), ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "A\\B", &key), ERROR_SUCCESS);
    EXPECT_EQ(subKeys(key), std::vector<std::string>{"C"});
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "A\\B\\C\\D", &key), ERROR_SUCCESS);
    RegCloseKey(key);

    // Creating an existing key does not rewrite the file.
    const std::string before = readBytes(file_);
    struct stat first {};
    ASSERT_EQ(stat(file_.c_str(), &first), 0);
    ASSERT_EQ(createKey("A\\B"), ERROR_SUCCESS);
    struct stat second {};
    ASSERT_EQ(stat(file_.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
    EXPECT_EQ(readBytes(file_), before);

    EXPECT_EQ(createKey("Bad\\\\Path"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(createKey("\\Leading"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(createKey(std::string(256, 'x').c_str()), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, missing_keys_other_roots_and_stale_handles_give_windows_error_codes) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_NE(lastRegistryError().find("Missing"), std::string::npos) << lastRegistryError();

    const HKEY currentUser = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u));
    EXPECT_EQ(RegOpenKeyExA(currentUser, "Software", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(createKey("X"), ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyA(currentUser, "X", &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(currentUser), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);

    // A handle whose key was deleted behind it.
    ASSERT_EQ(createKey("Doomed", &key), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Doomed"), ERROR_SUCCESS);
    EXPECT_EQ(setString(key, "v", "x"), ERROR_KEY_DELETED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyA(key, "Child", &child), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "a handle is closed only once";
}

TEST_F(RegistryTest, delete_refuses_keys_with_subkeys_and_missing_keys) {
    ASSERT_EQ(createKey("Parent\\Child"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Parent"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Parent\\Nobody"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED) << "the root stays";

    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "PARENT", &parent), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(parent, "child"), ERROR_SUCCESS);
    RegCloseKey(parent);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Parent"), ERROR_SUCCESS);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "Parent", &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, enumeration_lists_direct_subkeys_in_name_order) {
    for (const char* path : {"Enum\\zeta", "Enum\\Alpha\\Deep", "Enum\\beta", "Enum\\Gamma",
                             "Enumerated", "Enum2\\Other"})
        ASSERT_EQ(createKey(path), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "enum", &key), ERROR_SUCCESS);
    EXPECT_EQ(subKeys(key), (std::vector<std::string>{"Alpha", "beta", "Gamma", "zeta"}));

    char name[5];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA)
        << "\"Alpha\" and its terminator need six characters";
    EXPECT_EQ(RegEnumKeyA(key, 2, name, sizeof name), ERROR_MORE_DATA);
    EXPECT_EQ(RegEnumKeyA(key, 3, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "zeta");
    EXPECT_EQ(RegEnumKeyA(key, 4, name, sizeof name), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);

    EXPECT_EQ(subKeys(HKEY_CLASSES_ROOT),
              (std::vector<std::string>{"Enum", "Enum2", "Enumerated"}));
}

TEST_F(RegistryTest, a_tree_is_removed_depth_first_by_enumerate_and_delete) {
    for (const char* path :
         {"CLSID\\{F}\\InprocServer32", "CLSID\\{F}\\Pins\\Input\\Types\\{A}\\{0}",
          "CLSID\\{F}\\Pins\\Output\\Types\\{A}\\{0}", "CLSID\\{G}\\InprocServer32"})
        ASSERT_EQ(createKey(path), ERROR_SUCCESS);
    HKEY clsid = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", &clsid), ERROR_SUCCESS);
    EXPECT_EQ(deleteTree(clsid, "{F}"), ERROR_SUCCESS);
    EXPECT_EQ(subKeys(clsid), std::vector<std::string>{"{G}"});
    RegCloseKey(clsid);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID\\{F}\\Pins\\Input", &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(readBytes(file_).find("{F}"), std::string::npos) << readBytes(file_);
}

// ----------------------------------------------------------------------------------------------
// The file

TEST_F(RegistryTest, the_file_has_a_header_and_an_end_line_and_no_temporaries_stay) {
    EXPECT_EQ(folderEntries(folder_), std::vector<std::string>{});
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "Anything", &key), ERROR_FILE_NOT_FOUND)
        << "a missing file is an empty registry";
    ASSERT_EQ(createKey("K", &key), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, nullptr, "v"), ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string content = readBytes(file_);
    EXPECT_EQ(content.rfind("orq-registry 1\n", 0), 0u) << content;
    ASSERT_GE(content.size(), 4u);
    EXPECT_EQ(content.substr(content.size() - 4), "end\n") << content;
    EXPECT_EQ(folderEntries(folder_), (std::vector<std::string>{"registry", "registry.lock"}));
}

TEST_F(RegistryTest, default_location_is_under_the_data_home_and_made_on_first_write) {
    unsetenv("ORQ_REGISTRY");
    const std::string dataHome = folder_ + "/data";
    setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    char path[512];
    PlatformRegistryPath(path, sizeof path);
    EXPECT_EQ(std::string(path), dataHome + "/orq/registry");
    ASSERT_EQ(createKey("FirstWrite"), ERROR_SUCCESS);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "FirstWrite", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_NE(readBytes(dataHome + "/orq/registry").find("FirstWrite"), std::string::npos);

    // The path is looked up on every call: switching files switches registries.
    setenv("ORQ_REGISTRY", file_.c_str(), 1);
    EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "FirstWrite", &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, a_corrupt_or_truncated_file_fails_every_call_and_is_left_untouched) {
    HKEY key = nullptr;
    ASSERT_EQ(createKey("CLSID\\{1}\\InprocServer32", &key), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, nullptr, "/lib/one.so"), ERROR_SUCCESS);
    ASSERT_EQ(setDword(key, "Count", 3), ERROR_SUCCESS);
    const std::string good = readBytes(file_);

    std::vector<std::string> broken;
    for (size_t length = 0; length < good.size(); ++length)
        broken.push_back(good.substr(0, length));
    broken.push_back(good + "key\tAfterEnd\n");
    broken.push_back("not a registry\n");
    std::string badEscape = good;
    badEscape.replace(badEscape.find("InprocServer32"), 2, "%G");
    broken.push_back(badEscape);
    std::string badNumber = good;
    badNumber.replace(badNumber.find("0x00000003"), 10, "three");
    broken.push_back(badNumber);

    for (const std::string& content : broken) {
        writeBytes(file_, content);
        SCOPED_TRACE("file: \"" + content + "\"");
        HKEY opened = nullptr;
        EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", &opened), ERROR_BADDB);
        EXPECT_EQ(createKey("New"), ERROR_BADDB);
        EXPECT_EQ(setString(key, "x", "y"), ERROR_BADDB);
        EXPECT_EQ(RegDeleteValueA(key, "Count"), ERROR_BADDB);
        EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32"), ERROR_BADDB);
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_BADDB);
        char name[64];
        EXPECT_EQ(RegEnumKeyA(HKEY_CLASSES_ROOT, 0, name, sizeof name), ERROR_BADDB);
        EXPECT_EQ(readBytes(file_), content) << "a broken registry is never rewritten";
        const std::string message = lastRegistryError();
        EXPECT_NE(message.find(file_), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
    writeBytes(file_, good);
    EXPECT_EQ(queryString(key, nullptr).value_or("?"), "/lib/one.so") << "repaired file works";
    RegCloseKey(key);
}

TEST_F(RegistryTest, an_unreadable_registry_fails_with_bad_database) {
    ASSERT_EQ(mkdir(file_.c_str(), 0700), 0); // a folder where the file should be
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "X", &key), ERROR_BADDB);
    EXPECT_EQ(createKey("X"), ERROR_BADDB);
    EXPECT_NE(lastRegistryError().find(file_), std::string::npos) << lastRegistryError();
}

// Runs call in a child process that is stopped after a few seconds, so that a call blocking on
// a FIFO or reading an endless device fails the test instead of hanging it. The child's exit
// status is the call's result masked to 8 bits; 255 means it timed out or died.
int resultInChild(LONG (*call)()) {
    pid_t pid = fork();
    if (pid == 0) {
        alarm(10);
        _exit(static_cast<int>(call()) & 0xff);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

TEST_F(RegistryTest, a_stale_temporary_of_a_killed_writer_is_removed_by_the_next_write) {
    ASSERT_EQ(createKey("Before"), ERROR_SUCCESS);
    writeBytes(file_ + ".tmp.99999999.0", "orq-registry 1\nkey\tHalf"); // cut off by the kill
    writeBytes(file_ + ".tmp.1.7", "");
    writeBytes(folder_ + "/other.tmp.1.0", "not ours");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "Before", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(folderEntries(folder_).size(), 5u) << "a read leaves them";
    ASSERT_EQ(createKey("After"), ERROR_SUCCESS);
    EXPECT_EQ(folderEntries(folder_),
              (std::vector<std::string>{"other.tmp.1.0", "registry", "registry.lock"}));
}

TEST_F(RegistryTest, a_registry_that_is_no_regular_file_or_too_large_is_refused_before_reading) {
    auto open = []() -> LONG {
        HKEY key = nullptr;
        return RegOpenKeyA(HKEY_CLASSES_ROOT, "X", &key);
    };
    auto create = []() -> LONG { return createKey("X"); };

    ASSERT_EQ(createKey("Small"), ERROR_SUCCESS);
    constexpr off_t kLimitBytes = off_t(64) << 20;
    ASSERT_EQ(truncate(file_.c_str(), kLimitBytes + 1), 0); // sparse: costs no disk
    EXPECT_EQ(open(), ERROR_BADDB);
    EXPECT_EQ(create(), ERROR_BADDB);
    const std::string message = lastRegistryError();
    EXPECT_NE(message.find(file_), std::string::npos) << message;
    EXPECT_NE(message.find("64 MiB"), std::string::npos) << "refused for its size: " << message;
    struct stat info {};
    ASSERT_EQ(stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, kLimitBytes + 1) << "left as it is";
    unlink(file_.c_str());

    ASSERT_EQ(mkfifo(file_.c_str(), 0600), 0);
    // Asserted: the same call in this process would block on the FIFO.
    ASSERT_EQ(resultInChild(open), ERROR_BADDB & 0xff) << "a FIFO";
    ASSERT_EQ(resultInChild(create), ERROR_BADDB & 0xff) << "a FIFO";
    EXPECT_EQ(open(), ERROR_BADDB);
    EXPECT_NE(lastRegistryError().find(file_), std::string::npos) << lastRegistryError();
    EXPECT_EQ(lastRegistryError().find('\n'), std::string::npos) << lastRegistryError();
    unlink(file_.c_str());

    // /dev/zero reached through a link in the scratch folder, so the lock file lands there too.
    const std::string device = folder_ + "/zero";
    ASSERT_EQ(symlink("/dev/zero", device.c_str()), 0);
    setenv("ORQ_REGISTRY", device.c_str(), 1);
    ASSERT_EQ(resultInChild(open), ERROR_BADDB & 0xff) << "an endless device";
    EXPECT_EQ(open(), ERROR_BADDB);
    EXPECT_NE(lastRegistryError().find(device), std::string::npos) << lastRegistryError();
    setenv("ORQ_REGISTRY", file_.c_str(), 1);
}

TEST_F(RegistryTest, a_transaction_writes_once_at_its_end_and_an_abandoned_one_writes_nothing) {
    ASSERT_EQ(createKey("Kept"), ERROR_SUCCESS);
    const std::string before = readBytes(file_);

    ASSERT_EQ(PlatformRegistryBeginTransaction(), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(createKey("CLSID\\{1}\\InprocServer32", &key), ERROR_SUCCESS);
    ASSERT_EQ(setString(key, nullptr, "/lib/one.so"), ERROR_SUCCESS);
    ASSERT_EQ(PlatformRegistryBeginTransaction(), ERROR_SUCCESS) << "nested begin";
    ASSERT_EQ(setString(key, "ThreadingModel", "Both"), ERROR_SUCCESS);
    ASSERT_EQ(PlatformRegistryEndTransaction(TRUE), ERROR_SUCCESS);
    EXPECT_EQ(queryString(key, nullptr).value_or("?"), "/lib/one.so") << "reads see the changes";
    EXPECT_EQ(readBytes(file_), before) << "nothing written before the outermost end";

    std::atomic<bool> otherThreadDone{false};
    std::thread other([&] {
        EXPECT_EQ(createKey("FromOtherThread"), ERROR_SUCCESS);
        otherThreadDone = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(otherThreadDone) << "another thread waits for the end";
    ASSERT_EQ(PlatformRegistryEndTransaction(TRUE), ERROR_SUCCESS);
    other.join();
    EXPECT_NE(readBytes(file_).find("ThreadingModel"), std::string::npos);
    EXPECT_NE(readBytes(file_).find("FromOtherThread"), std::string::npos);
    const std::string committed = readBytes(file_);

    ASSERT_EQ(PlatformRegistryBeginTransaction(), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32"), ERROR_SUCCESS);
    ASSERT_EQ(PlatformRegistryEndTransaction(FALSE), ERROR_SUCCESS);
    EXPECT_EQ(readBytes(file_), committed) << "an abandoned transaction writes nothing";
    EXPECT_EQ(queryString(key, nullptr).value_or("?"), "/lib/one.so");
    RegCloseKey(key);
    EXPECT_EQ(PlatformRegistryEndTransaction(TRUE), ERROR_INVALID_PARAMETER) << "none open";

    writeBytes(file_, "broken\n");
    EXPECT_EQ(PlatformRegistryBeginTransaction(), ERROR_BADDB);
    EXPECT_EQ(createKey("AfterFailedBegin"), ERROR_BADDB) << "no transaction was left open";
}

// ----------------------------------------------------------------------------------------------
// Concurrency

TEST_F(RegistryTest, two_processes_creating_keys_at_once_lose_nothing) {
    constexpr int kProcesses = 2;
    constexpr int kKeysPerProcess = 50;
    int startPipe[2];
    ASSERT_EQ(pipe(startPipe), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(startPipe[1]);
            char go = 0;
            (void)!read(startPipe[0], &go, 1); // returns at close: both start together
            int failures = 0;
            for (int k = 0; k < kKeysPerProcess; ++k) {
                const std::string path = "Race\\P" + std::to_string(p) + "K" + std::to_string(k);
                HKEY key = nullptr;
                if (createKey(path.c_str(), &key) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                if (setDword(key, "Index", static_cast<DWORD>(k)) != ERROR_SUCCESS) ++failures;
                RegCloseKey(key);
            }
            _exit(failures);
        }
        children.push_back(pid);
    }
    close(startPipe[0]);
    close(startPipe[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failed calls in one process";
    }
    HKEY race = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "Race", &race), ERROR_SUCCESS);
    const std::vector<std::string> names = subKeys(race);
    EXPECT_EQ(names.size(), static_cast<size_t>(kProcesses * kKeysPerProcess));
    for (int p = 0; p < kProcesses; ++p) {
        for (int k = 0; k < kKeysPerProcess; ++k) {
            const std::string name = "P" + std::to_string(p) + "K" + std::to_string(k);
            HKEY key = nullptr;
            ASSERT_EQ(RegOpenKeyA(race, name.c_str(), &key), ERROR_SUCCESS) << name;
            DWORD index = 0, size = sizeof index;
            EXPECT_EQ(RegQueryValueExA(key, "Index", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&index), &size),
                      ERROR_SUCCESS);
            EXPECT_EQ(index, static_cast<DWORD>(k)) << name;
            RegCloseKey(key);
        }
    }
    RegCloseKey(race);
    EXPECT_EQ(folderEntries(folder_), (std::vector<std::string>{"registry", "registry.lock"}));
}

} // namespace
