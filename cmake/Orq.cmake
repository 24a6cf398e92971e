# orq_test(<target> <sources>... LIBS <libs>... [PROPERTIES <name> <value>...])
# One GoogleTest executable per layer; each test case is registered with CTest and labelled
# with the executable's name (ctest -L <target> runs one executable's cases). Every test can use
# the shared test signals (testsupport/test_signals.h). PROPERTIES are further CTest properties
# of every case (RUN_SERIAL for tests that need the machine to themselves).
function(orq_test target)
  cmake_parse_arguments(ARG "" "" "LIBS;PROPERTIES" ${ARGN})
  add_executable(${target} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} orq_test_signals GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 600 LABELS ${target} ${ARG_PROPERTIES})
endfunction()

# orq_benchmark(<target> <sources>... LIBS <libs>...)
function(orq_benchmark target)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${target} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# orq_plugin_library(<name> <sources>... LIBS <libs>...)
# A deliverable: a shared library exporting exactly the component-server and
# host-extension functions (runtime/exports_dx.map).
function(orq_plugin_library name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_UNPARSED_ARGUMENTS})
  set_target_properties(${name} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugins)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/runtime/exports_dx.map -Wl,--no-undefined)
  set_property(GLOBAL APPEND PROPERTY ORQ_PLUGIN_LIBRARIES ${name})
endfunction()

# orq_deliverable(<library> ENGINE <target> HEADER <header> NAME <display name> KIND <kind>
#                 PARAMETERS <factory> PLUGIN <factory> CLASS_ID <first group> PAGE_ID <first group>
#                 TAIL <last byte> MERIT <merit> [EDITOR <factory>] [EDITOR_LIBRARY <target>]
#                 [RESOURCES <resource list>])
# EDITOR_LIBRARY is the static library of the plug-in's editor (its windows and controls), kept
# apart from the engine, which sees no window.
# The filter's and the page's class ids share every group but the first, whose last digit
# differs.
function(orq_deliverable library)
  cmake_parse_arguments(ORQ "" "ENGINE;HEADER;NAME;KIND;PARAMETERS;PLUGIN;EDITOR;EDITOR_LIBRARY;CLASS_ID;PAGE_ID;TAIL;MERIT;RESOURCES" "" ${ARGN})
  if(NOT TARGET ${ORQ_ENGINE})
    return()
  endif()
  set(ORQ_DISPLAY_NAME ${ORQ_NAME})
  set(ORQ_CREATE_PARAMETERS ${ORQ_PARAMETERS})
  set(ORQ_CREATE_PLUGIN ${ORQ_PLUGIN})
  # A plug-in without an editor of its own opens a plain editor host.
  if(ORQ_EDITOR)
    set(ORQ_CREATE_EDITOR ${ORQ_EDITOR})
  else()
    set(ORQ_CREATE_EDITOR nullptr)
  endif()
  set(ORQ_CLASS_TAIL ${ORQ_TAIL})
  set(module ${CMAKE_BINARY_DIR}/modules/${library}_module.cpp)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/plugin_module.cpp.in ${module} @ONLY)
  # Each deliverable carries its own copy of the control toolkit (its editor's controls).
  set(toolkit "")
  if(TARGET controls)
    set(toolkit controls)
  endif()
  orq_plugin_library(${library} ${module} ${PROJECT_SOURCE_DIR}/runtime/module_exports.cpp
                     LIBS ${ORQ_EDITOR_LIBRARY} ${ORQ_ENGINE} runtime ${toolkit} platform)
  if(ORQ_RESOURCES)
    orq_resources(${library} ${ORQ_RESOURCES})
  endif()
endfunction()

# orq_resources(<target> <resource list>)
# Compiles the resources a list names (bitmaps, dialogs, accelerators, icons, cursors, strings,
# the version resource; the format is described in cmake/resources.py) into a source of the
# target's (a shared library or a program). The library registers them with the platform when
# it is loaded, under its own module handle, and exports nothing for them. A relative list is
# found in the calling folder; the files it names, relative to the list's folder.
# "@PROJECT_VERSION@" in a value is the project's version.
function(orq_resources target list)
  get_target_property(type ${target} TYPE)
  if(NOT type MATCHES "^(SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
    # A static library's object would be dropped by the linker: nothing refers to it.
    message(FATAL_ERROR "orq_resources(${target}): resources belong to a shared library or a program")
  endif()
  get_filename_component(list_path ${list} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  set(generator ${PROJECT_SOURCE_DIR}/cmake/resources.py)
  execute_process(COMMAND /usr/bin/python3 ${generator} --inputs ${list_path}
                  OUTPUT_VARIABLE inputs ERROR_VARIABLE errors RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "orq_resources(${target}): ${errors}")
  endif()
  # A changed list may name other files: configure again to depend on them.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_path})
  set(output ${CMAKE_BINARY_DIR}/resources/${target}_resources.cpp)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/resources)
  add_custom_command(OUTPUT ${output}
    COMMAND /usr/bin/python3 ${generator} ${list_path} ${output} --version ${PROJECT_VERSION}
    DEPENDS ${generator} ${list_path} ${inputs}
    COMMENT "Compiling the resources of ${target}" VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()


# orq_generated_file(<test name> SCRIPT <generator> OUTPUT <committed file>)
# A committed generated file (table, reference trace) stays what its generator makes: the test
# runs the generator with Debian's python3 into a scratch file and compares byte for byte.
# Every generator takes the path to write as its one argument; the scratch file keeps the
# committed file's name (in a folder of the test's), so a generator may tell its outputs apart by
# name.
function(orq_generated_file name)
  cmake_parse_arguments(ARG "" "SCRIPT;OUTPUT" "" ${ARGN})
  get_filename_component(output_name ${ARG_OUTPUT} NAME)
  add_test(NAME ${name}
           COMMAND ${PROJECT_SOURCE_DIR}/tools/check-generated
                   ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_SCRIPT} ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_OUTPUT}
                   ${CMAKE_CURRENT_BINARY_DIR}/${name}/${output_name})
endfunction()
