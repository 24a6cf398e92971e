// What every test of the orq command shares: a scratch folder with a registry of its own, and a
// way to run orq there and read its exit code, standard output and standard error.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace orq::host::testing {

struct Result {
    int exitCode;
    std::string out;
    std::string err;
};

// Base of a test suite that runs orq: Suite is the suite's own class, so each suite has its own
// folder. The suite's SetUpTestSuite calls makeScratch first, then registers what it needs.
template <class Suite> class OrqCommandTest : public ::testing::Test {
  protected:
    static void makeScratch(const std::string& prefix) {
        dir_ = std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        setenv("ORQ_REGISTRY", (dir_ / "registry").c_str(), 1);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }

    static std::string quote(const std::string& s) { return "'" + s + "'"; }
    static std::string path(const std::string& name) { return (dir_ / name).string(); }

    static Result run(const std::string& args) {
        const std::string err = path("stderr.txt");
        const std::string command = std::string(ORQ_BINARY) + " " + args + " 2>" + quote(err);
        Result r{};
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            r.out.append(buffer, n);
        const int status = pclose(pipe);
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(err);
        r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return r;
    }

    static inline std::filesystem::path dir_;
};

} // namespace orq::host::testing
