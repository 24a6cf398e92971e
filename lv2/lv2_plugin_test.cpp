// The bundle in a host: each plug-in loaded through lilv from build/tarvelle.lv2 and run the way
// a host runs it (512-frame blocks unless a test says otherwise).
#include "lv2/lv2_test_host.h"

#include "lv2/lv2_ports.h"
#include "scope/scope_engine.h"
#include "spectrogram/spectrogram_engine.h"

#include <gtest/gtest.h>

#include <lv2/core/lv2.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/units/units.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace orq::lv2::test {
namespace {

const std::vector<std::string> kAllPlugins = {"pressane", "compressor", "tessaline",
                                              "brisquet", "ombrel",     "lunavis"};
// Every variant: the stereo plug-ins and the mono ones (all but the phase scope, which needs two
// channels).
const std::vector<std::string> kAllVariants = {
    "pressane",      "compressor",      "tessaline",      "brisquet",      "ombrel",  "lunavis",
    "pressane_mono", "compressor_mono", "tessaline_mono", "brisquet_mono", "ombrel_mono"};

std::string uriOf(const std::string& symbol) {
    return "urn:tarvelle:lv2:" + symbol;
}

World& world() {
    static World w(ORQ_LV2_BUNDLE_PATH);
    return w;
}

// Interleaved stereo noise with a slow swell, peaks near full scale.
std::vector<float> noise(size_t frames, uint32_t seed, float level = 0.5f) {
    std::mt19937 random(seed);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    std::vector<float> x(2 * frames);
    for (size_t i = 0; i < frames; ++i) {
        const float swell = level * (0.3f + 0.7f * float(i) / float(frames));
        x[2 * i] = std::clamp(swell * gauss(random), -1.0f, 1.0f);
        x[2 * i + 1] = std::clamp(swell * gauss(random), -1.0f, 1.0f);
    }
    return x;
}

size_t loudestFrame(const std::vector<float>& interleaved) {
    size_t best = 0;
    for (size_t i = 0; i < interleaved.size() / 2; ++i)
        if (std::fabs(interleaved[2 * i]) > std::fabs(interleaved[2 * best])) best = i;
    return best;
}

std::vector<float> channel(const std::vector<float>& interleaved, size_t c) {
    std::vector<float> x(interleaved.size() / 2);
    for (size_t i = 0; i < x.size(); ++i) x[i] = interleaved[2 * i + c];
    return x;
}

bool allFinite(const std::vector<float>& x) {
    return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
}

TEST(Lv2Bundle, latency_port_reports_the_delay_an_impulse_takes) {
    constexpr size_t kImpulseFrame = 1000;
    for (const std::string& p : kAllVariants) {
        Instance plugin(world(), uriOf(p));
        std::vector<float> in(2 * 16384, 0.0f);
        in[2 * kImpulseFrame] = in[2 * kImpulseFrame + 1] = 0.5f;
        const std::vector<float> out = plugin.run(in);
        const float latency = plugin.get("latency");
        EXPECT_EQ(double(loudestFrame(out)) - double(kImpulseFrame), double(latency))
            << p << ": reported latency " << latency;
    }
}

TEST(Lv2Bundle, output_does_not_depend_on_the_hosts_block_size) {
    const std::vector<float> in = noise(30000, 7);
    for (const std::string& p : kAllVariants) {
        Instance small(world(), uriOf(p)), odd(world(), uriOf(p)), large(world(), uriOf(p));
        const std::vector<float> reference = small.run(in, 512);
        EXPECT_EQ(odd.run(in, 37), reference) << p << " in 37-frame blocks";
        // Longer than the plug-ins' float block: handed over in pieces.
        EXPECT_EQ(large.run(in, 20000), reference) << p << " in 20000-frame blocks";
    }
}

TEST(Lv2Bundle, analysers_pass_the_audio_bit_for_bit_after_their_latency) {
    const std::vector<float> in = noise(20000, 3);
    for (const std::string p : {"ombrel", "lunavis"}) {
        Instance plugin(world(), uriOf(p));
        const std::vector<float> out = plugin.run(in);
        const size_t latency = size_t(plugin.get("latency"));
        ASSERT_LT(latency, in.size() / 2) << p;
        const std::vector<float> delayed(out.begin() + 2 * ptrdiff_t(latency), out.end());
        const std::vector<float> original(in.begin(), in.end() - 2 * ptrdiff_t(latency));
        EXPECT_EQ(delayed, original) << p << " with latency " << latency;
    }
}

// Every setting port of every plug-in takes NaN, infinities and huge values without a crash and
// without a sample that is not a number.
TEST(Lv2Bundle, any_port_value_runs_and_gives_finite_audio) {
    const std::vector<float> in = noise(6000, 11);
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 1.0e30f, -1.0e30f};
    LilvNode* input = lilv_new_uri(world().world(), LV2_CORE__InputPort);
    LilvNode* control = lilv_new_uri(world().world(), LV2_CORE__ControlPort);
    for (const std::string& p : kAllVariants) {
        const LilvPlugin* plugin = world().plugin(uriOf(p));
        for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            if (!lilv_port_is_a(plugin, port, input) || !lilv_port_is_a(plugin, port, control))
                continue;
            const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            for (float value : bad) {
                Instance instance(world(), uriOf(p));
                instance.set(symbol, value);
                EXPECT_TRUE(allFinite(instance.run(in))) << p << " " << symbol << " = " << value;
            }
        }
    }
    lilv_node_free(input);
    lilv_node_free(control);
}

// The deliverables' clamps: a value beyond the range acts as the range's end, a NaN as the
// default (the maximizer and the enhancer) or as no change (the compressor).
TEST(Lv2Bundle, values_beyond_the_range_act_as_the_deliverables_clamp_them) {
    const std::vector<float> in = noise(20000, 5, 0.9f);
    struct Case {
        const char* plugin;
        const char* symbol;
        float sent;
        float acts_as;
    };
    const Case cases[] = {
        {"pressane", "desgain", 1.0e30f, 12.0f},
        {"pressane", "desgain", -5.0f, 0.0f},
        {"pressane", "desgain", std::numeric_limits<float>::quiet_NaN(), 0.0f},
        {"pressane", "headroom", 40.0f, 9.0f},
        {"compressor", "output", 1.0e9f, 12.0f},
        {"compressor", "output", std::numeric_limits<float>::quiet_NaN(), 0.0f},
        {"compressor", "band_gain_2", -100.0f, -12.0f},
        {"compressor", "nrofbands", 99.0f, 5.0f},
        {"brisquet", "igain", 1.0e30f, 6.0f},
        {"brisquet", "hpf", std::numeric_limits<float>::quiet_NaN(), 3000.0f},
        {"tessaline", "slider_4", 1.0e30f, 15.0f},
        {"tessaline", "slider_30", -40.0f, -15.0f},
        {"tessaline", "slider_4", std::numeric_limits<float>::quiet_NaN(), 0.0f},
    };
    for (const Case& c : cases) {
        Instance sent(world(), uriOf(c.plugin)), clamped(world(), uriOf(c.plugin));
        sent.set(c.symbol, c.sent);
        clamped.set(c.symbol, c.acts_as);
        EXPECT_EQ(sent.run(in), clamped.run(in))
            << c.plugin << " " << c.symbol << " = " << c.sent << " should act as " << c.acts_as;
    }
}

TEST(Lv2Bundle, compressor_state_restores_into_a_new_instance_without_its_ports) {
    const std::vector<float> in = noise(20000, 9, 0.8f);
    Instance saved(world(), uriOf("compressor"));
    saved.set("nrofbands", 4.0f);
    saved.set("band_gain_2", 6.0f);
    saved.set("output", -3.0f);
    saved.set("softclip", 1.0f);
    saved.run(noise(2048, 1));
    LilvState* state = saved.saveState();
    ASSERT_NE(state, nullptr);

    // The restored instance's ports stay at their defaults: the settings come from the stream.
    Instance restored(world(), uriOf("compressor"));
    restored.restoreState(state, false);
    Instance reference(world(), uriOf("compressor"));
    reference.set("nrofbands", 4.0f);
    reference.set("band_gain_2", 6.0f);
    reference.set("output", -3.0f);
    reference.set("softclip", 1.0f);
    Instance fresh(world(), uriOf("compressor"));
    const std::vector<float> out = restored.run(in);
    EXPECT_EQ(out, reference.run(in));
    EXPECT_NE(out, fresh.run(in)) << "the state changed nothing";
    lilv_state_free(state);
}

// Learned spectra: learn a source and a destination in one instance, save, restore into a new
// instance (port values with it, as a host does) and match there.
TEST(Lv2Bundle, tessaline_learned_spectra_restore_into_a_new_instance) {
    const std::vector<float> source = noise(44100, 21, 0.3f);
    std::vector<float> destination = noise(44100, 22, 0.3f);
    for (size_t i = 2; i < destination.size(); ++i) destination[i] += 0.9f * destination[i - 2];
    const std::vector<float> program = noise(30000, 23, 0.3f);

    Instance learner(world(), uriOf("tessaline"));
    learner.set("learn_source", 1.0f);
    learner.set("learn", 1.0f);
    learner.run(source);
    learner.set("learn", 0.0f);
    learner.run(noise(1024, 2, 0.0f));
    EXPECT_EQ(learner.get("source_learned"), 1.0f);
    learner.set("learn_source", 0.0f);
    learner.set("learn", 1.0f);
    learner.run(destination);
    learner.set("learn", 0.0f);
    learner.run(noise(1024, 2, 0.0f));
    EXPECT_EQ(learner.get("destination_learned"), 1.0f);
    learner.set("match", 1.0f);
    learner.run(noise(1024, 2, 0.0f));
    LilvState* state = learner.saveState();
    ASSERT_NE(state, nullptr);

    Instance first(world(), uriOf("tessaline")), second(world(), uriOf("tessaline"));
    first.restoreState(state, true);
    second.restoreState(state, true);
    EXPECT_EQ(first.get("match"), 1.0f);
    const std::vector<float> matched = first.run(program);
    EXPECT_EQ(second.run(program), matched);
    EXPECT_EQ(first.get("source_learned"), 1.0f);
    EXPECT_EQ(first.get("destination_learned"), 1.0f);
    Instance unmatched(world(), uriOf("tessaline"));
    unmatched.set("match", 1.0f);
    EXPECT_NE(unmatched.run(program), matched) << "the learned spectra did not travel";
    lilv_state_free(state);
}

// The sliders: each array's port moves the curve in force (the plain one while match is off,
// the match one while it is on), and a drawn curve travels in the state.
TEST(Lv2Bundle, tessaline_slider_ports_shape_the_curve_in_force_and_travel_in_the_state) {
    const std::vector<float> in = noise(20000, 31, 0.4f);
    Instance flat(world(), uriOf("tessaline")), raised(world(), uriOf("tessaline"));
    raised.set("slider_10", 6.0f);
    const std::vector<float> flatOut = flat.run(in);
    const std::vector<float> raisedOut = raised.run(in);
    EXPECT_NE(raisedOut, flatOut) << "slider_10 changed nothing";

    // The match curve is in force only with match on; with nothing learned the match term is
    // 0 dB, so the same slider gives the same filter.
    Instance matchOff(world(), uriOf("tessaline")), matchOn(world(), uriOf("tessaline"));
    matchOff.set("match_slider_10", 6.0f);
    matchOn.set("match", 1.0f);
    matchOn.set("match_slider_10", 6.0f);
    EXPECT_EQ(matchOff.run(in), flatOut) << "the match curve acted while match was off";
    EXPECT_EQ(matchOn.run(in), raisedOut);

    Instance drawn(world(), uriOf("tessaline"));
    drawn.set("slider_3", -7.0f);
    drawn.set("slider_22", 4.5f);
    drawn.set("match_slider_20", 4.0f);
    drawn.run(noise(2048, 1));
    LilvState* state = drawn.saveState();
    ASSERT_NE(state, nullptr);
    // Without the port values the stream alone carries the curves; with them the ports agree.
    Instance restored(world(), uriOf("tessaline")), withPorts(world(), uriOf("tessaline"));
    restored.restoreState(state, false);
    withPorts.restoreState(state, true);
    EXPECT_EQ(withPorts.get("slider_3"), -7.0f);
    EXPECT_EQ(withPorts.get("match_slider_20"), 4.0f);
    Instance reference(world(), uriOf("tessaline"));
    reference.set("slider_3", -7.0f);
    reference.set("slider_22", 4.5f);
    const std::vector<float> referenceOut = reference.run(in);
    EXPECT_EQ(restored.run(in), referenceOut);
    EXPECT_EQ(withPorts.run(in), referenceOut);
    EXPECT_NE(referenceOut, flatOut);
    lilv_state_free(state);
}

// The spectra port carries every spectrum the analyser measures, in order, as its engine gives
// them (the mean view of both channels by default), each in the block that completed it.
TEST(Lv2Bundle, ombrel_spectra_port_carries_the_engines_spectra) {
    constexpr size_t kFrames = 40 * 512; // 40 spectra, the engine's whole ring
    constexpr int32_t kBin = 40;
    std::vector<float> in = noise(kFrames, 41, 0.01f);
    for (size_t i = 0; i < kFrames; ++i) {
        const double phase = 2.0 * std::numbers::pi * kBin * double(i) / 1024.0;
        in[2 * i] += float(0.5 * std::sin(phase));
        in[2 * i + 1] += float(0.3 * std::sin(phase + 1.0));
    }
    Instance plugin(world(), uriOf("ombrel"));
    plugin.collectRows("spectra", 65536);
    EXPECT_EQ(plugin.run(in), in) << "the audio did not pass bit for bit";

    spectrogram::SpectrogramEngine engine(44100, 2);
    const std::vector<float> left = channel(in, 0), right = channel(in, 1);
    const float* channels[] = {left.data(), right.data()};
    engine.process(channels, int32_t(kFrames));
    const spectrogram::SpectrogramEngine::Collection expected = engine.collect();
    ASSERT_EQ(expected.count, 40);
    ASSERT_EQ(plugin.rows().size(), size_t(expected.count));
    for (size_t r = 0; r < plugin.rows().size(); ++r) {
        const Instance::Row& row = plugin.rows()[r];
        const float* want = expected.rows + r * spectrogram::kSpectrumBins;
        EXPECT_EQ(row.values, std::vector<float>(want, want + spectrogram::kSpectrumBins)) << "row " << r;
        // Two spectra per 1024 frames, handed out in the block that completed them, stamped
        // with its last frame.
        EXPECT_EQ(row.block, r / 2 * 2 + 1) << "row " << r;
        EXPECT_EQ(row.frame, 511) << "row " << r;
        const auto peak = std::max_element(row.values.begin(), row.values.end());
        EXPECT_EQ(peak - row.values.begin(), kBin) << "row " << r;
    }
}

// The points port carries the scope's rows (side values, then mid values) as its engine gives
// them, one per 512-frame block; a mono signal lies on the mid axis.
TEST(Lv2Bundle, lunavis_points_port_carries_the_engines_rows) {
    constexpr size_t kFrames = 40 * 512;
    const std::vector<float> in = noise(kFrames, 42);
    Instance plugin(world(), uriOf("lunavis"));
    plugin.collectRows("points", 200000);
    const std::vector<float> out = plugin.run(in);
    EXPECT_TRUE(std::equal(in.begin(), in.end() - 2 * 512, out.begin() + 2 * 512))
        << "the audio did not pass bit for bit after the scope's block";

    scope::ScopeEngine engine;
    std::vector<float> left = channel(in, 0), right = channel(in, 1);
    float* channels[] = {left.data(), right.data()};
    engine.process(channels, channels, int32_t(kFrames));
    auto expected = std::make_unique<scope::ScopeBlock>();
    engine.collect(*expected);
    ASSERT_EQ(scope::scopeValidRows(*expected), 40);
    ASSERT_EQ(plugin.rows().size(), 40u);
    for (size_t r = 0; r < plugin.rows().size(); ++r) {
        std::vector<float> want(expected->x[r], expected->x[r] + scope::kScopeBlockFrames);
        want.insert(want.end(), expected->y[r], expected->y[r] + scope::kScopeBlockFrames);
        EXPECT_EQ(plugin.rows()[r].values, want) << "row " << r;
        EXPECT_EQ(plugin.rows()[r].block, r) << "row " << r;
    }

    std::vector<float> mono = in;
    for (size_t i = 0; i < mono.size(); i += 2) mono[i + 1] = mono[i];
    Instance monoScope(world(), uriOf("lunavis"));
    monoScope.collectRows("points", 200000);
    monoScope.run(mono);
    ASSERT_EQ(monoScope.rows().size(), 40u);
    for (const Instance::Row& row : monoScope.rows()) {
        const auto middle = row.values.begin() + scope::kScopeBlockFrames;
        EXPECT_TRUE(std::all_of(row.values.begin(), middle, [](float side) { return side == 0.0f; }));
        // Normalised to the block's peak: the loudest point lies at √2 on the mid axis.
        float top = 0.0f;
        for (auto v = middle; v != row.values.end(); ++v) top = std::max(top, std::fabs(*v));
        EXPECT_NEAR(top, std::numbers::sqrt2_v<float>, 1e-5f);
    }
    EXPECT_EQ(monoScope.get("correlation"), 1.0f) << "the meter lost its rows to the port";
}

// Only whole rows that fit the host's sequence are written; the rest are dropped and the audio
// is untouched.
TEST(Lv2Bundle, row_ports_write_only_the_whole_rows_that_fit) {
    const std::vector<float> in = noise(40 * 512, 43);
    const uint32_t spectrum = rowEventBytes(spectrogram::kSpectrumBins);
    constexpr size_t kHeader = sizeof(uint64_t) * 2; // the sequence's atom header and body
    Instance none(world(), uriOf("ombrel")), one(world(), uriOf("ombrel"));
    none.collectRows("spectra", kHeader + spectrum - 8);
    one.collectRows("spectra", kHeader + spectrum + spectrum / 2);
    EXPECT_EQ(none.run(in), in);
    EXPECT_EQ(one.run(in), in);
    EXPECT_TRUE(none.rows().empty());
    // Two spectra complete in every other block; room for one keeps the first of each pair.
    ASSERT_EQ(one.rows().size(), 20u);
    Instance all(world(), uriOf("ombrel"));
    all.collectRows("spectra", 65536);
    all.run(in);
    ASSERT_EQ(all.rows().size(), 40u);
    for (size_t r = 0; r < one.rows().size(); ++r)
        EXPECT_EQ(one.rows()[r].values, all.rows()[2 * r].values) << "row " << r;
}

TEST(Lv2Bundle, ports_carry_the_units_ranges_and_real_time_claims) {
    LilvNode* unit = lilv_new_uri(world().world(), LV2_UNITS__unit);
    LilvNode* hardRt = lilv_new_uri(world().world(), LV2_CORE__hardRTCapable);
    auto unitOf = [&](const std::string& p, const char* symbol) -> std::string {
        const LilvPlugin* plugin = world().plugin(uriOf(p));
        LilvNode* s = lilv_new_string(world().world(), symbol);
        const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, s);
        lilv_node_free(s);
        if (port == nullptr) return "no port";
        LilvNodes* units = lilv_port_get_value(plugin, port, unit);
        std::string u = units != nullptr && lilv_nodes_size(units) > 0
                            ? lilv_node_as_uri(lilv_nodes_get_first(units))
                            : "";
        lilv_nodes_free(units);
        return u;
    };
    EXPECT_EQ(unitOf("pressane", "desgain"), LV2_UNITS__db);
    EXPECT_EQ(unitOf("compressor", "border_2"), LV2_UNITS__hz);
    EXPECT_EQ(unitOf("brisquet", "hpf"), LV2_UNITS__hz);
    EXPECT_EQ(unitOf("compressor", "latency"), LV2_UNITS__frame);
    EXPECT_EQ(unitOf("pressane", "boost"), "");
    EXPECT_EQ(unitOf("tessaline", "slider_1"), LV2_UNITS__db);
    EXPECT_EQ(unitOf("tessaline", "match_slider_30"), LV2_UNITS__db);

    const LilvPlugin* pressane = world().plugin(uriOf("pressane"));
    std::vector<float> minimum(lilv_plugin_get_num_ports(pressane));
    std::vector<float> maximum(minimum.size());
    lilv_plugin_get_port_ranges_float(pressane, minimum.data(), maximum.data(), nullptr);
    LilvNode* s = lilv_new_string(world().world(), "headroom");
    const uint32_t headroom = lilv_port_get_index(pressane, lilv_plugin_get_port_by_symbol(pressane, s));
    lilv_node_free(s);
    EXPECT_EQ(minimum[headroom], -9.0f);
    EXPECT_EQ(maximum[headroom], 9.0f);

    for (const std::string& p : kAllPlugins) {
        LilvNodes* optional = lilv_plugin_get_optional_features(world().plugin(uriOf(p)));
        EXPECT_EQ(lilv_nodes_contains(optional, hardRt), p == "pressane") << p;
        lilv_nodes_free(optional);
    }
    lilv_node_free(unit);
    lilv_node_free(hardRt);
}

// The mono variants' samples are compared with orq process of a mono file in lv2_tools_test.py.
TEST(Lv2Bundle, mono_variants_have_one_channel_and_the_stereo_ones_two) {
    LilvNode* audio = lilv_new_uri(world().world(), LV2_CORE__AudioPort);
    for (const std::string& p : kAllVariants) {
        const LilvPlugin* plugin = world().plugin(uriOf(p));
        const bool mono = p.ends_with("_mono");
        EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, audio, nullptr), mono ? 2u : 4u) << p;
    }
    lilv_node_free(audio);
    EXPECT_THROW(world().plugin(uriOf("lunavis_mono")), std::runtime_error);
}

// The port-groups vocabulary as a host reads it through lilv.
class Groups {
  public:
    Groups()
        : group_(uri(LV2_PORT_GROUPS__group)), designation_(uri(LV2_CORE__designation)),
          symbol_(uri(LV2_CORE__symbol)), label_(uri(LILV_NS_RDFS "label")),
          type_(uri(LILV_NS_RDF "type")) {}
    ~Groups() {
        for (LilvNode* n : {group_, designation_, symbol_, label_, type_})
            lilv_node_free(n);
    }
    Groups(const Groups&) = delete;
    Groups& operator=(const Groups&) = delete;

    // The group a port belongs to and its designation, as URIs ("" for none).
    std::string groupOf(const LilvPlugin* plugin, const LilvPort* port) const {
        return first(lilv_port_get(plugin, port, group_));
    }
    std::string designationOf(const LilvPlugin* plugin, const LilvPort* port) const {
        return first(lilv_port_get(plugin, port, designation_));
    }
    // The plug-in's value of a property such as pg:mainInput.
    std::string ofPlugin(const LilvPlugin* plugin, const char* property) const {
        LilvNode* p = uri(property);
        LilvNodes* values = lilv_plugin_get_value(plugin, p);
        lilv_node_free(p);
        std::string v = values != nullptr && lilv_nodes_size(values) == 1
                            ? lilv_node_as_string(lilv_nodes_get_first(values))
                            : "";
        lilv_nodes_free(values);
        return v;
    }
    std::string symbolOf(const std::string& group) const { return property(group, symbol_); }
    std::string labelOf(const std::string& group) const { return property(group, label_); }
    bool isA(const std::string& group, const char* klass) const {
        LilvNode* g = uri(group.c_str());
        LilvNode* k = uri(klass);
        const bool is = lilv_world_ask(world().world(), g, type_, k);
        lilv_node_free(g);
        lilv_node_free(k);
        return is;
    }

  private:
    static LilvNode* uri(const char* text) { return lilv_new_uri(world().world(), text); }
    static std::string first(LilvNode* node) {
        std::string v = node != nullptr ? lilv_node_as_string(node) : "";
        lilv_node_free(node);
        return v;
    }
    // The property's one value ("" for none, "several" for more than one).
    std::string property(const std::string& subject, const LilvNode* predicate) const {
        LilvNode* s = uri(subject.c_str());
        LilvNodes* values = lilv_world_find_nodes(world().world(), s, predicate, nullptr);
        lilv_node_free(s);
        const unsigned n = values != nullptr ? lilv_nodes_size(values) : 0;
        std::string v = n == 1  ? lilv_node_as_string(lilv_nodes_get_first(values))
                        : n > 1 ? "several"
                                : "";
        lilv_nodes_free(values);
        return v;
    }

    LilvNode* group_;
    LilvNode* designation_;
    LilvNode* symbol_;
    LilvNode* label_;
    LilvNode* type_;
};

// What Linux hosts route by: the main input and output groups, stereo (left, right) or mono
// (center), every audio port in one of them with its channel's designation in port order, and
// no two groups of a variant under one symbol.
TEST(Lv2Bundle, audio_ports_sit_in_the_main_groups_with_their_channels) {
    const Groups groups;
    LilvNode* audio = lilv_new_uri(world().world(), LV2_CORE__AudioPort);
    LilvNode* input = lilv_new_uri(world().world(), LV2_CORE__InputPort);
    for (const std::string& p : kAllVariants) {
        const LilvPlugin* plugin = world().plugin(uriOf(p));
        const bool mono = p.ends_with("_mono");
        const char* layout = mono ? LV2_PORT_GROUPS__MonoGroup : LV2_PORT_GROUPS__StereoGroup;
        const std::string in = groups.ofPlugin(plugin, LV2_PORT_GROUPS__mainInput);
        const std::string out = groups.ofPlugin(plugin, LV2_PORT_GROUPS__mainOutput);
        ASSERT_FALSE(in.empty()) << p << " has no one main input";
        ASSERT_FALSE(out.empty()) << p << " has no one main output";
        EXPECT_NE(in, out) << p;
        EXPECT_TRUE(groups.isA(in, LV2_PORT_GROUPS__InputGroup) && groups.isA(in, layout))
            << p << ": main input " << in;
        EXPECT_TRUE(groups.isA(out, LV2_PORT_GROUPS__OutputGroup) && groups.isA(out, layout))
            << p << ": main output " << out;

        const std::vector<std::string> channels =
            mono ? std::vector<std::string>{LV2_PORT_GROUPS__center}
                 : std::vector<std::string>{LV2_PORT_GROUPS__left, LV2_PORT_GROUPS__right};
        std::vector<std::string> inDesignations, outDesignations;
        std::set<std::string> allGroups = {in, out};
        for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            const std::string group = groups.groupOf(plugin, port);
            if (!group.empty()) allGroups.insert(group);
            if (!lilv_port_is_a(plugin, port, audio)) continue;
            const bool isInput = lilv_port_is_a(plugin, port, input);
            EXPECT_EQ(group, isInput ? in : out) << p << " port " << i;
            (isInput ? inDesignations : outDesignations)
                .push_back(groups.designationOf(plugin, port));
        }
        // In port order: the wrapper takes the first input as the left channel.
        EXPECT_EQ(inDesignations, channels) << p;
        EXPECT_EQ(outDesignations, channels) << p;
        std::set<std::string> symbols;
        for (const std::string& g : allGroups) {
            const std::string symbol = groups.symbolOf(g);
            EXPECT_FALSE(symbol.empty() || symbol == "several")
                << p << ": group " << g << " " << symbol;
            EXPECT_TRUE(symbols.insert(symbol).second) << p << ": two groups named " << symbol;
        }
    }
    lilv_node_free(audio);
    lilv_node_free(input);
}

// Each of Tessaline's slider arrays is a group of settings of its own, holding exactly the ports
// of its array, under the array's name; the other ports stand alone.
// Group symbol: its label and its ports' symbols in port order.
using ExpectedGroups = std::map<std::string, std::pair<std::string, std::vector<std::string>>>;

// Every variant's control ports fall into exactly the expected input groups, the rest into none.
void expectControlGroups(std::initializer_list<const char*> variants,
                         const ExpectedGroups& expected, size_t ungroupedExpected) {
    const Groups groups;
    LilvNode* control = lilv_new_uri(world().world(), LV2_CORE__ControlPort);
    for (const std::string p : variants) {
        const LilvPlugin* plugin = world().plugin(uriOf(p));
        std::map<std::string, std::vector<std::string>> members; // group: its ports' symbols
        size_t ungrouped = 0;
        for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            if (!lilv_port_is_a(plugin, port, control)) continue;
            const std::string group = groups.groupOf(plugin, port);
            const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            if (group.empty())
                ++ungrouped;
            else
                members[group].push_back(symbol);
        }
        ExpectedGroups found;
        for (const auto& [group, ports] : members) {
            EXPECT_TRUE(groups.isA(group, LV2_PORT_GROUPS__InputGroup)) << p << ": " << group;
            found[groups.symbolOf(group)] = {groups.labelOf(group), ports};
        }
        EXPECT_EQ(found, expected) << p;
        EXPECT_EQ(ungrouped, ungroupedExpected) << p;
    }
    lilv_node_free(control);
}

TEST(Lv2Bundle, tessaline_slider_arrays_are_one_group_each) {
    std::vector<std::string> plain, match;
    for (int k = 1; k <= 30; ++k) {
        plain.push_back("slider_" + std::to_string(k));
        match.push_back("match_slider_" + std::to_string(k));
    }
    // Ungrouped: the latency, the five settings and the three meters.
    expectControlGroups({"tessaline", "tessaline_mono"},
                        {{"sliders", {"Sliders (match off)", plain}},
                         {"match_sliders", {"Sliders (match on)", match}}},
                        9u);
}

TEST(Lv2Bundle, compressor_band_gains_and_edges_are_one_group_each) {
    // Ungrouped: the latency, band count, output gain, soft clipper, stage count, active band,
    // solo and the band meter.
    expectControlGroups({"compressor"},
                        {{"band_gains",
                          {"Band gains",
                           {"band_gain_1", "band_gain_2", "band_gain_3", "band_gain_4",
                            "band_gain_5"}}},
                         {"band_edges", {"Band edges", {"border_2", "border_3", "border_4", "border_5"}}}},
                        8u);
}

// A rate the plug-in refuses gives the host no instance (and leaves nothing open behind).
TEST(Lv2Bundle, a_refused_sample_rate_gives_no_instance) {
    EXPECT_THROW(Instance(world(), uriOf("pressane"), 1000.0), std::runtime_error);
    EXPECT_THROW(Instance(world(), uriOf("lunavis"), 10.0e6), std::runtime_error);
    Instance accepted(world(), uriOf("pressane"), 48000.0);
    EXPECT_TRUE(allFinite(accepted.run(noise(4096, 8))));
}

TEST(Lv2Bundle, meters_follow_the_audio) {
    // The same signal on both channels correlates fully; opposite signals not at all.
    std::vector<float> same = noise(44100, 4);
    for (size_t i = 0; i < same.size(); i += 2) same[i + 1] = same[i];
    std::vector<float> opposite = same;
    for (size_t i = 0; i < opposite.size(); i += 2) opposite[i + 1] = -opposite[i];
    Instance inPhase(world(), uriOf("lunavis")), outOfPhase(world(), uriOf("lunavis"));
    inPhase.run(same);
    outOfPhase.run(opposite);
    EXPECT_NEAR(inPhase.get("correlation"), 1.0f, 1e-3f);
    EXPECT_NEAR(outOfPhase.get("correlation"), 0.0f, 1e-3f);

    // The maximizer asked for 12 dB on loud audio reaches less than all of it.
    Instance maximizer(world(), uriOf("pressane"));
    maximizer.set("desgain", 12.0f);
    maximizer.run(noise(44100, 6, 0.9f));
    const float reached = maximizer.get("gain_reached");
    EXPECT_GT(reached, 0.0f);
    EXPECT_LT(reached, 1.0f);
}

} // namespace
} // namespace orq::lv2::test
