#include "host/demo_tessaline_brisquet.h"

#include "host/commands.h"
#include "host/session.h"

#include <fstream>
#include <iostream>
#include <string>

namespace orq::host {

namespace {

bool built(const char* name) {
    try {
        findPlugin(name);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

void snapshotTessalineAndBrisquetEditors(const std::filesystem::path& dir, EngineWindow& engine) {
    const std::string mix = (dir / "mix.wav").string();
    const std::string bright = (dir / "mix-bright.wav").string();
    if (built("Orq Tessaline") && std::filesystem::exists(bright)) {
        // Third octave (534), learn (539) the source while the mix plays, the learn target (541)
        // down for the destination while the bright mix plays, learn off, match (540); then the
        // bright mix plays on through the match while the display takes two timer periods.
        const std::string script = (dir / "tessaline-editor.txt").string();
        std::ofstream(script) << "click 270 337\nclick 45 337\nplay " << mix
                              << "\nclick 90 337\nplay " << bright
                              << "\nclick 45 337\nclick 135 337\nplay " << bright
                              << " 1.5\nmove 300 120\n";
        std::cout << "\nthe matching filter's editor after learning and matching:\n";
        commandEditor({"Orq Tessaline", "--script", script, "--png",
                       (dir / "tessaline-editor.png").string()},
                      engine);
        std::filesystem::remove(script);
    }
    if (built("Orq Brisquet")) {
        std::cout << "\nthe enhancer's editor while the mix plays:\n";
        commandEditor({"Orq Brisquet", "--set", "mix=0.8", "--set", "gain=0.8", "--set", "den=4",
                       "--play", mix, "--until", "3", "--png",
                       (dir / "brisquet-editor.png").string()},
                      engine);
    }
}

} // namespace orq::host
