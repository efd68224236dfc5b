// The files the editors read, written from the controls: Kdenlive's effect
// description and Shotcut's filter metadata and panel.
#pragma once

#include <string>
#include <vector>

#include "editor_controls.h"

// The effect's name in Kdenlive's list: ours and the words its search finds
// it by ("levels", "contrast").
std::string kdenliveEffectName();

// Kdenlive's effect description (frei0r_velmor.xml in its effects folder).
std::string kdenliveEffect(const std::vector<EditorControl>& controls);

// Shotcut's filter folder: meta.qml, and ui.qml from its template (the
// panel's QML with @CONTROLS@ where the controls go).
std::string shotcutMeta(const std::vector<EditorControl>& controls);
std::string shotcutUi(const std::vector<EditorControl>& controls, const std::string& uiTemplate);
