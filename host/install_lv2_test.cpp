#include "host/install_lv2.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace orq::host {
namespace {

class InstallLv2 : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("orq_install_lv2_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        bundle_ = root_ / "build" / kLv2BundleName;
        fs::create_directories(bundle_);
        write(bundle_ / "manifest.ttl", "manifest");
        write(bundle_ / "pressane.so", "library");
    }
    void TearDown() override { fs::remove_all(root_); }
    static void write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }
    static std::string read(const fs::path& path) {
        std::stringstream s;
        s << std::ifstream(path).rdbuf();
        return s.str();
    }
    fs::path root_, bundle_;
};

TEST_F(InstallLv2, copies_the_bundle_into_a_new_folder) {
    const fs::path installed = installLv2Bundle(bundle_, root_ / "home" / ".lv2");
    EXPECT_EQ(installed, root_ / "home" / ".lv2" / kLv2BundleName);
    EXPECT_EQ(read(installed / "manifest.ttl"), "manifest");
    EXPECT_EQ(read(installed / "pressane.so"), "library");
}

TEST_F(InstallLv2, replaces_an_older_copy_whole) {
    const fs::path folder = root_ / "lv2";
    fs::create_directories(folder / kLv2BundleName);
    write(folder / kLv2BundleName / "gone.ttl", "old");
    write(folder / "other.lv2", "another plug-in's");
    installLv2Bundle(bundle_, folder);
    EXPECT_FALSE(fs::exists(folder / kLv2BundleName / "gone.ttl"));
    EXPECT_EQ(read(folder / kLv2BundleName / "manifest.ttl"), "manifest");
    EXPECT_EQ(read(folder / "other.lv2"), "another plug-in's");
    // Nothing of the copy's staging is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST_F(InstallLv2, an_unbuilt_bundle_is_refused_and_changes_nothing) {
    fs::remove(bundle_ / "manifest.ttl");
    const fs::path folder = root_ / "lv2";
    fs::create_directories(folder / kLv2BundleName);
    write(folder / kLv2BundleName / "manifest.ttl", "installed before");
    EXPECT_THROW(installLv2Bundle(bundle_, folder), std::runtime_error);
    EXPECT_EQ(read(folder / kLv2BundleName / "manifest.ttl"), "installed before");
}

TEST_F(InstallLv2, a_file_in_place_of_the_folder_is_refused) {
    write(root_ / "lv2", "a file");
    EXPECT_THROW(installLv2Bundle(bundle_, root_ / "lv2"), std::runtime_error);
    EXPECT_EQ(read(root_ / "lv2"), "a file");
}

} // namespace
} // namespace orq::host
