// What orq does to the files a user names: no output replaces an input or another output, a
// command writes all its outputs or none, devices and FIFOs are written through, a killed run
// leaves no temporary file, and every error names its file.
#include "host/audio_file.h"
#include "host/cli_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace orq;
using namespace orq::host;

namespace {

using orq::host::testing::Result;

const std::string kPassthrough = "'Orq Passthrough'";

class FilesCli : public orq::host::testing::OrqCommandTest<FilesCli> {
  protected:
    static void SetUpTestSuite() {
        makeScratch("orq-files-cli-");
        std::string libraries = " " + quote(ORQ_TEST_PLUGIN_DIR "/passthrough_dx.so");
        for (const char* name : {"tessaline", "ombrel", "compressor"})
            libraries += " " + quote(std::string(ORQ_PLUGIN_DIR "/") + name + "_dx.so");
        ASSERT_EQ(run("register" + libraries).exitCode, 0);
        // Where the bytes for a device or a FIFO wait: inside the scratch folder, where the
        // tests look for temporaries left behind.
        fs::create_directories(path("tmp"));
        setenv("TMPDIR", path("tmp").c_str(), 1);
    }
    static void TearDownTestSuite() {
        unsetenv("TMPDIR");
        OrqCommandTest<FilesCli>::TearDownTestSuite();
    }

    static std::string writeInput(const std::string& name, double seconds) {
        AudioData a;
        a.channels = 2;
        a.sampleRate = 44100;
        a.frames = int64_t(seconds * a.sampleRate);
        a.format = SampleFormat::Int16;
        uint32_t state = 777;
        for (int64_t i = 0; i < a.frames * 2; ++i) {
            state = state * 1664525u + 1013904223u;
            a.int16.push_back(int16_t(int32_t(state >> 16) - 32768) / 4);
        }
        writeAudio(path(name), a);
        return path(name);
    }
    static std::string bytes(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Temporary files of a write anywhere in the scratch folder.
    static std::vector<std::string> temporaries() {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(dir_))
            if (e.path().filename().string().find(".orq-") != std::string::npos)
                found.push_back(e.path().string());
        return found;
    }
    static bool isCharacterDevice(const std::string& file) {
        struct stat st {};
        return lstat(file.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
    }
    static bool isFifo(const std::string& file) {
        struct stat st {};
        return lstat(file.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    }
    // orq started in the background with the handled signals at their default actions; its
    // standard error goes to errFile.
    static pid_t start(const std::vector<std::string>& args, const std::string& errFile) {
        std::vector<std::string> all = {ORQ_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&files, STDERR_FILENO, errFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            sigaddset(&defaults, s);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, argv[0], &files, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
        return rc == 0 ? pid : -1;
    }
    // Waits up to timeout for file to exist.
    static bool appears(const std::function<bool()>& condition, std::chrono::seconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
};

} // namespace

TEST_F(FilesCli, save_state_onto_the_output_or_the_reference_is_refused_and_both_files_stay) {
    const std::string in = writeInput("in.wav", 0.5);
    const std::string reference = writeInput("reference.wav", 0.5);
    const std::string out = path("out.wav");
    ASSERT_EQ(run("process " + kPassthrough + " " + quote(in) + " " + quote(out)).exitCode, 0);
    const std::string inBytes = bytes(in), outBytes = bytes(out), refBytes = bytes(reference);
    fs::create_directories(path("sub"));
    struct Case {
        std::string command, says;
    };
    const Case cases[] = {
        {"process " + kPassthrough + " " + quote(in) + " " + quote(out) + " --save-state " +
             quote(out),
         "the saved state '" + out + "' is the output; choose another file"},
        {"process " + kPassthrough + " " + quote(in) + " " + quote(out) + " --save-state " +
             quote(path("sub/../out.wav")),
         "is the output"},
        {"process " + kPassthrough + " " + quote(in) + " " + quote(path("new.wav")) +
             " --save-state " + quote(path("./new.wav")),
         "the saved state '" + path("./new.wav") + "' is the output '" + path("new.wav") + "'"},
        {"process " + kPassthrough + " " + quote(in) + " " + quote(out) + " --save-state " +
             quote(in),
         "is the input"},
        {"match --reference " + quote(reference) + " " + quote(in) + " " + quote(out) +
             " --save-state " + quote(reference),
         "the saved state '" + reference + "' is the reference"},
        {"match --reference " + quote(reference) + " " + quote(in) + " " + quote(reference),
         "the output '" + reference + "' is the reference"},
        {"spectrogram " + quote(in) + " " + quote(out) + " --output " + quote(out),
         "the audio output '" + out + "' is the CSV"},
        {"spectrogram " + quote(in) + " " + quote(path("new.csv")) + " --output " + quote(in),
         "is the input"},
        {"scope " + quote(in) + " --output " + quote(in), "is the input"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.command);
        EXPECT_EQ(r.exitCode, 1) << c.command;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.command << "\n" << r.err;
        // Byte for byte (compared as a whole: a difference would print megabytes).
        EXPECT_TRUE(bytes(in) == inBytes) << "the input changed: " << c.command;
        EXPECT_TRUE(bytes(out) == outBytes) << "the output changed: " << c.command;
        EXPECT_TRUE(bytes(reference) == refBytes) << "the reference changed: " << c.command;
        EXPECT_FALSE(fs::exists(path("new.wav")) || fs::exists(path("new.csv"))) << c.command;
        EXPECT_TRUE(temporaries().empty()) << c.command << ": " << temporaries().front();
    }
}

TEST_F(FilesCli, a_command_writes_all_its_outputs_or_none) {
    const std::string in = writeInput("all-in.wav", 0.3);
    fs::create_directories(path("a-folder"));
    const std::string out = path("all-out.wav"), csv = path("all.csv");
    struct Case {
        std::string command, says;
    };
    // Each failure is found before the work starts, after the first output was named.
    const Case cases[] = {
        {"process " + kPassthrough + " " + quote(in) + " " + quote(out) + " --save-state " +
             quote(path("no-folder/s.state")),
         "writing the saved state '" + path("no-folder/s.state") + "': cannot write in '" +
             path("no-folder") + "': No such file or directory"},
        {"process " + kPassthrough + " " + quote(in) + " " + quote(out) + " --save-state " +
             quote(path("a-folder")),
         "writing the saved state '" + path("a-folder") + "': it is a directory"},
        {"spectrogram " + quote(in) + " " + quote(csv) + " --output " + quote(path("x.mp9")),
         "writing the audio output '" + path("x.mp9") + "': cannot tell the audio file type"},
        {"match --reference " + quote(in) + " " + quote(in) + " " + quote(out) + " --save-state " +
             quote(path("a-folder/")),
         "it names a folder"},
    };
    for (const Case& c : cases) {
        const Result r = run(c.command);
        EXPECT_EQ(r.exitCode, 1) << c.command;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.command << "\n" << r.err;
        EXPECT_FALSE(fs::exists(out)) << c.command;
        EXPECT_FALSE(fs::exists(csv)) << c.command;
        EXPECT_TRUE(temporaries().empty()) << c.command << ": " << temporaries().front();
    }
    // And all of them when nothing fails.
    const Result r = run("spectrogram " + quote(in) + " " + quote(csv) + " --output " + quote(out));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(csv) && fs::exists(out));
}

TEST_F(FilesCli, devices_and_fifos_are_written_through_and_never_replaced) {
    // Nodes of /dev/null's and /dev/full's numbers in the scratch folder: a fault replaces
    // these and not the system's. Audio outputs need an audio extension.
    const std::string in = writeInput("device-in.wav", 0.3);
    const std::string null = path("null.wav"), full = path("full.state");
    const bool devices = mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 &&
                         mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
    if (devices) {
        const std::string state = path("device.state");

        Result r = run("process " + kPassthrough + " " + quote(in) + " " + quote(null) +
                       " --save-state " + quote(state));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(isCharacterDevice(null)) << "the device node was replaced";
        EXPECT_TRUE(fs::exists(state));

        const std::string out = path("device-out.wav");
        r = run("process " + kPassthrough + " " + quote(in) + " " + quote(out) + " --save-state " +
                quote(full));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "orq: writing the saved state '" + full + "': No space left on device\n");
        EXPECT_TRUE(isCharacterDevice(full));
        EXPECT_FALSE(fs::exists(out)) << "nothing is renamed into place after a device failed";
        EXPECT_TRUE(temporaries().empty()) << temporaries().front();
    }

    // A FIFO gets the CSV through it, read here as it comes.
    const std::string fifo = path("spectra.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string received;
    std::thread drain([&] {
        // Until the writer has come and gone (POLLHUP with nothing left), at most 20 s.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool connected = false;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{reader, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char chunk[4096];
            const ssize_t n = read(reader, chunk, sizeof chunk);
            if (n > 0) {
                received.append(chunk, size_t(n));
                connected = true;
            } else if ((p.revents & POLLHUP) != 0 && (connected || n == 0)) {
                break;
            }
        }
    });
    const Result r = run("spectrogram " + quote(in) + " " + quote(fifo));
    drain.join();
    close(reader);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(isFifo(fifo)) << "the FIFO was replaced";
    EXPECT_EQ(received.rfind("time_s,", 0), 0u) << received.substr(0, 80);
    EXPECT_TRUE(temporaries().empty()) << temporaries().front();
    if (!devices) GTEST_SKIP() << "the device half needs mknod (CAP_MKNOD); the FIFO half ran";
}

TEST_F(FilesCli, a_run_killed_by_a_signal_leaves_no_temporary_file) {
    // A long input through the compressor, interrupted once its output's temporary exists.
    const std::string in = writeInput("long-in.wav", 90.0);
    const std::string out = path("killed.wav");
    const pid_t pid =
        start({"process", "Orq Compressor", in, out, "--save-state", path("killed.state")},
              path("killed-err.txt"));
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(appears([] { return !temporaries().empty(); }, std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT)
        << "the run ended by itself (status " << status << "): make the input longer";
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(temporaries().empty()) << temporaries().front();

    // Killed while its outputs wait for a FIFO that nobody reads: every output is complete in
    // its temporary file by then.
    const std::string fifo = path("nobody-reads.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string shortIn = writeInput("short-in.wav", 0.2);
    const pid_t blocked = start({"process", "Orq Passthrough", shortIn, out, "--save-state", fifo},
                                path("blocked-err.txt"));
    ASSERT_GT(blocked, 0);
    EXPECT_TRUE(appears([] { return temporaries().size() == 2; }, std::chrono::seconds(20)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(blocked, SIGTERM);
    ASSERT_EQ(waitpid(blocked, &status, 0), blocked);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(isFifo(fifo));
    EXPECT_TRUE(temporaries().empty()) << temporaries().front();
}
