#include "host/install_lv2.h"

#include "host/commands.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace orq::host {

fs::path builtLv2Bundle() {
    const fs::path program = fs::read_symlink("/proc/self/exe");
    return program.parent_path().parent_path() / kLv2BundleName;
}

fs::path defaultLv2Folder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        throw std::runtime_error("HOME is not set: name the folder (orq install-lv2 DIR)");
    return fs::path(home) / ".lv2";
}

fs::path installLv2Bundle(const fs::path& bundle, const fs::path& folder) {
    if (!fs::is_regular_file(bundle / "manifest.ttl"))
        throw std::runtime_error("the LV2 bundle " + bundle.string() +
                                 " is not built (cmake --build build --target lv2_bundle)");
    std::error_code error;
    if (fs::exists(folder) && !fs::is_directory(folder))
        throw std::runtime_error(folder.string() + " is not a folder");
    fs::create_directories(folder, error);
    if (error) throw std::runtime_error("cannot create " + folder.string() + ": " + error.message());
    // Copied beside the destination first, so a failed copy leaves any installed bundle whole.
    const fs::path target = folder / kLv2BundleName;
    const fs::path staging = folder / (std::string(".") + kLv2BundleName + "." +
                                       std::to_string(::getpid()));
    fs::remove_all(staging, error);
    fs::copy(bundle, staging, fs::copy_options::recursive | fs::copy_options::copy_symlinks,
             error);
    if (error) {
        std::error_code ignored; // the staging copy is all there is to tidy
        fs::remove_all(staging, ignored);
        throw std::runtime_error("cannot copy the bundle into " + folder.string() + ": " +
                                 error.message());
    }
    fs::remove_all(target, error);
    if (!error) fs::rename(staging, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        throw std::runtime_error("cannot replace " + target.string() + ": " + error.message());
    }
    return target;
}

int commandInstallLv2(const std::vector<std::string>& args) {
    if (args.size() > 1) throw UsageError("install-lv2 takes at most one folder");
    const fs::path folder = args.empty() ? defaultLv2Folder() : fs::path(args[0]);
    const fs::path installed = installLv2Bundle(builtLv2Bundle(), folder);
    std::cout << "installed " << installed.string() << "\n";
    return 0;
}

} // namespace orq::host
