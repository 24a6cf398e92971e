// lv2_turtle_<plug-in> BUNDLE ENTRY: writes BUNDLE/<symbol>.ttl, BUNDLE/<symbol>_presets.ttl for a
// plug-in with presets, and ENTRY, the plug-in's entry of the bundle's manifest, from the
// plug-in's description, parameter table and presets.
#include "lv2/lv2_turtle.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BUNDLE ENTRY\n", argv[0]);
        return 2;
    }
    try {
        const orq::lv2::Description& d = orq::lv2::thisDescription();
        const std::string dir = argv[1];
        const std::vector<orq::lv2::Preset> presets = orq::lv2::thisPresets();
        writeFile(dir + "/" + d.symbol + ".ttl", orq::lv2::pluginTurtle(d));
        if (!presets.empty())
            writeFile(dir + "/" + d.symbol + "_presets.ttl", orq::lv2::presetsTurtle(d, presets));
        writeFile(argv[2], orq::lv2::manifestEntry(d, presets));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
