// Shotcut's filter folder: meta.qml, which names the filter, its MLT service
// and the parameters that take keyframes (in parameter units, 0..1), and
// ui.qml, the panel's template with the controls written in as a
// JavaScript array, one control a line (with its tooltip).
#include <stdexcept>

#include "editor_files.h"

namespace {

// A JavaScript string literal (the labels and help have no backslashes).
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\\\"") : std::string(1, c);
    return out + "\"";
}

std::string boolean(bool b) {
    return b ? "true" : "false";
}

} // namespace

std::string shotcutMeta(const std::vector<EditorControl>& controls) {
    std::string simple, parameters;
    for (const EditorControl& c : controls) {
        if (!c.animated) continue;
        simple += std::string(simple.empty() ? "" : ", ") + "'" + c.property + "'";
        parameters += std::string(parameters.empty() ? "" : ",\n") +
                      "            Parameter {\n"
                      "                name: " + quoted(c.label) + "\n"
                      "                property: '" + c.property + "'\n"
                      "                isCurve: true\n"
                      "                minimum: " + shortestDecimal(c.minimum / c.factor) + "\n"
                      "                maximum: " + shortestDecimal(c.maximum / c.factor) + "\n"
                      "            }";
    }
    return "// Velmor Filter+ in Shotcut's filter list; written by the build from the\n"
           "// filter's settings table.\n"
           "import QtQuick 2.0\n"
           "import org.shotcut.qml 1.0\n\n"
           "Metadata {\n"
           "    type: Metadata.Filter\n"
           "    name: " + quoted(kEditorEffectName) + "\n"
           "    keywords: 'levels auto contrast stretch gamma correction velmor'\n"
           "    objectName: 'velmor'\n"
           "    mlt_service: 'frei0r.velmor'\n"
           "    qml: 'ui.qml'\n\n"
           "    keyframes {\n"
           "        allowAnimateIn: true\n"
           "        allowAnimateOut: true\n"
           "        simpleProperties: [" + simple + "]\n"
           "        parameters: [\n" + parameters + "\n        ]\n"
           "    }\n"
           "}\n";
}

std::string shotcutUi(const std::vector<EditorControl>& controls, const std::string& uiTemplate) {
    std::string array = "[\n";
    for (const EditorControl& c : controls)
        array += "        {\"property\": " + quoted(c.property) + ", \"label\": " + quoted(c.label) +
                 ", \"isSwitch\": " + boolean(c.isSwitch) +
                 ", \"minimum\": " + shortestDecimal(c.minimum) +
                 ", \"maximum\": " + shortestDecimal(c.maximum) +
                 ", \"step\": " + shortestDecimal(c.step) +
                 ", \"decimals\": " + std::to_string(c.decimals) +
                 ", \"suffix\": " + quoted(c.suffix.empty() ? "" : " " + c.suffix) +
                 ", \"factor\": " + shortestDecimal(c.factor) +
                 ", \"defaultValue\": " + shortestDecimal(c.defaultValue) +
                 ", \"takesKeyframes\": " + boolean(c.animated) +
                 ", \"tip\": " + quoted(c.comment) + "},\n";
    array += "    ]";
    const std::string mark = "@CONTROLS@";
    const std::size_t at = uiTemplate.find(mark);
    if (at == std::string::npos) throw std::runtime_error("the panel template has no " + mark);
    return uiTemplate.substr(0, at) + array + uiTemplate.substr(at + mark.size());
}
