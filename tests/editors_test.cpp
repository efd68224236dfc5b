// The editors' files as the build writes them for installing: Kdenlive's
// effect description and Shotcut's filter files parse, and every control
// sets a parameter of velmor.so (found by name in the plug-in's own list)
// whose value, through the plug-in's conversions, gives the settings
// table's range, default and every step shown; nothing sets MLT's
// "threads". Then projects that Kdenlive and Shotcut saved with a setting
// changed, and with the gain keyframed (tests/editors/, or
// VELMOR_EDITOR_PROJECTS from tools/editors-check.sh), render in melt to the
// core's frames, each frame with the gain the editor's keyframes give it.
#include <gtest/gtest.h>

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "frei0r_api.h"
#include "frei0r_reference.h"
#include "params.h"
#include "setting_table.h"

namespace {

const std::string kShare = VELMOR_EDITORS_DIR;
const std::string kWork = VELMOR_EDITORS_WORK_DIR;

std::string readText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A control as an editor's file describes it: shown = value x factor.
struct Shown {
    std::string property, label, type, tip;
    double minimum = 0, maximum = 1, factor = 1, defaultValue = 0;
    int decimals = 0;
};

// The setting a parameter value gives, through the plug-in's conversions;
// -1 for the statistics switch, which is no setting.
int settingOf(const std::string& property, double p, std::int32_t& number) {
    f0r_plugin_info_t plugin;
    f0r_get_plugin_info(&plugin);
    for (int i = 0; i < plugin.num_params; ++i) {
        f0r_param_info_t info;
        f0r_get_param_info(&info, i);
        if (property != info.name) continue;
        if (i == kParamStatistics) return number = p >= 0.5 ? 1 : 0, -1;
        if (i == kParamGammaValue)
            return number = settingFromProportion(kGammaSetting, p), kGammaSetting;
        if (i >= kParamFirstSetting && i < kParamFirstSetting + kSettingCount) {
            const auto k = static_cast<SettingIndex>(i - kParamFirstSetting);
            return number = settingFromUnit(k, p), k;
        }
    }
    ADD_FAILURE() << "no settings parameter " << property;
    return number = 0, -2;
}

// Each setting in the table's order, then the statistics switch; each with
// its table range, default and every step the editor shows, also as an
// editor writes the value (six significant digits).
void expectTheTablesControls(const std::vector<Shown>& controls, const char* smoothingType) {
    ASSERT_EQ(controls.size(), std::size_t(kSettingCount) + 2);
    // Smoothing, last: frames 0 to 100 as frames / 100, without keyframes
    // in Kdenlive ("constant").
    const Shown& w = controls.back();
    EXPECT_EQ(w.property, "smoothing");
    EXPECT_EQ(w.label, kSmoothingSetting.label);
    EXPECT_EQ(w.type, smoothingType);
    EXPECT_EQ(w.defaultValue, 0.0);
    EXPECT_EQ(w.minimum, 0.0);
    EXPECT_EQ(w.maximum, 100.0);
    EXPECT_EQ(w.decimals, 0);
    for (std::int32_t want = 0; want <= 100; ++want) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", want / w.factor);
        ASSERT_EQ(unitToSteps(std::strtod(text, nullptr), kSmoothingSetting.maximum), want) << text;
    }
    for (int k = 0; k <= kSettingCount; ++k) {
        const Shown& c = controls[k];
        SCOPED_TRACE(c.property);
        std::int32_t n;
        const int setting = settingOf(c.property, c.defaultValue, n);
        if (k == kSettingCount) {
            EXPECT_EQ(setting, -1);
            EXPECT_EQ(c.type, "bool");
            EXPECT_EQ(n, 0);
            continue;
        }
        ASSERT_EQ(setting, k);
        const SettingInfo& s = kSettingTable[k];
        EXPECT_EQ(c.label, s.label);
        EXPECT_EQ(n, s.defaultValue);
        EXPECT_EQ(c.type, s.kind == SettingKind::flag ? "bool" : "animated");
        if (s.kind == SettingKind::flag) continue;
        const double scale = s.kind == SettingKind::hundredths ? 100 : 1;
        EXPECT_EQ(c.decimals, s.kind == SettingKind::hundredths ? 2 : 0);
        EXPECT_EQ(c.minimum, s.minimum / scale);
        EXPECT_EQ(c.maximum, s.maximum / scale);
        char text[32];
        for (std::int32_t want = s.minimum; want <= s.maximum; ++want) {
            settingOf(c.property, want / scale / c.factor, n);
            ASSERT_EQ(n, want);
            std::snprintf(text, sizeof text, "%.6g", want / scale / c.factor);
            settingOf(c.property, std::strtod(text, nullptr), n);
            ASSERT_EQ(n, want) << text;
        }
    }
}

// Kdenlive's description: the effect's attributes and its parameters.
struct KdenliveEffect {
    std::string tag, name, text, numbers; // numbers: the effect's LC_NUMERIC
    std::vector<Shown> controls;
    int depth = 0;
};

void XMLCALL startElement(void* data, const XML_Char* element, const XML_Char** attributes) {
    auto& e = *static_cast<KdenliveEffect*>(data);
    const std::string name = element;
    e.text.clear();
    if (name == "effect") {
        for (int i = 0; attributes[i]; i += 2)
            if (std::string(attributes[i]) == "tag") e.tag = attributes[i + 1];
            else if (std::string(attributes[i]) == "LC_NUMERIC") e.numbers = attributes[i + 1];
    } else if (name == "parameter") {
        Shown c;
        for (int i = 0; attributes[i]; i += 2) {
            const std::string a = attributes[i], v = attributes[i + 1];
            if (a == "name") c.property = v;
            if (a == "type") c.type = v;
            if (a == "default") c.defaultValue = std::stod(v);
            if (a == "min") c.minimum = std::stod(v);
            if (a == "max") c.maximum = std::stod(v);
            if (a == "factor") c.factor = std::stod(v);
            if (a == "decimals") c.decimals = std::stoi(v);
        }
        e.controls.push_back(c);
    }
    ++e.depth;
}

void XMLCALL endElement(void* data, const XML_Char* element) {
    auto& e = *static_cast<KdenliveEffect*>(data);
    --e.depth;
    if (std::string(element) == "comment" && e.depth == 2) e.controls.back().tip = e.text;
    if (std::string(element) != "name") return;
    if (e.depth == 1) e.name = e.text;
    if (e.depth == 2) e.controls.back().label = e.text;
}

void XMLCALL characters(void* data, const XML_Char* text, int length) {
    static_cast<KdenliveEffect*>(data)->text.append(text, length);
}

KdenliveEffect readKdenliveEffect() {
    const std::string xml = readText(kShare + "/kdenlive/effects/frei0r_velmor.xml");
    KdenliveEffect effect;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &effect);
    XML_SetElementHandler(parser, startElement, endElement);
    XML_SetCharacterDataHandler(parser, characters);
    const bool parsed = XML_Parse(parser, xml.data(), int(xml.size()), 1) == XML_STATUS_OK;
    EXPECT_TRUE(parsed) << XML_ErrorString(XML_GetErrorCode(parser)) << " at line "
                        << XML_GetCurrentLineNumber(parser);
    XML_ParserFree(parser);
    EXPECT_EQ(xml.find("threads"), std::string::npos);
    return effect;
}

TEST(EditorFiles, KdenliveEffectDescribesTheTablesControls) {
    const KdenliveEffect effect = readKdenliveEffect();
    EXPECT_EQ(effect.tag, "frei0r.velmor");
    // Kdenlive reads the numbers with a decimal point only where the effect says so.
    EXPECT_EQ(effect.numbers, "C");
    EXPECT_EQ(effect.name.rfind("Velmor Filter+", 0), 0u) << effect.name;
    expectTheTablesControls(effect.controls, "constant");
}

// Shotcut's panel controls as its ui.qml's array lists them.
std::vector<Shown> shotcutControls(const std::string& ui) {
    const std::regex line(
        R"re(\{"property": "([^"]*)", "label": "([^"]*)", "isSwitch": (true|false), )re"
        R"re("minimum": ([-0-9.e+]+), "maximum": ([-0-9.e+]+), "step": [-0-9.e+]+, )re"
        R"re("decimals": (\d+), "suffix": "[^"]*", "factor": ([-0-9.e+]+), )re"
        R"re("defaultValue": ([-0-9.e+]+), "takesKeyframes": (true|false)(?:, "tip": "([^"]*)")?\},)re");
    std::vector<Shown> controls;
    for (std::sregex_iterator m(ui.begin(), ui.end(), line), end; m != end; ++m) {
        Shown c;
        c.property = (*m)[1], c.label = (*m)[2];
        c.type = (*m)[3] == "true" ? "bool" : (*m)[9] == "true" ? "animated" : "constant";
        c.minimum = std::stod((*m)[4]), c.maximum = std::stod((*m)[5]);
        c.decimals = std::stoi((*m)[6]), c.factor = std::stod((*m)[7]);
        c.defaultValue = std::stod((*m)[8]);
        c.tip = (*m)[10];
        controls.push_back(c);
    }
    return controls;
}

const std::string kShotcutDir = kShare + "/shotcut/qml/filters/velmor/";

TEST(EditorFiles, ShotcutPanelAndMetadataDescribeTheTablesControls) {
    const std::string dir = kShotcutDir;
    const std::string meta = readText(dir + "meta.qml"), ui = readText(dir + "ui.qml");
    EXPECT_NE(meta.find("mlt_service: 'frei0r.velmor'"), std::string::npos) << meta;
    EXPECT_NE(meta.find("name: \"Velmor Filter+\""), std::string::npos) << meta;
    EXPECT_NE(meta.find("simpleProperties: ['gain', 'threshold', 'gamma value']"),
              std::string::npos) << meta;
    const std::vector<Shown> shown = shotcutControls(ui);
    expectTheTablesControls(shown, "constant");
    EXPECT_EQ((meta + ui).find("'threads'"), std::string::npos);
    // The keyframes' ranges are the parameter's own (shown / factor), not the panel's.
    const std::regex range(R"re(property: '([^']*)'\s*isCurve: true\s*minimum: ([-0-9.e+]+)\s*)re"
                           R"re(maximum: ([-0-9.e+]+))re");
    int ranges = 0;
    for (std::sregex_iterator m(meta.begin(), meta.end(), range), end; m != end; ++m, ++ranges) {
        const auto c = std::find_if(shown.begin(), shown.end(),
                                    [&](const Shown& s) { return s.property == (*m)[1]; });
        ASSERT_NE(c, shown.end()) << (*m)[1];
        EXPECT_NEAR(std::stod((*m)[2]), c->minimum / c->factor, 1e-9) << c->property;
        EXPECT_NEAR(std::stod((*m)[3]), c->maximum / c->factor, 1e-9) << c->property;
    }
    EXPECT_EQ(ranges, 3) << meta;
}

// Each control's help, the same in both editors and from the settings
// table: Kdenlive shows a parameter's comment, Shotcut the tooltip its
// panel takes from the array (the label's for a number, the check box's
// for a switch).
TEST(EditorFiles, BothEditorsShowTheTablesHelp) {
    const std::string ui = readText(kShotcutDir + "ui.qml");
    const struct Editor {
        const char* name;
        std::vector<Shown> controls;
    } editors[] = {{"Kdenlive", readKdenliveEffect().controls}, {"Shotcut", shotcutControls(ui)}};
    for (const Editor& e : editors) {
        SCOPED_TRACE(e.name);
        ASSERT_EQ(e.controls.size(), std::size_t(kSettingCount) + 2);
        for (int k = 0; k < kSettingCount; ++k) EXPECT_EQ(e.controls[k].tip, kSettingTable[k].tip);
        EXPECT_EQ(e.controls[kSettingCount].tip, frei0rParam(kParamStatistics).explanation);
        EXPECT_EQ(e.controls[kSettingCount + 1].tip, kSmoothingSetting.tip);
    }
    const std::regex tip(R"(Shotcut\.HoverTip \{\s*text: control\.isSwitch \? ([^\n]*)\n)");
    std::vector<std::string> shown;
    for (std::sregex_iterator m(ui.begin(), ui.end(), tip), end; m != end; ++m) shown.push_back((*m)[1]);
    EXPECT_EQ(shown, (std::vector<std::string>{"'' : control.tip", "control.tip : ''"})) << ui;
}

// What each help says: its unit, and which way the gamma bends.
TEST(EditorFiles, TheHelpNamesUnitsAndTheGammasDirection) {
    const struct {
        SettingIndex setting;
        const char* words;
    } cases[] = {
        {kGainSetting, "in percent"},
        {kThresholdSetting, "8-bit levels (0 to 255)"},
        {kGammaSetting, "above 1.00 brightens the mid-tones"},
        {kGammaSetting, "below 1.00 darkens them"},
        {kSCurveSetting, "gamma other than 1.00"},
        {kBypassTitlesSetting, "title cards"},
    };
    for (const auto& c : cases)
        EXPECT_NE(std::string(kSettingTable[c.setting].tip).find(c.words), std::string::npos)
            << kSettingTable[c.setting].tip;
}

// Shotcut's own controls reach its objects by bare names: its stopwatch
// button opens the Keyframes panel with keyframes.show(), asks
// parameters.simpleKeyframesInUse() and reads metadata.keyframes. An id or
// property of our panel with such a name hides the object from them (the
// stopwatch then lights up and sets no keyframe).
TEST(EditorFiles, ShotcutPanelHidesNoneOfShotcutsNames) {
    const std::string ui = readText(kShotcutDir + "ui.qml");
    const std::string controlsDir = "/usr/share/shotcut/qml/modules/Shotcut/Controls/";
    const struct {
        const char* name;
        const char* usedIn; // the installed Shotcut control that uses it, or ""
    } names[] = {
        {"keyframes", "KeyframesButton.qml"}, {"parameters", "KeyframesButton.qml"},
        {"metadata", "KeyframesButton.qml"},  {"application", "KeyframesButton.qml"},
        {"filter", "KeyframableFilter.qml"},  {"producer", "KeyframableFilter.qml"},
        {"profile", ""},                      {"settings", ""},
    };
    std::vector<std::string> declared;
    const std::regex declaration(R"((?:\bid:\s*|\bproperty\s+(?:alias|var|bool|int|real|string)\s+)(\w+))");
    for (std::sregex_iterator m(ui.begin(), ui.end(), declaration), end; m != end; ++m)
        declared.push_back((*m)[1]);
    ASSERT_GT(declared.size(), 5u);
    for (const auto& n : names) {
        SCOPED_TRACE(n.name);
        EXPECT_EQ(std::count(declared.begin(), declared.end(), n.name), 0);
        const std::string used = *n.usedIn ? readText(controlsDir + n.usedIn) : "";
        if (!used.empty()) { // the host as installed still uses the name
            EXPECT_NE(used.find(std::string(n.name) + "."), std::string::npos) << n.usedIn;
        }
    }
}

// Kdenlive's search matches effect names and ids (not descriptions) and
// Shotcut's names and keywords: both find the filter by what users look for.
TEST(EditorFiles, BothEditorsFindTheFilterByLevelsAndContrast) {
    std::string kdenlive = readKdenliveEffect().name;
    const std::string meta = readText(kShotcutDir + "meta.qml");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(meta, m, std::regex("keywords: '([^']*)'"))) << meta;
    std::string shotcut = m[1];
    for (std::string* text : {&kdenlive, &shotcut})
        std::transform(text->begin(), text->end(), text->begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* word : {"levels", "contrast", "velmor"}) {
        EXPECT_NE(kdenlive.find(word), std::string::npos) << kdenlive;
        EXPECT_NE(shotcut.find(word), std::string::npos) << shotcut;
    }
}

// Runs a shell command; its messages go into a log that a failure prints.
::testing::AssertionResult run(const std::string& command) {
    const std::string log = kWork + "/last-command.log";
    if (std::system(("timeout 120 sh -c '" + command + "' >'" + log + "' 2>&1").c_str()) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << command << "\n" << readText(log);
}

std::vector<std::uint8_t> readBytes(const std::string& file) {
    const std::string text = readText(file);
    return {text.begin(), text.end()};
}

// The saved project with its clip here, the filter on or off (MLT's
// "disable" on every instance of it).
void writeProject(const std::string& saved, const std::string& to, bool filterOn) {
    std::string text = std::regex_replace(readText(saved), std::regex("@CLIP@"), kWork + "/clip.mkv");
    text = std::regex_replace(text, std::regex("@DIR@"), kWork);
    if (!filterOn)
        text = std::regex_replace(text, std::regex("(<property name=\"mlt_service\">frei0r\\.velmor)"),
                                  "<property name=\"disable\">1</property>$1");
    std::ofstream(to) << text;
}

// A property's animation as MLT reads it: "key=value;..." with each key a
// frame number or a clock time (hh:mm:ss.mmm, at the profile's rate), and
// "=" linear, "|=" held, "~=" smooth to the next key; the first key holds
// before it and the last after it; a plain number holds throughout.
struct Key {
    int frame;
    double value;
    char kind; // '=', '|' or '~'
};

std::vector<Key> keysOf(const std::string& text, double fps) {
    std::vector<Key> keys;
    if (text.find('=') == std::string::npos) return {{0, std::stod(text), '|'}};
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(';', at);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(at, end - at);
        const std::size_t eq = item.find('=');
        std::string key = item.substr(0, eq);
        char kind = '=';
        if (!key.empty() && (key.back() == '|' || key.back() == '~')) kind = key.back(), key.pop_back();
        int frame;
        int h, m;
        double sec;
        if (std::sscanf(key.c_str(), "%d:%d:%lf", &h, &m, &sec) == 3 && key.find('.') != std::string::npos)
            frame = int(std::lrint(fps * (h * 3600.0 + m * 60.0 + sec)));
        else
            frame = std::stoi(key);
        keys.push_back({frame, std::stod(item.substr(eq + 1)), kind});
        at = end + 1;
    }
    return keys;
}

double valueAt(const std::vector<Key>& keys, int frame) {
    if (frame <= keys.front().frame) return keys.front().value;
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        const Key &a = keys[i], &b = keys[i + 1];
        if (frame >= b.frame) continue;
        if (a.kind == '|') return a.value;
        if (a.kind == '~') ADD_FAILURE() << "smooth keyframes are not followed here";
        return a.value + (b.value - a.value) * (double(frame - a.frame) / double(b.frame - a.frame));
    }
    return keys.back().value;
}

TEST(EditorProjects, AnimationsReadAsMltReadsThem) {
    const struct {
        const char* text;
        int frame;
        double value;
    } cases[] = {
        {"0.6", 17, 0.6},
        {"00:00:00.000=0.7", 9, 0.7},
        {"0=0.7;23=0.3", 0, 0.7},
        {"0=0.7;23=0.3", 23, 0.3},
        {"0=0.7;23=0.3", 40, 0.3},
        {"0=0.7;20=0.3", 5, 0.6},
        {"00:00:00.000=0.7;00:00:00.960=0.3", 12, 0.5},
        {"00:00:00.000=0.7;00:00:00.960=0.3", 24, 0.3},
        {"0|=0.7;10=0.3", 9, 0.7},
        {"5=0.2;15=0.4", 2, 0.2},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(valueAt(keysOf(c.text, 25), c.frame), c.value, 1e-12) << c.text << " @" << c.frame;
}

TEST(EditorProjects, RenderInMeltToTheCoresFrames) {
#ifdef VELMOR_SANITIZED
    GTEST_SKIP() << "melt cannot load the sanitized velmor.so";
#endif
    const char* fromEnv = std::getenv("VELMOR_EDITOR_PROJECTS");
    const std::string projects = fromEnv != nullptr ? fromEnv : VELMOR_EDITOR_FIXTURES;
    setenv("FREI0R_PATH", VELMOR_FREI0R_DIR, 1);
    // The clip both editors were given (tools/editors-check.sh makes the same).
    ASSERT_TRUE(run("ffmpeg -v error -y -f lavfi -i testsrc2=s=640x360:r=25:d=1 -vf "
                    "eq=contrast=0.5:brightness=0.1 -c:v ffv1 -pix_fmt yuv444p " + kWork +
                    "/clip.mkv"));
    const struct Case {
        const char* project;
        int width, height, frames; // the project's profile, the frames rendered
        FilterSettings expected;   // as the editors-check script sets them in the editor
        int firstGain, lastGain;   // the gain on the first and the last frame
    } cases[] = {
        {"kdenlive.kdenlive", 1920, 1080, 5, referenceSettings(70, 20, 1.23, 1, 0, false), 70, 70},
        {"shotcut.mlt", 640, 360, 5, referenceSettings(60, 10, 1.5, 0, 1, false), 60, 60},
        // the gain keyframed from 70 % on the clip's first frame to 30 % on its last
        {"kdenlive-keyframes.kdenlive", 1920, 1080, 24, referenceSettings(0, 20, 1.23, 1, 0, false), 70, 30},
        {"shotcut-keyframes.mlt", 640, 360, 25, referenceSettings(0, 10, 1.5, 0, 1, false), 70, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.project);
        const std::string saved = readText(projects + "/" + c.project);
        ASSERT_FALSE(saved.empty()) << "no project " << c.project;
        // Each frame's gain as the filter's animation gives it (Kdenlive
        // saves it twice, on the bin's clip and the timeline's: both agree).
        std::vector<int> gains;
        const std::regex gain(R"(<property name="gain">([^<]*)</property>)");
        for (std::sregex_iterator m(saved.begin(), saved.end(), gain), end; m != end; ++m) {
            const auto keys = keysOf((*m)[1], 25);
            std::vector<int> each;
            for (int f = 0; f < c.frames; ++f) {
                std::int32_t n;
                settingOf("gain", valueAt(keys, f), n);
                each.push_back(n);
            }
            if (!gains.empty()) {
                EXPECT_EQ(each, gains) << (*m)[1];
            }
            gains = each;
        }
        ASSERT_EQ(gains.size(), std::size_t(c.frames));
        EXPECT_EQ(gains.front(), c.firstGain);
        EXPECT_EQ(gains.back(), c.lastGain);
        std::vector<std::uint8_t> frames[2];
        for (int on = 0; on < 2; ++on) {
            const std::string project = kWork + "/" + c.project;
            writeProject(projects + "/" + c.project, project, on == 1);
            ASSERT_TRUE(run("melt -silent -quiet " + project + " out=" + std::to_string(c.frames - 1) +
                            " -consumer avformat:" + kWork + "/out.raw f=rawvideo pix_fmt=bgra"));
            frames[on] = readBytes(kWork + "/out.raw");
        }
        const std::size_t frameBytes = std::size_t(c.width) * c.height * 4;
        ASSERT_EQ(frames[0].size(), frameBytes * c.frames);
        ASSERT_EQ(frames[1].size(), frames[0].size());
        int changed = 0;
        for (int f = 0; f < c.frames; ++f) {
            const std::vector<std::uint8_t> in(frames[0].begin() + f * frameBytes,
                                               frames[0].begin() + (f + 1) * frameBytes);
            FilterSettings s = c.expected;
            s.gainPercent = gains[f];
            const auto want = referenceFrames(s, in, c.width, c.height, c.width);
            changed += want != in;
            EXPECT_TRUE(std::equal(want.begin(), want.end(), frames[1].begin() + f * frameBytes))
                << "frame " << f << ", gain " << gains[f];
        }
        EXPECT_EQ(changed, c.frames);
    }
}

} // namespace
