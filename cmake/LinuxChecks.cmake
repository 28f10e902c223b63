# The Linux plug-in library as a loader sees it: its dynamic symbol table holds
# exactly PluginProc and PluginVersion (scripts/check-exports elf).

set(BXML_CHECK_EXPORTS "${CMAKE_SOURCE_DIR}/scripts/check-exports")

add_test(NAME linux.PluginLibrary.ExportsOnlyPluginProcAndPluginVersion
    COMMAND "${BXML_CHECK_EXPORTS}" elf $<TARGET_FILE:bxml-importer> PluginProc PluginVersion)

# The check itself must see an export too many: a library with default
# visibility and no version script shows its helpers and its data.
set(_probe_source "${CMAKE_CURRENT_BINARY_DIR}/export_check_probe.cpp")
file(WRITE "${_probe_source}"
    "extern \"C\" int PluginVersion() { return 0; }\n"
    "extern \"C\" int PluginProc(int message) { return message; }\n"
    "int probeHelper(int value) { return value + 1; }\n"
    "int probeCounter = 0;\n")
add_library(bxml_export_check_probe SHARED "${_probe_source}")
set_target_properties(bxml_export_check_probe PROPERTIES CXX_VISIBILITY_PRESET default)
add_test(NAME linux.ExportCheck.RejectsLibraryWithExtraSymbols
    COMMAND "${BXML_CHECK_EXPORTS}" elf $<TARGET_FILE:bxml_export_check_probe> PluginProc PluginVersion)
set_tests_properties(linux.ExportCheck.RejectsLibraryWithExtraSymbols PROPERTIES
    PASS_REGULAR_EXPRESSION "FAIL: .* must define exactly: PluginProc PluginVersion")
