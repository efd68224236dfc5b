// Kdenlive's effect description, in the form of those it ships: the effect
// tagged with its MLT service, and one parameter a control. A number is
// "animated" (keyframes) and shows the parameter's value times "factor";
// min and max are in shown units, the default in parameter units.
//
// Where it is listed: Kdenlive 22.12 puts an effect in a group only through
// one categories file (kdenliveeffectscategory.rc, the first it finds in its
// data folders, keyed by effect id); a file of ours would replace its own
// and every other group with it, so the effect stays under "Misc". Its
// search matches names and ids, not descriptions, so the name carries the
// words users look for it by.
#include "editor_files.h"

namespace {

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string attribute(const char* name, const std::string& value) {
    return std::string(" ") + name + "=\"" + escaped(value) + "\"";
}

} // namespace

std::string kdenliveEffectName() {
    return std::string(kEditorEffectName) + " (auto levels, contrast)";
}

std::string kdenliveEffect(const std::vector<EditorControl>& controls) {
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE kpartgui>\n"
                      "<effect LC_NUMERIC=\"C\" tag=\"frei0r.velmor\" id=\"frei0r.velmor\">\n"
                      "    <name>" + escaped(kdenliveEffectName()) + "</name>\n"
                      "    <description>" + escaped(kEditorEffectDescription) + "</description>\n"
                      "    <author>Velmor developers</author>\n";
    for (const EditorControl& c : controls) {
        xml += "    <parameter";
        if (c.isSwitch) {
            xml += attribute("type", "bool") + attribute("name", c.property) +
                   attribute("default", shortestDecimal(c.defaultValue));
        } else {
            xml += attribute("type", c.animated ? "animated" : "constant") +
                   attribute("name", c.property) +
                   attribute("default", shortestDecimal(c.defaultValue)) +
                   attribute("min", shortestDecimal(c.minimum)) +
                   attribute("max", shortestDecimal(c.maximum)) +
                   attribute("factor", shortestDecimal(c.factor)) +
                   attribute("decimals", std::to_string(c.decimals));
            if (!c.suffix.empty()) xml += attribute("suffix", c.suffix);
        }
        xml += ">\n        <name>" + escaped(c.label) + "</name>\n        <comment>" +
               escaped(c.comment) + "</comment>\n    </parameter>\n";
    }
    return xml + "</effect>\n";
}
