// The settings as text: the summary beside the filter's name in the host's
// list (" gain %d t %d"), the script form the host saves
// ("Config(%d, %d, %d, %d, %d)", gamma in hundredths), and the script
// function "Config" that stores five integers back when a script runs.
//
// Saving truncates gamma * 100.0 and loading multiplies by 0.01, so some
// hundredths come back one lower after a load and save (29 -> 28); a second
// cycle changes nothing.
#include "script.h"

#include <cstdio>
#include <cstring>

#include "instance.h"
#include "setting_table.h"
#include "settings.h"

#if defined(_WIN32)
#include <windows.h>
#endif

void VELMOR_CDECL stringProc(const FilterActivation* fa, const FilterFunctions*, char* buffer) {
    const FilterSettings& s = settingsOf(fa);
    // The host's buffer holds at least 32 bytes; the text is at most 31.
#if defined(_WIN32)
    wsprintfA(buffer, " gain %d t %d", s.gainPercent, s.threshold);
#else
    std::snprintf(buffer, 32, " gain %d t %d", s.gainPercent, s.threshold);
#endif
}

bool VELMOR_CDECL fssProc(FilterActivation* fa, const FilterFunctions*, char* buffer, int length) {
    const FilterSettings& s = settingsOf(fa);
    const ScriptNumbers v = scriptNumbersOf(s);
    char text[96]; // the longest form is 71 characters
    const int n = std::snprintf(text, sizeof text, "Config(%d, %d, %d, %d, %d)", v.value[0],
                                v.value[1], v.value[2], v.value[3], v.value[4]);
    if (length >= 1) { // a short buffer gets the start of the text, always terminated
        const int kept = n < length - 1 ? n : length - 1;
        std::memcpy(buffer, text, static_cast<std::size_t>(kept));
        buffer[kept] = '\0';
    }
    return true;
}

void VELMOR_CDECL configScriptFunction(void*, void* activation, const ScriptValue* arguments, int) {
    ScriptNumbers n;
    for (int k = 0; k < kSettingCount; ++k) n.value[k] = arguments[k].asInt;
    storeScriptNumbers(n, settingsOf(static_cast<const FilterActivation*>(activation)));
}

static const ScriptFunctionEntry scriptFunctions[] = {
    {configScriptFunction, "Config", "0iiiii"},
    {nullptr, nullptr, nullptr},
};

const ScriptObject scriptObject = {nullptr, scriptFunctions, {}};
