// lv2_turtle_<plug-in> BUNDLE ENTRY: writes BUNDLE/<symbol>.ttl, and ENTRY, the plug-in's entry of
// the bundle's manifest, from the plug-in's description and parameter table.
#include "lv2/lv2_turtle.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>

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
        writeFile(dir + "/" + d.symbol + ".ttl", orq::lv2::pluginTurtle(d));
        writeFile(argv[2], orq::lv2::manifestEntry(d));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
