// The editors' files as the build writes them for installing: Kdenlive's
// effect description and Shotcut's filter files parse, and every control
// sets a parameter of velmor.so (found by name in the plug-in's own list)
// whose value, through the plug-in's conversions, gives the settings
// table's range, default and every step shown; nothing sets MLT's
// "threads". Then projects that Kdenlive and Shotcut saved with a setting
// changed (tests/editors/, or VELMOR_EDITOR_PROJECTS from
// tools/editors-check.sh) render in melt to the core's frames.
#include <gtest/gtest.h>

#include <expat.h>

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
    std::string property, label, type;
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
void expectTheTablesControls(const std::vector<Shown>& controls) {
    ASSERT_EQ(controls.size(), std::size_t(kSettingCount) + 1);
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
    std::string tag, name, text;
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
    if (std::string(element) != "name") return;
    if (e.depth == 1) e.name = e.text;
    if (e.depth == 2) e.controls.back().label = e.text;
}

void XMLCALL characters(void* data, const XML_Char* text, int length) {
    static_cast<KdenliveEffect*>(data)->text.append(text, length);
}

TEST(EditorFiles, KdenliveEffectDescribesTheTablesControls) {
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
    ASSERT_TRUE(parsed);
    EXPECT_EQ(effect.tag, "frei0r.velmor");
    EXPECT_EQ(effect.name, "Velmor Filter+");
    expectTheTablesControls(effect.controls);
    EXPECT_EQ(xml.find("threads"), std::string::npos);
}

TEST(EditorFiles, ShotcutPanelAndMetadataDescribeTheTablesControls) {
    const std::string dir = kShare + "/shotcut/qml/filters/velmor/";
    const std::string meta = readText(dir + "meta.qml"), ui = readText(dir + "ui.qml");
    EXPECT_NE(meta.find("mlt_service: 'frei0r.velmor'"), std::string::npos) << meta;
    EXPECT_NE(meta.find("name: \"Velmor Filter+\""), std::string::npos) << meta;
    EXPECT_NE(meta.find("simpleProperties: ['gain', 'threshold', 'gamma value']"),
              std::string::npos) << meta;
    // The panel's controls array, one control a line.
    const std::regex line(
        R"re(\{"property": "([^"]*)", "label": "([^"]*)", "isSwitch": (true|false), )re"
        R"re("minimum": ([-0-9.e+]+), "maximum": ([-0-9.e+]+), "step": [-0-9.e+]+, )re"
        R"re("decimals": (\d+), "suffix": "[^"]*", "factor": ([-0-9.e+]+), )re"
        R"re("defaultValue": ([-0-9.e+]+)\},)re");
    std::vector<Shown> controls;
    for (std::sregex_iterator m(ui.begin(), ui.end(), line), end; m != end; ++m) {
        Shown c;
        c.property = (*m)[1], c.label = (*m)[2];
        c.type = (*m)[3] == "true" ? "bool" : "animated";
        c.minimum = std::stod((*m)[4]), c.maximum = std::stod((*m)[5]);
        c.decimals = std::stoi((*m)[6]), c.factor = std::stod((*m)[7]);
        c.defaultValue = std::stod((*m)[8]);
        controls.push_back(c);
    }
    expectTheTablesControls(controls);
    EXPECT_EQ((meta + ui).find("'threads'"), std::string::npos);
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
        int width, height; // the project's profile
        FilterSettings expected; // as the editors-check script sets them in the editor
    } cases[] = {
        {"kdenlive.kdenlive", 1920, 1080, referenceSettings(70, 20, 1.23, 1, 0, false)},
        {"shotcut.mlt", 640, 360, referenceSettings(60, 10, 1.5, 0, 1, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.project);
        std::vector<std::uint8_t> frames[2];
        for (int on = 0; on < 2; ++on) {
            const std::string project = kWork + "/" + c.project;
            writeProject(projects + "/" + c.project, project, on == 1);
            ASSERT_TRUE(run("melt -silent -quiet " + project + " out=4 -consumer avformat:" +
                            kWork + "/out.raw f=rawvideo pix_fmt=bgra"));
            frames[on] = readBytes(kWork + "/out.raw");
        }
        ASSERT_EQ(frames[0].size(), std::size_t(c.width) * c.height * 4 * 5);
        const auto want = referenceFrames(c.expected, frames[0], c.width, c.height, c.width);
        EXPECT_NE(want, frames[0]);
        EXPECT_TRUE(frames[1] == want);
    }
}

} // namespace
