# The deliverables: one shared library per plug-in, built from its engine and the runtime.
# Included after every folder, so each engine target exists.

orq_deliverable(compressor_dx ENGINE compressor_engine HEADER compressor/compressor_plugin.h
  NAME "Orq Compressor" KIND kVcKindProcessor
  PARAMETERS createCompressorParameters PLUGIN createCompressorPlugin
  EDITOR createCompressorEditor EDITOR_LIBRARY compressor_editor
  CLASS_ID 0xA3F1C250 PAGE_ID 0xA3F1C251 TAIL 0x01 MERIT 0
  RESOURCES compressor/resources.txt)
orq_deliverable(pressane_dx ENGINE maximizer_engine HEADER maximizer/pressane_plugin.h
  NAME "Orq Pressane" KIND kVcKindProcessor
  PARAMETERS createPressaneParameters PLUGIN createPressanePlugin
  EDITOR createPressaneEditor EDITOR_LIBRARY pressane_editor
  CLASS_ID 0xA3F1C260 PAGE_ID 0xA3F1C261 TAIL 0x02 MERIT kMeritPreferred
  RESOURCES maximizer/resources.txt)
orq_deliverable(tessaline_dx ENGINE matching_engine HEADER matching/tessaline_plugin.h
  NAME "Orq Tessaline" KIND kVcKindProcessor
  PARAMETERS createTessalineParameters PLUGIN createTessalinePlugin
  EDITOR createTessalineEditor EDITOR_LIBRARY tessaline_editor
  CLASS_ID 0xA3F1C270 PAGE_ID 0xA3F1C271 TAIL 0x03 MERIT kMeritPreferred
  RESOURCES matching/resources.txt)
orq_deliverable(ombrel_dx ENGINE spectrogram_engine HEADER spectrogram/ombrel_plugin.h
  NAME "Orq Ombrel" KIND kVcKindAnalyser
  PARAMETERS createOmbrelParameters PLUGIN createOmbrelPlugin
  EDITOR createOmbrelEditor EDITOR_LIBRARY ombrel_editor
  CLASS_ID 0xA3F1C280 PAGE_ID 0xA3F1C281 TAIL 0x04 MERIT 0
  RESOURCES spectrogram/resources.txt)
orq_deliverable(lunavis_dx ENGINE scope_engine HEADER scope/lunavis_plugin.h
  NAME "Orq Lunavis" KIND kVcKindAnalyser
  PARAMETERS createLunavisParameters PLUGIN createLunavisPlugin
  EDITOR createLunavisEditor EDITOR_LIBRARY lunavis_editor
  CLASS_ID 0xA3F1C290 PAGE_ID 0xA3F1C291 TAIL 0x05 MERIT 0
  RESOURCES scope/resources.txt)
orq_deliverable(brisquet_dx ENGINE enhancer_engine HEADER enhancer/brisquet_plugin.h
  NAME "Orq Brisquet" KIND kVcKindProcessor
  PARAMETERS createBrisquetParameters PLUGIN createBrisquetPlugin
  EDITOR createBrisquetEditor EDITOR_LIBRARY brisquet_editor
  CLASS_ID 0xA3F1C2A0 PAGE_ID 0xA3F1C2A1 TAIL 0x06 MERIT 0
  RESOURCES enhancer/resources.txt)
