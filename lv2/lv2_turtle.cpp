#include "lv2/lv2_turtle.h"

#include "lv2/lv2_ports.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace orq::lv2 {
namespace {

// A decimal Turtle reads as a float: always with a point or an exponent.
std::string decimal(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(value));
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const char* text) {
    std::string s = "\"";
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '"' || *p == '\\') s += '\\';
        s += *p;
    }
    return s + "\"";
}

const char* unitIri(PortUnit unit) {
    switch (unit) {
    case PortUnit::Decibels: return "units:db";
    case PortUnit::Hertz: return "units:hz";
    case PortUnit::None: break;
    }
    return nullptr;
}

float valueOf(const ControlPort& port, const TableParameterSet& set) {
    if (port.element == kScalar) return set.value(port.index);
    const auto* elements = static_cast<const float*>(set.arrayData(port.index));
    return elements != nullptr ? elements[port.element] : 0.0f;
}

// Standard base64 with padding (the text of an xsd:base64Binary literal).
std::string base64(const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = uint32_t(bytes[i]) << 16;
        if (n > 1) group |= uint32_t(bytes[i + 1]) << 8;
        if (n > 2) group |= uint32_t(bytes[i + 2]);
        for (size_t k = 0; k < 4; ++k)
            text += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3f] : '=';
    }
    return text;
}

// The preset's URI: numbered from 1 with two digits, so hosts that sort by URI keep the order.
std::string presetUri(const Description& d, size_t number) {
    char text[8];
    std::snprintf(text, sizeof text, "%02zu", number + 1);
    return std::string(d.uri) + ":preset_" + text;
}

std::string appliesTo(const Description& d) {
    std::string t = "<" + variantUri(d, 2) + ">";
    if (d.monoVariant) t += " , <" + variantUri(d, 1) + ">";
    return t;
}

// The audio ports' groups: the plug-in's main input and output, stereo or mono.
constexpr PortGroup kMainIn{"main_in", "Main in"};
constexpr PortGroup kMainOut{"main_out", "Main out"};

// An LV2 symbol: a letter or underscore, then letters, digits and underscores (ASCII).
bool isSymbol(const char* text) {
    auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    if (text == nullptr || !letter(*text)) return false;
    for (const char* p = text + 1; *p != '\0'; ++p)
        if (!letter(*p) && !(*p >= '0' && *p <= '9')) return false;
    return true;
}

// The control ports' groups in the order of their first ports. Throws for a group without a
// valid symbol or label and for two groups under one symbol (the audio groups' included).
std::vector<const PortGroup*> controlGroups(const Description& d) {
    std::vector<const PortGroup*> groups;
    for (const ControlPort& p : d.ports) {
        const PortGroup* group = p.group;
        if (group == nullptr || std::find(groups.begin(), groups.end(), group) != groups.end())
            continue;
        if (!isSymbol(group->symbol))
            throw std::runtime_error(std::string("a port group's symbol is no LV2 symbol: \"") +
                                     (group->symbol != nullptr ? group->symbol : "") + "\"");
        if (group->label == nullptr || *group->label == '\0')
            throw std::runtime_error(std::string("the port group ") + group->symbol +
                                     " has no label");
        for (const PortGroup* other : {&kMainIn, &kMainOut})
            if (std::strcmp(other->symbol, group->symbol) == 0)
                throw std::runtime_error(std::string("the port group symbol ") + group->symbol +
                                         " is the audio's");
        for (const PortGroup* other : groups)
            if (std::strcmp(other->symbol, group->symbol) == 0)
                throw std::runtime_error(std::string("two port groups share the symbol ") +
                                         group->symbol);
        groups.push_back(group);
    }
    return groups;
}

// A group belongs to its variant: <variant URI#symbol>.
std::string groupIri(const Description& d, int32_t channels, const PortGroup& group) {
    return "<" + variantUri(d, channels) + "#" + group.symbol + ">";
}

std::string groupSubject(const std::string& iri, const std::string& classes,
                         const PortGroup& group) {
    return "\n" + iri + "\n    a " + classes + " ;\n    lv2:symbol " + quoted(group.symbol) +
           " ;\n    rdfs:label " + quoted(group.label);
}

// A group of settings only is an input group, of meters only an output group.
const char* controlGroupClasses(const Description& d, const PortGroup* group) {
    bool settings = false, meters = false;
    for (const ControlPort& p : d.ports) {
        if (p.group != group) continue;
        (p.role == PortRole::Setting ? settings : meters) = true;
    }
    if (settings && !meters) return "pg:Group , pg:InputGroup";
    if (meters && !settings) return "pg:Group , pg:OutputGroup";
    return "pg:Group";
}

// The variant's groups: the audio's main input and output, then the control ports' groups.
std::string groupSubjects(const Description& d, int32_t channels,
                          const std::vector<const PortGroup*>& groups) {
    using namespace std::string_literals;
    const char* audio = channels == 1 ? "pg:MonoGroup" : "pg:StereoGroup";
    const std::string in = groupIri(d, channels, kMainIn);
    std::string t = groupSubject(in, audio + " , pg:InputGroup"s, kMainIn) + " .\n";
    t += groupSubject(groupIri(d, channels, kMainOut), audio + " , pg:OutputGroup"s, kMainOut) +
         " ;\n    pg:source " + in + " .\n";
    for (const PortGroup* group : groups)
        t += groupSubject(groupIri(d, channels, *group), controlGroupClasses(d, group), *group) +
             " .\n";
    return t;
}

// An audio port: its place in the main input or output group by its channel's designation.
std::string audioPort(uint32_t index, bool input, const char* symbol, const char* name,
                      const std::string& group, const char* designation) {
    return "    [\n        a lv2:AudioPort , " +
           std::string(input ? "lv2:InputPort" : "lv2:OutputPort") + " ;\n        lv2:index " +
           std::to_string(index) + " ;\n        lv2:symbol " + quoted(symbol) +
           " ;\n        lv2:name " + quoted(name) + " ;\n        pg:group " + group +
           " ;\n        lv2:designation " + designation + "\n    ]";
}

// An analyser's rows: a sequence of atom:Vector events, each a row of floats; a host may leave
// the port unconnected.
std::string rowPort(const RowPort& rows, uint32_t index) {
    return " , \n    [\n        a lv2:OutputPort , atom:AtomPort ;\n"
           "        atom:bufferType atom:Sequence ;\n        atom:supports atom:Vector ;\n"
           "        lv2:index " + std::to_string(index) + " ;\n        lv2:symbol " +
           quoted(rows.symbol) + " ;\n        lv2:name " + quoted(rows.name) + " ;\n" +
           "        lv2:portProperty lv2:connectionOptional ;\n        rsz:minimumSize " +
           std::to_string(rowPortMinimumBytes(rows)) + "\n    ]";
}

// One variant: its URI, classes, features, main groups and ports, then its groups.
std::string pluginSubject(const Description& d, TableParameterSet& set, int32_t channels) {
    const PortLayout layout(d, channels);
    const std::vector<const PortGroup*> groups = controlGroups(d);
    const std::string in = groupIri(d, channels, kMainIn), out = groupIri(d, channels, kMainOut);
    std::string t = "<" + variantUri(d, channels) + ">\n";
    t += "    a lv2:Plugin , " + std::string(d.lv2Class) + " ;\n";
    t += "    doap:name " + quoted((std::string(set.table().name) + (channels == 1 ? " (mono)" : "")).c_str()) + " ;\n";
    t += "    lv2:optionalFeature urid:map";
    if (d.hardRealTime) t += " , lv2:hardRTCapable";
    t += " ;\n";
    t += "    lv2:extensionData state:interface ;\n";
    t += "    pg:mainInput " + in + " ;\n";
    t += "    pg:mainOutput " + out + " ;\n";
    t += "    lv2:port\n";
    if (channels == 1) {
        t += audioPort(layout.audioIn(0), true, "in", "In", in, "pg:center") + " , \n";
        t += audioPort(layout.audioOut(0), false, "out", "Out", out, "pg:center") + " , \n";
    } else {
        t += audioPort(layout.audioIn(0), true, "in_l", "Left in", in, "pg:left") + " , \n";
        t += audioPort(layout.audioIn(1), true, "in_r", "Right in", in, "pg:right") + " , \n";
        t += audioPort(layout.audioOut(0), false, "out_l", "Left out", out, "pg:left") + " , \n";
        t += audioPort(layout.audioOut(1), false, "out_r", "Right out", out, "pg:right") + " , \n";
    }
    t += "    [\n        a lv2:ControlPort , lv2:OutputPort ;\n        lv2:index " +
         std::to_string(layout.latencyPort()) +
         " ;\n        lv2:symbol \"latency\" ;\n        lv2:name \"Latency\" ;\n"
         "        lv2:designation lv2:latency ;\n"
         "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
         "        lv2:minimum 0.0 ;\n        lv2:maximum 1000000.0 ;\n"
         "        units:unit units:frame\n    ]";
    for (size_t i = 0; i < d.ports.size(); ++i) {
        const ControlPort& p = d.ports[i];
        char symbol[64];
        const bool input = p.role == PortRole::Setting;
        t += " , \n    [\n        a lv2:ControlPort , ";
        t += input ? "lv2:InputPort" : "lv2:OutputPort";
        t += " ;\n        lv2:index " + std::to_string(layout.firstControlPort() + i) + " ;\n";
        t += "        lv2:symbol " + quoted(portSymbol(p, set, symbol, sizeof symbol)) + " ;\n";
        t += "        lv2:name " + quoted(portName(p, set)) + " ;\n";
        if (input) t += "        lv2:default " + decimal(valueOf(p, set)) + " ;\n";
        t += "        lv2:minimum " + decimal(p.minimum) + " ;\n";
        t += "        lv2:maximum " + decimal(p.maximum);
        if (p.style == PortStyle::Integer) t += " ;\n        lv2:portProperty lv2:integer";
        if (p.style == PortStyle::Toggle) t += " ;\n        lv2:portProperty lv2:toggled";
        if (const char* unit = unitIri(p.unit)) t += " ;\n        units:unit " + std::string(unit);
        if (p.group != nullptr) t += " ;\n        pg:group " + groupIri(d, channels, *p.group);
        t += "\n    ]";
    }
    if (d.rows != nullptr) t += rowPort(*d.rows, layout.rowPort());
    t += " .\n";
    return t + groupSubjects(d, channels, groups);
}

} // namespace

std::string pluginTurtle(const Description& d) {
    SetPointer owned(d.createParameters());
    auto* set = dynamic_cast<TableParameterSet*>(owned.get());
    if (set == nullptr) throw std::runtime_error("the plug-in gives no parameter table");

    std::string t;
    t += "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n";
    t += "@prefix doap: <http://usefulinc.com/ns/doap#> .\n";
    t += "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n";
    t += "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n";
    t += "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
    t += "@prefix rsz: <http://lv2plug.in/ns/ext/resize-port#> .\n";
    t += "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n";
    t += "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n";
    t += "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";
    t += pluginSubject(d, *set, 2);
    if (d.monoVariant) t += "\n" + pluginSubject(d, *set, 1);
    return t;
}

std::string presetsTurtle(const Description& d, const std::vector<Preset>& presets) {
    std::string t;
    t += "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n";
    t += "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n";
    t += "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n";
    t += "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
    t += "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n";
    t += "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";
    // The state's one property, declared so that a validator knows it.
    t += "<" + std::string(kStreamUri) + ">\n    a rdf:Property ;\n";
    t += "    rdfs:label \"settings stream\" ;\n";
    t += "    rdfs:comment \"The plug-in's persisted settings as one stream.\" ;\n";
    t += "    rdfs:range xsd:base64Binary .\n";
    for (size_t n = 0; n < presets.size(); ++n) {
        auto* set = dynamic_cast<TableParameterSet*>(presets[n].settings.get());
        if (set == nullptr) throw std::runtime_error("a preset's settings are no parameter table");
        t += "\n<" + presetUri(d, n) + ">\n    a pset:Preset ;\n";
        t += "    lv2:appliesTo " + appliesTo(d) + " ;\n";
        t += "    rdfs:label " + quoted(presets[n].label.c_str()) + " ;\n";
        t += "    lv2:port";
        bool first = true;
        for (const ControlPort& p : d.ports) {
            if (p.role != PortRole::Setting) continue;
            char symbol[64];
            t += first ? " [\n" : " , [\n";
            first = false;
            t += "        lv2:symbol " + quoted(portSymbol(p, *set, symbol, sizeof symbol)) + " ;\n";
            t += "        pset:value " + decimal(valueOf(p, *set)) + "\n    ]";
        }
        t += " ;\n    state:state [\n        <" + std::string(kStreamUri) + "> \"" +
             base64(saveParameterStream(*set, kStreamVersion)) + "\"^^xsd:base64Binary\n    ] .\n";
    }
    return t;
}

std::string manifestEntry(const Description& d, const std::vector<Preset>& presets) {
    std::string entries;
    for (int32_t channels : {2, 1}) {
        if (channels == 1 && !d.monoVariant) continue;
        entries += "<" + variantUri(d, channels) + ">\n    a <http://lv2plug.in/ns/lv2core#Plugin> ;\n" +
                   "    <http://lv2plug.in/ns/lv2core#binary> <" + d.symbol + ".so> ;\n" +
                   "    <http://www.w3.org/2000/01/rdf-schema#seeAlso> <" + d.symbol + ".ttl> .\n\n";
    }
    for (size_t n = 0; n < presets.size(); ++n)
        entries += "<" + presetUri(d, n) + ">\n    a <http://lv2plug.in/ns/ext/presets#Preset> ;\n" +
                   "    <http://lv2plug.in/ns/lv2core#appliesTo> " + appliesTo(d) + " ;\n" +
                   "    <http://www.w3.org/2000/01/rdf-schema#seeAlso> <" + d.symbol +
                   "_presets.ttl> .\n\n";
    return entries;
}

} // namespace orq::lv2
