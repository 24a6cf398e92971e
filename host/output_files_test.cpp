// The outputs of one command: one file under two names is refused, nothing is in place before
// commit, devices and FIFOs are written through and never replaced.
#include "host/output_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace orq::host;

namespace {

class OutputFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orq-outputs-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "sub");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static void put(const std::string& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }
    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Names in the folder that are temporary files of a write.
    std::vector<std::string> temporaries() const {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(dir_))
            if (e.path().filename().string().find(".orq-") != std::string::npos)
                found.push_back(e.path().string());
        return found;
    }
    // A character device node of the given numbers in the scratch folder (1,3 reads as
    // /dev/null, 1,7 as /dev/full), so that a fault replaces this node and not the system's.
    std::string deviceNode(const std::string& name, unsigned major, unsigned minor) const {
        const std::string node = path(name);
        if (mknod(node.c_str(), S_IFCHR | 0666, makedev(major, minor)) != 0) return {};
        return node;
    }
    static std::string what(const std::function<void()>& f) {
        try {
            f();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "(no error)";
    }

    fs::path dir_;
};

bool isCharacterDevice(const std::string& file) {
    struct stat st {};
    return lstat(file.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

} // namespace

TEST_F(OutputFilesTest, one_file_under_two_names_is_refused_as_input_and_output_or_two_outputs) {
    put(path("in.wav"), "input");
    fs::create_hard_link(path("in.wav"), path("hardlink.wav"));
    fs::create_symlink(path("in.wav"), path("symlink.wav"));
    struct Case {
        std::string input, first, second, says;
    };
    const Case cases[] = {
        // Existing files: by device and inode.
        {path("in.wav"), path("sub/../in.wav"), "",
         "the output '" + path("sub/../in.wav") + "' is the input '" + path("in.wav")},
        {path("in.wav"), path("hardlink.wav"), "", "is the input"},
        {path("in.wav"), path("symlink.wav"), "", "is the input"},
        {path("hardlink.wav"), path("new.wav"), path("in.wav"),
         "the state '" + path("in.wav") + "' is the input"},
        // New files: by folder and name.
        {path("in.wav"), path("new.wav"), path("sub/../new.wav"),
         "the state '" + path("sub/../new.wav") + "' is the output '" + path("new.wav") + "'"},
        {path("in.wav"), path("new.wav"), path("new.wav"),
         "the state '" + path("new.wav") + "' is the output; choose"},
    };
    for (const Case& c : cases) {
        const std::string error = what([&] {
            OutputFiles files;
            files.addInput(c.input, "the input");
            files.add(c.first, "the output");
            if (!c.second.empty()) files.add(c.second, "the state");
            files.write(c.first, std::string("never"));
            files.commit();
        });
        EXPECT_NE(error.find(c.says), std::string::npos)
            << c.first << ", " << c.second << ": " << error;
        EXPECT_EQ(contents(path("in.wav")), "input");
        EXPECT_FALSE(fs::exists(path("new.wav")));
        EXPECT_TRUE(temporaries().empty()) << temporaries().front();
    }
    // Distinct files are fine, including one that only shares a name with another folder's.
    OutputFiles files;
    files.addInput(path("in.wav"), "the input");
    files.add(path("sub/in.wav"), "the output");
    files.add(path("new.wav"), "the state");
    files.write(path("sub/in.wav"), std::string("out"));
    files.commit();
    EXPECT_EQ(contents(path("sub/in.wav")), "out");
    EXPECT_EQ(contents(path("new.wav")), "");
}

TEST_F(OutputFilesTest, nothing_is_in_place_before_commit_and_a_failure_leaves_every_file) {
    put(path("a.txt"), "old a");
    {
        OutputFiles files;
        files.add(path("a.txt"), "the output");
        files.add(path("b.txt"), "the state");
        files.write(path("a.txt"), std::string(200000, 'x')); // past the write buffer
        files.write(path("b.txt"), std::string("new b"));
        EXPECT_EQ(contents(path("a.txt")), "old a");
        EXPECT_FALSE(fs::exists(path("b.txt")));
        EXPECT_EQ(temporaries().size(), 2u);
    } // destroyed without commit, as by an exception
    EXPECT_EQ(contents(path("a.txt")), "old a");
    EXPECT_FALSE(fs::exists(path("b.txt")));
    EXPECT_TRUE(temporaries().empty());

    // Checked before any work: a missing folder, a folder as target, an audio type unknown.
    fs::create_directories(path("folder.wav"));
    const std::string missing = what([&] {
        OutputFiles files;
        files.add(path("a.txt"), "the output");
        files.add(path("no-folder/s.state"), "the saved state");
    });
    EXPECT_NE(missing.find("writing the saved state '" + path("no-folder/s.state") +
                           "': cannot write in '" + path("no-folder") + "'"),
              std::string::npos)
        << missing;
    EXPECT_EQ(what([&] { OutputFiles().add(path("folder.wav"), "the output"); }),
              "writing the output '" + path("folder.wav") + "': it is a directory");
    EXPECT_NE(
        what([&] {
            OutputFiles().add(path("x.mp9"), "the output", OutputKind::Audio);
        }).find("writing the output '" + path("x.mp9") + "': cannot tell the audio file type"),
        std::string::npos);
    EXPECT_EQ(contents(path("a.txt")), "old a");
    EXPECT_TRUE(temporaries().empty());

    // Committed: both in place, a symbolic link followed to its file and kept, the replaced
    // file's permissions kept and the new one's from the umask.
    fs::create_symlink(path("a.txt"), path("link.txt"));
    ASSERT_EQ(chmod(path("a.txt").c_str(), 0640), 0);
    const mode_t mask = umask(022);
    OutputFiles files;
    files.add(path("link.txt"), "the output");
    files.add(path("b.txt"), "the state");
    files.write(path("link.txt"), std::string("new a"));
    files.write(path("b.txt"), std::string("new b"));
    files.commit();
    EXPECT_EQ(contents(path("a.txt")), "new a");
    EXPECT_TRUE(fs::is_symlink(path("link.txt")));
    EXPECT_EQ(contents(path("b.txt")), "new b");
    EXPECT_TRUE(temporaries().empty());
    umask(mask);
    struct stat st {};
    ASSERT_EQ(stat(path("a.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(stat(path("b.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(OutputFilesTest, a_device_is_written_through_never_replaced_and_its_error_is_reported) {
    const std::string null = deviceNode("null", 1, 3), full = deviceNode("full", 1, 7);
    if (null.empty() || full.empty()) GTEST_SKIP() << "no device nodes can be made here";
    setenv("TMPDIR", dir_.c_str(), 1); // where the bytes for a device wait
    put(path("out.txt"), "old");
    {
        OutputFiles files;
        files.add(null, "the output");
        files.add(path("state.txt"), "the state");
        files.add(null, "the second output"); // one device twice loses nothing
        files.write(null, std::string("into the void"));
        files.commit();
    }
    EXPECT_TRUE(isCharacterDevice(null)) << "the device node was replaced";
    EXPECT_EQ(contents(path("state.txt")), "");

    const std::string error = what([&] {
        OutputFiles files;
        files.add(path("out.txt"), "the output");
        files.add(full, "the saved state");
        files.write(path("out.txt"), std::string("new"));
        files.write(full, std::string("state bytes"));
        files.commit();
    });
    unsetenv("TMPDIR");
    EXPECT_EQ(error, "writing the saved state '" + full + "': No space left on device");
    EXPECT_TRUE(isCharacterDevice(full));
    EXPECT_EQ(contents(path("out.txt")), "old") << "a device fails before anything is renamed";
    EXPECT_TRUE(temporaries().empty());
}

TEST_F(OutputFilesTest, a_fifo_is_written_through_to_its_reader_and_stays_a_fifo) {
    const std::string fifo = path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    setenv("TMPDIR", dir_.c_str(), 1);
    std::string received;
    std::thread reader([&] { received = contents(fifo); });
    {
        OutputFiles files;
        files.add(fifo, "the CSV");
        files.write(fifo, std::string("time_s\n0.0\n"));
        files.commit();
    }
    reader.join();
    unsetenv("TMPDIR");
    EXPECT_EQ(received, "time_s\n0.0\n");
    struct stat st {};
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(temporaries().empty());
}
