# The Windows binaries as the Windows loader sees them, read on the build
# machine with mingw's objdump (scripts/check-exports pe):
# - bxml-importer.dll is PE32+, exports exactly PluginProc and PluginVersion by
#   name, and imports Windows system DLLs only (the C and C++ run-times and
#   winpthread are linked in);
# - every Windows test executable imports system DLLs only
#   (bxml_add_pe_import_check, called by bxml_add_wine_test).

find_program(BXML_MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump REQUIRED)
set(BXML_CHECK_EXPORTS "${CMAKE_SOURCE_DIR}/scripts/check-exports")

add_test(NAME pe.PluginLibrary.ExportsOnlyPluginProcAndPluginVersion
    COMMAND "${BXML_CHECK_EXPORTS}" pe "${BXML_MINGW_OBJDUMP}" $<TARGET_FILE:bxml-importer> PluginProc PluginVersion)

function(bxml_add_pe_import_check target)
    add_test(NAME pe.${target}.ImportsSystemDllsOnly
        COMMAND "${BXML_CHECK_EXPORTS}" pe "${BXML_MINGW_OBJDUMP}" $<TARGET_FILE:${target}> --any-exports)
endfunction()

# The check itself must reject an export too many and a DLL that needs the
# mingw C++ run-time beside it.
set(_probe_source "${CMAKE_CURRENT_BINARY_DIR}/pe_check_probe.cpp")
file(WRITE "${_probe_source}"
    "#include <string>\n"
    "extern \"C\" __declspec(dllexport) int PluginVersion() { return 0; }\n"
    "extern \"C\" __declspec(dllexport) int PluginProc(int message) { return static_cast<int>(std::to_string(message).size()); }\n"
    "extern \"C\" __declspec(dllexport) int probeHelper(int value) { return value + 1; }\n")
add_library(bxml_pe_check_probe SHARED "${_probe_source}")
set_target_properties(bxml_pe_check_probe PROPERTIES PREFIX "")
add_test(NAME pe.ExportCheck.RejectsDllWithExtraExport
    COMMAND "${BXML_CHECK_EXPORTS}" pe "${BXML_MINGW_OBJDUMP}" $<TARGET_FILE:bxml_pe_check_probe> PluginProc PluginVersion)
set_tests_properties(pe.ExportCheck.RejectsDllWithExtraExport PROPERTIES
    PASS_REGULAR_EXPRESSION "FAIL: .* must export exactly: PluginProc PluginVersion")

# Linked the compiler's default way, without -static (the project links every
# target with -static, so this one bypasses the targets).
set(_probe_dll "${CMAKE_CURRENT_BINARY_DIR}/pe_check_probe_shared_runtime.dll")
add_custom_command(OUTPUT "${_probe_dll}"
    COMMAND "${CMAKE_CXX_COMPILER}" -shared -O1 "${_probe_source}" -o "${_probe_dll}"
    DEPENDS "${_probe_source}"
    VERBATIM)
add_custom_target(bxml_pe_check_probe_shared_runtime ALL DEPENDS "${_probe_dll}")
add_test(NAME pe.ImportCheck.RejectsDllNeedingMingwRuntime
    COMMAND "${BXML_CHECK_EXPORTS}" pe "${BXML_MINGW_OBJDUMP}" "${_probe_dll}" --any-exports)
set_tests_properties(pe.ImportCheck.RejectsDllNeedingMingwRuntime PROPERTIES
    PASS_REGULAR_EXPRESSION "FAIL: .* imports the mingw run-time DLL lib(stdc\\+\\+|gcc|winpthread)")
