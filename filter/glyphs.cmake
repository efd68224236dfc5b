# Overlay font table, shared by the filter and the glyph_sheet tool.
add_library(velmor_glyphs STATIC ${CMAKE_CURRENT_LIST_DIR}/glyph_table.cpp)
target_include_directories(velmor_glyphs PUBLIC ${CMAKE_CURRENT_LIST_DIR})
