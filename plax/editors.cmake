# The Plax standard's editor library (frame, bitmaps, controls) and the Plax builds' editors.
add_library(plax_gui STATIC plax_gui.cpp)
set_target_properties(plax_gui PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(plax_gui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(plax_gui PUBLIC platform)

add_library(plax_pressane_editor STATIC pressane_plax_editor.cpp)
set_target_properties(plax_pressane_editor PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_link_libraries(plax_pressane_editor PUBLIC plax_gui)

orq_test(plax_editor_test plax_gui_test.cpp pressane_plax_editor_test.cpp LIBS plax_pressane_editor)
orq_resources(plax_editor_test pressane_resources.txt)

# The editors behind the standard's editor base, once the effect base classes are built.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/plax_effect.cpp)
  target_sources(plax_pressane_editor PRIVATE hosted_editor.cpp)
  target_link_libraries(plax_pressane_editor PUBLIC plax_standard)
endif()
