# TinyXML-2 and GoogleTest.
#
# TinyXML-2 (both builds): compiled from the source that scripts/setup unpacks
# into third_party/tinyxml2 (git-ignored), as a static library with this
# build's flags (sanitizers and fuzzing instrumentation included). Two
# changes are made to copies in the build folder, see below.
# GoogleTest: the system package on Linux (libgtest-dev); built from
# /usr/src/googletest for Windows.

set(BXML_TINYXML2_DIR "${CMAKE_SOURCE_DIR}/third_party/tinyxml2" CACHE PATH "TinyXML-2 source folder")
if(NOT EXISTS "${BXML_TINYXML2_DIR}/tinyxml2.cpp" OR NOT EXISTS "${BXML_TINYXML2_DIR}/tinyxml2.h")
    message(FATAL_ERROR "TinyXML-2 source not found in ${BXML_TINYXML2_DIR}; run scripts/setup first")
endif()

# XMLDocument::SetError formats its message in a heap buffer and frees it only
# after copying it into the error string; when that copy's allocation throws
# (out of memory while reporting a parse error), the buffer is lost. The copy
# compiled here formats into a buffer on the stack instead. Configuring fails
# if the source no longer has the expected lines, so a new TinyXML-2 version
# is looked at rather than compiled unchanged.
set(_bxml_tinyxml2_cpp "${CMAKE_BINARY_DIR}/tinyxml2/tinyxml2.cpp")
file(READ "${BXML_TINYXML2_DIR}/tinyxml2.cpp" _bxml_tinyxml2_source)
set(_bxml_heap_buffer "char* buffer = new char[BUFFER_SIZE];")
set(_bxml_heap_free "_errorStr.SetStr(buffer);\n\tdelete[] buffer;")
string(FIND "${_bxml_tinyxml2_source}" "${_bxml_heap_buffer}" _bxml_at_buffer)
string(FIND "${_bxml_tinyxml2_source}" "${_bxml_heap_free}" _bxml_at_free)
if(_bxml_at_buffer EQUAL -1 OR _bxml_at_free EQUAL -1)
    message(FATAL_ERROR "TinyXML-2 source in ${BXML_TINYXML2_DIR}: XMLDocument::SetError is not as expected; "
                        "check whether its error buffer still leaks when an allocation fails")
endif()
string(REPLACE "${_bxml_heap_buffer}" "char buffer[BUFFER_SIZE];" _bxml_tinyxml2_source "${_bxml_tinyxml2_source}")
string(REPLACE "${_bxml_heap_free}" "_errorStr.SetStr(buffer);" _bxml_tinyxml2_source "${_bxml_tinyxml2_source}")
file(WRITE "${_bxml_tinyxml2_cpp}.new" "${_bxml_tinyxml2_source}")
file(COPY_FILE "${_bxml_tinyxml2_cpp}.new" "${_bxml_tinyxml2_cpp}" ONLY_IF_DIFFERENT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${BXML_TINYXML2_DIR}/tinyxml2.cpp")

# Element nesting: TinyXML-2 parses (and later destroys) nested elements by
# recursion on the caller's thread, and refuses a document nested deeper than
# TINYXML2_MAX_ELEMENT_DEPTH (100 as shipped, which cuts skeletons off at 96
# bones in a chain). The limit compiled here is the deepest whose worst case
# stays well inside a 1 MB thread stack (a host's interface thread), leaving
# most of that stack to the host's own frames below ours. Stack per level of
# nesting, parse and destruction together, measured with bxml-stack-depth:
#   Windows x64, mingw-w64 g++ 12 -O2 (the DLL):  208 bytes
#   Linux, g++ 12 -O2:                            144 bytes
#   Linux, g++ 12 -O1 with sanitizers:            416 bytes
# At 1000 levels the DLL's parser needs about 210 KB, a fifth of 1 MB (the
# sanitizer build about 420 KB). A 1000-level limit accepts bone chains of
# 995 bones (the document, orvk, skeletons and skeleton take the other levels).
set(BXML_TINYXML2_MAX_ELEMENT_DEPTH 1000)
set(_bxml_tinyxml2_h "${CMAKE_BINARY_DIR}/tinyxml2/tinyxml2.h")
file(READ "${BXML_TINYXML2_DIR}/tinyxml2.h" _bxml_tinyxml2_header)
set(_bxml_depth_line "static const int TINYXML2_MAX_ELEMENT_DEPTH = 100;")
string(FIND "${_bxml_tinyxml2_header}" "${_bxml_depth_line}" _bxml_at_depth)
if(_bxml_at_depth EQUAL -1)
    message(FATAL_ERROR "TinyXML-2 source in ${BXML_TINYXML2_DIR}: the element depth limit is not as expected; "
                        "check how its parser limits nesting")
endif()
string(REPLACE "${_bxml_depth_line}" "static const int TINYXML2_MAX_ELEMENT_DEPTH = ${BXML_TINYXML2_MAX_ELEMENT_DEPTH};"
    _bxml_tinyxml2_header "${_bxml_tinyxml2_header}")
file(WRITE "${_bxml_tinyxml2_h}.new" "${_bxml_tinyxml2_header}")
file(COPY_FILE "${_bxml_tinyxml2_h}.new" "${_bxml_tinyxml2_h}" ONLY_IF_DIFFERENT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${BXML_TINYXML2_DIR}/tinyxml2.h")

add_library(bxml_tinyxml2 STATIC "${_bxml_tinyxml2_cpp}")
# The patched header beside the patched source: every user sees the same limit.
target_include_directories(bxml_tinyxml2 SYSTEM PUBLIC "${CMAKE_BINARY_DIR}/tinyxml2")
set_target_properties(bxml_tinyxml2 PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_compile_options(bxml_tinyxml2 PRIVATE -w)

if(BXML_BUILD_TESTS)
    if(WIN32)
        set(BXML_GOOGLETEST_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source folder")
        set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        add_subdirectory("${BXML_GOOGLETEST_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
        if(NOT TARGET GTest::gtest)
            add_library(GTest::gtest ALIAS gtest)
            add_library(GTest::gtest_main ALIAS gtest_main)
        endif()
    else()
        find_package(GTest REQUIRED)
    endif()
endif()
