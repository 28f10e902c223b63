# Windows test executables under Wine.
#
#   bxml_add_wine_test(<target> [RUN_SERIAL] [TIMEOUT <seconds>])
#
# Adds one CTest entry, wine.<target>, that runs the whole executable under
# Wine's 64-bit loader inside an X server (xvfb-run -a) with the build's private
# WINEPREFIX and WINEDEBUG=-all (scripts/wine-run). One entry per executable,
# because every Wine start costs seconds. Tests that drive dialogs pass
# RUN_SERIAL.
#
# Each such executable also gets pe.<target>.ImportsSystemDllsOnly
# (cmake/WindowsChecks.cmake).
#
# Run the suite through scripts/run-windows-tests: it starts Wine once for the
# whole run and ends it afterwards. A plain `ctest` works too, only slower.

include(${CMAKE_CURRENT_LIST_DIR}/WindowsChecks.cmake)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 BXML_WINE)
get_filename_component(_bxml_wine_dir "${BXML_WINE}" DIRECTORY)
if(EXISTS "${_bxml_wine_dir}/wineserver64")
    set(BXML_WINESERVER "${_bxml_wine_dir}/wineserver64")
else()
    find_program(BXML_WINESERVER NAMES wineserver REQUIRED)
endif()
find_program(BXML_XVFB_RUN NAMES xvfb-run)
if(NOT BXML_XVFB_RUN)
    message(WARNING "xvfb-run not found; the Windows tests need it (run scripts/setup)")
endif()

# A fresh prefix is about 700 MB and 10 s of start-up: one per build folder,
# made on the first run and reused.
set(BXML_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")

# What scripts/run-windows-tests needs to start and stop the same Wine.
file(WRITE "${CMAKE_BINARY_DIR}/wine-env.sh"
    "WINEPREFIX='${BXML_WINEPREFIX}'\n"
    "BXML_WINE='${BXML_WINE}'\n"
    "BXML_WINESERVER='${BXML_WINESERVER}'\n")

function(bxml_add_wine_test target)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "RUN_SERIAL" "TIMEOUT" "")
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 600)
    endif()
    set(name wine.${target})
    add_test(NAME ${name}
        COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run $<TARGET_FILE:${target}> --gtest_color=no
        WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>)
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "WINEPREFIX=${BXML_WINEPREFIX};BXML_WINE=${BXML_WINE};WINEDEBUG=-all"
        TIMEOUT ${ARG_TIMEOUT}
        LABELS wine)
    if(ARG_RUN_SERIAL)
        set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
    endif()
    bxml_add_pe_import_check(${target})
endfunction()
