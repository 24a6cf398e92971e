// Bounded fuzzing of the registry file: mutations of a valid file (cut, flipped, spliced, fields
// changed) are read and written through the registry calls (checks in
// registry_fuzz_test_support.h).
#include <windows.h>

#include "platform/registry_fuzz_test_support.h"
#include "testsupport/mutation_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

namespace {

using namespace orq::test;

constexpr int kMutations = 2000;
constexpr uint32_t kSeed = 20261207;

class RegistryFuzz : public ::testing::Test {
  protected:
    void SetUp() override {
        // In memory where the system offers it: every write syncs the file, which on a disk
        // would take most of the run.
        std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                              std::string("/orq-registry-fuzz-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        file_ = folder_ + "/registry";
        if (const char* saved = std::getenv("ORQ_REGISTRY")) saved_ = saved;
        setenv("ORQ_REGISTRY", file_.c_str(), 1);
    }
    void TearDown() override {
        if (saved_)
            setenv("ORQ_REGISTRY", saved_->c_str(), 1);
        else
            unsetenv("ORQ_REGISTRY");
        std::filesystem::remove_all(folder_);
    }

    // A registry as the suite writes it: a class with its library, a filter with its name and
    // merit, and names and texts that need escaping.
    void writeSeed() {
        auto setText = [](HKEY key, const char* name, const std::string& text) {
            ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(text.c_str()),
                                     DWORD(text.size() + 1)),
                      ERROR_SUCCESS);
        };
        for (const char* id : {"{A3F1C250-6B2E-4E8A-9D13-47C0B8E21A01}"}) {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT,
                                    ("CLSID\\" + std::string(id) + "\\InprocServer32").c_str(),
                                    &key),
                      ERROR_SUCCESS);
            setText(key, "", "/usr/lib/orq/plugins/compressor_dx.so");
            RegCloseKey(key);
            ASSERT_EQ(
                RegCreateKeyA(HKEY_CLASSES_ROOT, ("Filter\\" + std::string(id)).c_str(), &key),
                ERROR_SUCCESS);
            setText(key, "FriendlyName", "Orq 100% \"Compressor\"\nsecond line");
            const DWORD merit = 0x200000;
            ASSERT_EQ(RegSetValueExA(key, "Merit", 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&merit), sizeof merit),
                      ERROR_SUCCESS);
            setText(key, "Odd%Name\tTab", "x");
            RegCloseKey(key);
        }
        // Names at the edge: a key name of the longest length, and one with a control byte
        // (written escaped, one bit away from an escaped NUL).
        for (const std::string& path :
             {"Long\\" + std::string(kKeyNameBuffer - 1, 'k'), std::string("Control\x01Key")}) {
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, path.c_str(), &key), ERROR_SUCCESS);
            setText(key, "", "edge");
            RegCloseKey(key);
        }
    }

    std::string folder_;
    std::string file_;
    std::optional<std::string> saved_;
};

TEST_F(RegistryFuzz, mutated_files_answer_baddb_or_work_and_writes_keep_what_was_there) {
    writeSeed();
    ASSERT_FALSE(HasFatalFailure());
    const std::string seed = readBytes(file_);
    ASSERT_NE(seed.find("end\n"), std::string::npos);
    orq::test::Mutator mutator(kSeed, {std::vector<uint8_t>(seed.begin(), seed.end())});
    int broken = 0, readable = 0;
    for (int n = 0; n < kMutations; ++n) {
        const std::vector<uint8_t> mutated = mutator.next();
        const std::string bytes(mutated.begin(), mutated.end());
        SCOPED_TRACE("mutation " + std::to_string(n) + ":\n" + bytes);
        RegistryOutcome outcome{};
        ASSERT_EQ(checkRegistryFile(file_, bytes, &outcome), "");
        (outcome == RegistryOutcome::Broken ? broken : readable) += 1;
    }
    // Both outcomes must be reached for the run to mean anything.
    EXPECT_GT(broken, kMutations / 4);
    EXPECT_GT(readable, kMutations / 20);
    std::printf("%d mutated registries refused, %d read and written\n", broken, readable);
}

} // namespace

namespace {

class RegistryFileForms : public RegistryFuzz {
  protected:
    // Reads the whole tree of a file holding exactly these records.
    LONG readTree(const std::string& records, std::string* what) {
        writeBytes(file_, "orq-registry 1\n" + records + "end\n");
        Dump dump;
        return dumpTree(HKEY_CLASSES_ROOT, "", &dump, what);
    }
};

// Found by fuzzing: a key name longer than 255 bytes enumerated as ERROR_MORE_DATA into the
// 256-byte buffer Windows callers use, and could not be opened by any name (the calls refuse
// such names). Such a file, and one with a NUL in a name (enumerated cut at the NUL, which then
// opened nothing), is broken.
TEST_F(RegistryFileForms, names_the_calls_cannot_reach_make_the_file_broken) {
    std::string what;
    const std::string longest(255, 'k');
    EXPECT_EQ(readTree("key\tA\nkey\tA\\" + longest + "\n", &what), ERROR_SUCCESS) << what;
    for (const std::string& records :
         {"key\tA\nkey\tA\\" + longest + "k\n", "key\t" + longest + "k\n",
          std::string("key\tA%00B\n"), std::string("key\tA\nsz\tx%00y\tz\n"),
          "key\tA\nsz\t" + std::string(16384, 'n') + "\tz\n"}) {
        SCOPED_TRACE(records.substr(0, 40));
        EXPECT_EQ(readTree(records, &what), ERROR_BADDB) << what;
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "B", &key), ERROR_BADDB);
    }
}

// A number is "0x" and up to eight hexadecimal digits, as written, or plain decimal digits;
// the C library's reading took a leading zero as octal ("010" read as 8), and signs and
// whitespace.
TEST_F(RegistryFileForms, numbers_are_hexadecimal_as_written_or_plain_decimal) {
    for (const auto& [digits, number] :
         std::vector<std::pair<std::string, DWORD>>{{"0x0000002a", 42},
                                                    {"0xFFFFFFFF", 0xFFFFFFFF},
                                                    {"42", 42},
                                                    {"0", 0},
                                                    {"4294967295", 0xFFFFFFFF}}) {
        std::string what;
        ASSERT_EQ(readTree("key\tA\ndword\tn\t" + digits + "\n", &what), ERROR_SUCCESS) << digits;
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "A", &key), ERROR_SUCCESS);
        DWORD value = 0, size = sizeof value;
        EXPECT_EQ(
            RegQueryValueExA(key, "n", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
        EXPECT_EQ(value, number) << digits;
        RegCloseKey(key);
    }
    for (const std::string digits :
         {"010", "+5", "\r5", "0x", "0x123456789", "4294967296", "0X2a", "5 ", "-1"}) {
        std::string what;
        EXPECT_EQ(readTree("key\tA\ndword\tn\t" + digits + "\n", &what), ERROR_BADDB)
            << "'" << digits << "'";
    }
}

} // namespace
