// velmor_editor_files: writes the editors' files from the settings table
// into a folder laid out as they are installed:
//   OUT/kdenlive/effects/frei0r_velmor.xml
//   OUT/shotcut/qml/filters/velmor/meta.qml, ui.qml
// Usage: velmor_editor_files UI_TEMPLATE OUT
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "editor_files.h"

namespace {

void write(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: velmor_editor_files UI_TEMPLATE OUT\n", stderr);
        return 2;
    }
    try {
        std::ifstream in(argv[1], std::ios::binary);
        const std::string uiTemplate{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
        if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
        const auto controls = editorControls();
        const std::filesystem::path out = argv[2];
        write(out / "kdenlive/effects/frei0r_velmor.xml", kdenliveEffect(controls));
        const std::filesystem::path shotcut = out / "shotcut/qml/filters/velmor";
        write(shotcut / "meta.qml", shotcutMeta(controls));
        write(shotcut / "ui.qml", shotcutUi(controls, uiTemplate));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmor_editor_files: %s\n", e.what());
        return 1;
    }
    return 0;
}
