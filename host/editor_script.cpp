#include "host/editor_script.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace orq::host {

namespace {

struct NamedKey {
    const char* name;
    unsigned code;
};
constexpr std::array<NamedKey, 14> kNamedKeys = {{
    {"LEFT", VK_LEFT},
    {"RIGHT", VK_RIGHT},
    {"UP", VK_UP},
    {"DOWN", VK_DOWN},
    {"RETURN", VK_RETURN},
    {"ESCAPE", VK_ESCAPE},
    {"TAB", VK_TAB},
    {"SPACE", VK_SPACE},
    {"BACK", VK_BACK},
    {"DELETE", VK_DELETE},
    {"HOME", VK_HOME},
    {"END", VK_END},
    {"PRIOR", VK_PRIOR},
    {"NEXT", VK_NEXT},
}};
constexpr int kFunctionKeys = 12;

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

[[noreturn]] void fail(int line, const std::string& what) {
    throw ScriptError("line " + std::to_string(line) + ": " + what);
}

// One line's words after the verb, consumed in order.
class Words {
  public:
    Words(int line, std::string verb, std::vector<std::string> words)
        : line_(line), verb_(std::move(verb)), words_(std::move(words)) {}
    bool empty() const { return next_ >= words_.size(); }
    const std::string& take(const char* what) {
        if (empty()) fail(line_, verb_ + " is missing " + what);
        return words_[next_++];
    }
    int integer(const char* what) {
        const std::string& word = take(what);
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(word.c_str(), &end, 10);
        if (word.empty() || *end != '\0' || errno == ERANGE || value < -100000 || value > 100000)
            fail(line_, verb_ + ": '" + word + "' is not a whole number (" + what + ")");
        return int(value);
    }
    double number(const char* what) {
        const std::string& word = take(what);
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(word.c_str(), &end);
        const bool decimal = word.find_first_not_of("0123456789+-.eE") == std::string::npos;
        if (word.empty() || !decimal || *end != '\0' || errno == ERANGE || !std::isfinite(value))
            fail(line_, verb_ + ": '" + word + "' is not a number (" + what + ")");
        return value;
    }
    void finish() const {
        if (!empty()) fail(line_, verb_ + ": unexpected '" + words_[next_] + "'");
    }

  private:
    int line_;
    std::string verb_;
    std::vector<std::string> words_;
    size_t next_ = 0;
};

// "KEY" or "KEY[i]".
void parseExpectKey(int line, const std::string& word, ScriptEvent& event) {
    const size_t open = word.find('[');
    if (open == std::string::npos) {
        event.name = word;
        return;
    }
    const std::string index = word.substr(open + 1, word.size() - open - 2);
    char* end = nullptr;
    const long element = std::strtol(index.c_str(), &end, 10);
    if (open == 0 || word.back() != ']' || index.empty() || *end != '\0' || element < 0 ||
        element > 1 << 20)
        fail(line, "expect: '" + word + "' is not KEY or KEY[i]");
    event.name = word.substr(0, open);
    event.element = int32_t(element);
}

ScriptEvent parseLine(int line, const std::vector<std::string>& tokens) {
    const std::string& verb = tokens[0];
    Words words(line, verb, std::vector<std::string>(tokens.begin() + 1, tokens.end()));
    ScriptEvent event;
    event.line = line;
    if (verb == "click" || verb == "frame-click" || verb == "press" || verb == "move" ||
        verb == "release") {
        event.verb = verb == "click"         ? ScriptVerb::Click
                     : verb == "frame-click" ? ScriptVerb::FrameClick
                     : verb == "press"       ? ScriptVerb::Press
                     : verb == "move"        ? ScriptVerb::Move
                                             : ScriptVerb::Release;
        event.x = words.integer("X");
        event.y = words.integer("Y");
        while (!words.empty() && verb == "click") {
            const std::string& modifier = words.take("a modifier");
            if (modifier == "right")
                event.right = true;
            else if (modifier == "ctrl")
                event.ctrl = true;
            else if (modifier == "shift")
                event.shift = true;
            else
                fail(line, "click: '" + modifier + "' is not right, ctrl or shift");
        }
    } else if (verb == "drag") {
        event.verb = ScriptVerb::Drag;
        event.x = words.integer("X1");
        event.y = words.integer("Y1");
        event.x2 = words.integer("X2");
        event.y2 = words.integer("Y2");
    } else if (verb == "key") {
        event.verb = ScriptVerb::Key;
        event.name = upper(words.take("NAME"));
        event.virtualKey = virtualKeyOf(event.name);
        if (event.virtualKey == 0) fail(line, "key: unknown key name '" + event.name + "'");
    } else if (verb == "wait") {
        event.verb = ScriptVerb::Wait;
        const int ms = words.integer("MS");
        if (ms < 0) fail(line, "wait: the time cannot be negative");
        event.milliseconds = uint32_t(ms);
    } else if (verb == "play") {
        event.verb = ScriptVerb::Play;
        std::string word = words.take("SECONDS, all or FILE");
        // A word that is neither a length nor "all" names the file to play from here on.
        if (word != "all" && word.find_first_not_of("0123456789+-.eE") != std::string::npos) {
            event.playFile = word;
            if (words.empty()) {
                event.playAll = true;
                words.finish();
                return event;
            }
            word = words.take("SECONDS or all");
        }
        if (word == "all") {
            event.playAll = true;
        } else {
            Words seconds(line, verb, {word});
            const double s = seconds.number("SECONDS");
            if (s <= 0.0 || s > 86400.0) fail(line, "play: the time lies in 0 … 86400 seconds");
            event.milliseconds = uint32_t(std::lround(s * 1000.0));
        }
    } else if (verb == "snapshot" || verb == "clipboard") {
        event.verb = verb == "snapshot" ? ScriptVerb::Snapshot : ScriptVerb::Clipboard;
        event.name = words.take("FILE");
    } else if (verb == "expect") {
        event.verb = ScriptVerb::Expect;
        parseExpectKey(line, words.take("KEY"), event);
        event.expected = words.number("VALUE");
        if (!words.empty()) {
            event.tolerance = words.number("TOLERANCE");
            if (event.tolerance < 0.0) fail(line, "expect: the tolerance cannot be negative");
        } else {
            event.tolerance = std::max(kExpectAbsoluteTolerance,
                                       kExpectRelativeTolerance * std::fabs(event.expected));
        }
    } else {
        fail(line, "unknown verb '" + verb +
                       "' (click, frame-click, press, move, release, drag, key, wait, play, "
                       "snapshot, clipboard, expect)");
    }
    words.finish();
    return event;
}

} // namespace

unsigned virtualKeyOf(std::string_view name) {
    const std::string key = upper(name);
    for (const NamedKey& named : kNamedKeys)
        if (key == named.name) return named.code;
    if (key.size() == 1 && ((key[0] >= 'A' && key[0] <= 'Z') || (key[0] >= '0' && key[0] <= '9')))
        return unsigned(key[0]); // letters and digits are their own codes
    if (key.size() >= 2 && key[0] == 'F' &&
        key.find_first_not_of("0123456789", 1) == std::string::npos && key.size() <= 3) {
        const int number = std::atoi(key.c_str() + 1);
        if (number >= 1 && number <= kFunctionKeys) return unsigned(VK_F1 + number - 1);
    }
    return 0;
}

std::vector<ScriptEvent> parseScript(std::string_view text) {
    std::vector<ScriptEvent> events;
    std::istringstream lines{std::string(text)};
    std::string content;
    for (int line = 1; std::getline(lines, content); ++line) {
        const size_t comment = content.find('#');
        if (comment != std::string::npos) content.resize(comment);
        std::istringstream split(content);
        std::vector<std::string> tokens{std::istream_iterator<std::string>(split),
                                        std::istream_iterator<std::string>()};
        if (tokens.empty()) continue;
        events.push_back(parseLine(line, tokens));
    }
    return events;
}

std::vector<ScriptEvent> readScript(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScriptError("cannot read the script '" + path + "'");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    try {
        return parseScript(text);
    } catch (const ScriptError& e) {
        throw ScriptError("the script '" + path + "', " + e.what());
    }
}

bool expectationHolds(const ScriptEvent& event, double actual) {
    return std::fabs(actual - event.expected) <= event.tolerance; // false for NaN
}

} // namespace orq::host
