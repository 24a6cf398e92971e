# The Plax standard's editor library (frame, bitmaps, controls) and the Plax builds' editors.
add_library(plax_gui STATIC plax_gui.cpp)
set_target_properties(plax_gui PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(plax_gui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(plax_gui PUBLIC platform)

add_library(plax_pressane_editor STATIC pressane_plax_editor.cpp)
set_target_properties(plax_pressane_editor PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_link_libraries(plax_pressane_editor PUBLIC plax_gui)

add_library(plax_compressor_editor STATIC compressor_plax_editor.cpp)
set_target_properties(plax_compressor_editor PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_link_libraries(plax_compressor_editor PUBLIC plax_gui)

orq_test(plax_editor_test plax_gui_test.cpp pressane_plax_editor_test.cpp LIBS plax_pressane_editor)
orq_resources(plax_editor_test pressane_resources.txt)

# The compressor's editor on the effect itself (its table, automation through the host), with
# the bitmaps of compressor_plax.so.
orq_test(plax_compressor_editor_test compressor_plax_editor_test.cpp
  LIBS plax_compressor_editor plax_compressor)
orq_resources(plax_compressor_editor_test compressor_resources.txt)
