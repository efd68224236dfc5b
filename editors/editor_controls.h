// The filter's controls in the video editors (Kdenlive's effect description,
// Shotcut's filter panel), made from the settings table and the frei0r
// parameters: what each shows, and which parameter it sets with which value.
#pragma once

#include <string>
#include <vector>

struct EditorControl {
    std::string property;  // the frei0r parameter it sets (an MLT property)
    std::string label;     // as the dialog labels it
    std::string comment;   // one line of help
    bool isSwitch;         // a check box; otherwise a number
    double minimum, maximum, step; // as shown ("0.20", "5.00", "0.01")
    int decimals;
    std::string suffix;    // "%" or ""
    double factor;         // shown = parameter value x factor (editors add no offset)
    double defaultValue;   // the parameter's value for the setting's default
    bool animated;         // MLT animates every numeric frei0r parameter
};

// The five settings in the table's order, the statistics overlay, then
// smoothing over time (a number without keyframes).
std::vector<EditorControl> editorControls();

// The effect's name and one-line description in the editors' lists.
extern const char* const kEditorEffectName;
extern const char* const kEditorEffectDescription;

// The shortest decimal that reads back as the same double, as the editors'
// files write numbers.
std::string shortestDecimal(double value);
