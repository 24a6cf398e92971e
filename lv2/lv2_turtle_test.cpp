// The Turtle generator's port groups on a small table of its own: each group written once per
// variant with the kind its ports give it, and a description whose groups a host could not tell
// apart refused with a message naming the group.
#include "lv2/lv2_turtle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orq::lv2 {
namespace {

enum : int32_t { kGain, kLevel, kBands, kParamCount };

constexpr ParameterDef kDefs[kParamCount] = {
    {"Gain", kKindFloat, 0.0f, 0, 0, "Gain"},
    {"Level", kKindFloat, 0.0f, 0, 0, "Level"},
    {"Bands", kKindArray, 0.0f, 3, sizeof(float), "Bands"},
};
constexpr ParameterTable kTable{0x54657374, "Groups Test", kDefs};

ParameterSet* createSet() {
    return new TableParameterSet(kTable);
}

ControlPort setting(int32_t index, int32_t element, const char* symbol, const PortGroup* group) {
    ControlPort p{index,          element, PortRole::Setting,
                  -1.0f,          1.0f,    PortStyle::Continuous,
                  PortUnit::None, symbol,  nullptr};
    p.group = group;
    return p;
}

ControlPort meter(const char* symbol, const PortGroup* group) {
    ControlPort p = setting(kLevel, kScalar, symbol, group);
    p.role = PortRole::Meter;
    return p;
}

Description describe(const std::vector<ControlPort>& ports) {
    return Description{
        "urn:test:groups", "groups", "lv2:UtilityPlugin", createSet, nullptr, ports, false};
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The subject block written for a group: from its IRI at a line's start to the closing " .".
std::string subject(const std::string& turtle, const std::string& iri) {
    const size_t at = turtle.find("\n<" + iri + ">\n");
    if (at == std::string::npos) return "";
    return turtle.substr(at + 1, turtle.find(" .\n", at) - at);
}

TEST(Lv2Turtle, groups_are_written_once_per_variant_with_the_kind_of_their_ports) {
    const PortGroup bands{"bands", "Bands"};
    const PortGroup mixed{"gain_and_level", "Gain and level"};
    const std::vector<ControlPort> ports = {
        setting(kBands, 0, "band_1", &bands), setting(kGain, kScalar, "gain", &mixed),
        setting(kBands, 1, "band_2", &bands), meter("level", &mixed),
        setting(kBands, 2, "band_3", nullptr)};
    const std::string t = pluginTurtle(describe(ports));

    for (const std::string variant : {"urn:test:groups", "urn:test:groups_mono"}) {
        const std::string settingsOnly = subject(t, variant + "#bands");
        EXPECT_NE(settingsOnly.find("a pg:Group , pg:InputGroup ;"), std::string::npos)
            << settingsOnly;
        EXPECT_NE(settingsOnly.find("rdfs:label \"Bands\""), std::string::npos) << settingsOnly;
        const std::string both = subject(t, variant + "#gain_and_level");
        EXPECT_NE(both.find("a pg:Group ;"), std::string::npos) << both;
        EXPECT_EQ(count(t, "\n<" + variant + "#bands>\n"), 1u) << t;
        EXPECT_EQ(count(t, "pg:group <" + variant + "#bands>"), 2u) << t;
        EXPECT_EQ(count(t, "pg:group <" + variant + "#gain_and_level>"), 2u) << t;
    }
    const std::string monoIn = subject(t, "urn:test:groups_mono#main_in");
    EXPECT_NE(monoIn.find("pg:MonoGroup , pg:InputGroup"), std::string::npos) << monoIn;
    EXPECT_EQ(count(t, "lv2:designation pg:center"), 2u) << t;
    EXPECT_EQ(count(t, "lv2:designation pg:left"), 2u) << t;
}

TEST(Lv2Turtle, groups_a_host_cannot_tell_apart_are_refused) {
    const PortGroup bands{"bands", "Bands"};
    const PortGroup sameSymbol{"bands", "Other bands"};
    const PortGroup audios{"main_out", "Outputs"};
    const PortGroup digitFirst{"2bands", "Bands"};
    const PortGroup spaced{"two bands", "Bands"};
    const PortGroup empty{"", "Bands"};
    const PortGroup unlabelled{"unlabelled", ""};
    struct Case {
        const PortGroup* second;
        const char* named; // what the message names
    };
    const Case cases[] = {{&sameSymbol, "bands"},  {&audios, "main_out"},
                          {&digitFirst, "2bands"}, {&spaced, "two bands"},
                          {&empty, "\"\""},        {&unlabelled, "unlabelled"}};
    for (const Case& c : cases) {
        const std::vector<ControlPort> ports = {setting(kBands, 0, "band_1", &bands),
                                                setting(kBands, 1, "band_2", c.second)};
        try {
            pluginTurtle(describe(ports));
            ADD_FAILURE() << "the group \"" << c.second->symbol << "\" was written";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
    }
    // One group object named once is fine however many ports it holds.
    EXPECT_NO_THROW(pluginTurtle(
        describe({setting(kBands, 0, "band_1", &bands), setting(kBands, 1, "band_2", &bands)})));
}

} // namespace
} // namespace orq::lv2
