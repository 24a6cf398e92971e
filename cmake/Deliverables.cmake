# The deliverables: one shared library per plug-in, built from its engine and the runtime.
# Included after every folder, so each engine target exists.
if(TARGET compressor_engine)
  orq_plugin_library(compressor_dx ${PROJECT_SOURCE_DIR}/compressor/compressor_module.cpp
                     ${PROJECT_SOURCE_DIR}/runtime/module_exports.cpp LIBS compressor_engine runtime platform)
endif()
if(TARGET maximizer_engine)
  orq_plugin_library(pressane_dx ${PROJECT_SOURCE_DIR}/maximizer/pressane_module.cpp
                     ${PROJECT_SOURCE_DIR}/runtime/module_exports.cpp LIBS maximizer_engine runtime platform)
endif()
if(TARGET matching_engine)
  orq_plugin_library(tessaline_dx ${PROJECT_SOURCE_DIR}/matching/tessaline_module.cpp
                     ${PROJECT_SOURCE_DIR}/runtime/module_exports.cpp LIBS matching_engine runtime platform)
endif()
if(TARGET spectrogram_engine)
  orq_plugin_library(ombrel_dx ${PROJECT_SOURCE_DIR}/spectrogram/ombrel_module.cpp
                     ${PROJECT_SOURCE_DIR}/runtime/module_exports.cpp LIBS spectrogram_engine runtime platform)
endif()
if(TARGET scope_engine)
  orq_plugin_library(lunavis_dx ${PROJECT_SOURCE_DIR}/scope/lunavis_module.cpp
                     ${PROJECT_SOURCE_DIR}/runtime/module_exports.cpp LIBS scope_engine runtime platform)
endif()
if(TARGET enhancer_engine)
  orq_plugin_library(brisquet_dx ${PROJECT_SOURCE_DIR}/enhancer/brisquet_module.cpp
                     ${PROJECT_SOURCE_DIR}/runtime/module_exports.cpp LIBS enhancer_engine runtime platform)
endif()
