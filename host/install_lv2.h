// orq install-lv2 [DIR]: copies the LV2 bundle (build/tarvelle.lv2) into DIR, by default ~/.lv2,
// where LV2 hosts look for plug-ins.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orq::host {

// The bundle's name in the build folder and in the destination.
constexpr const char* kLv2BundleName = "tarvelle.lv2";

// The bundle beside the build's bin/ folder that holds the running orq.
std::filesystem::path builtLv2Bundle();
// ~/.lv2 ($HOME's); throws when HOME is not set.
std::filesystem::path defaultLv2Folder();
// Copies bundle into folder/tarvelle.lv2, replacing an older copy whole; returns the path of the
// copy. Throws, and leaves folder as it was, when the bundle is not built (no manifest.ttl) or
// folder cannot be written. [ui-thread] allocates.
std::filesystem::path installLv2Bundle(const std::filesystem::path& bundle,
                                       const std::filesystem::path& folder);
int commandInstallLv2(const std::vector<std::string>& args);

} // namespace orq::host
