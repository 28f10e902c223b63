# TinyXML-2 and GoogleTest.
#
# Linux: the system packages (libtinyxml2-dev, libgtest-dev).
# Windows: TinyXML-2 compiled from the source that scripts/setup unpacks into
# third_party/tinyxml2 (git-ignored), GoogleTest built from /usr/src/googletest.

if(WIN32)
    set(BXML_TINYXML2_DIR "${CMAKE_SOURCE_DIR}/third_party/tinyxml2" CACHE PATH "TinyXML-2 source folder")
    if(NOT EXISTS "${BXML_TINYXML2_DIR}/tinyxml2.cpp")
        message(FATAL_ERROR "TinyXML-2 source not found in ${BXML_TINYXML2_DIR}; run scripts/setup first")
    endif()
    add_library(bxml_tinyxml2 STATIC "${BXML_TINYXML2_DIR}/tinyxml2.cpp")
    target_include_directories(bxml_tinyxml2 SYSTEM PUBLIC "${BXML_TINYXML2_DIR}")
    target_compile_options(bxml_tinyxml2 PRIVATE -w)
else()
    find_path(TINYXML2_INCLUDE_DIR tinyxml2.h REQUIRED)
    find_library(TINYXML2_LIBRARY NAMES tinyxml2 REQUIRED)
    add_library(bxml_tinyxml2 INTERFACE)
    target_include_directories(bxml_tinyxml2 SYSTEM INTERFACE "${TINYXML2_INCLUDE_DIR}")
    target_link_libraries(bxml_tinyxml2 INTERFACE "${TINYXML2_LIBRARY}")
endif()

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
