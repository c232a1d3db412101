# One helper to register every test program with CTest.
#
#   dorvantis_add_test(<name> SOURCES <files...> LIBS <targets...> [GUI] [PLAIN] [TIMEOUT <s>]
#                      [LOCKS <resources...>] [USES <targets...>])
#
# Native tests run in network and mount namespaces of their own
# (cmake/isolated.sh), so that they bind UDP port 6454 and create the real
# shared area without meeting each other, another test run or a running
# program. Where the system allows no namespaces, LOCKS names the resources
# that tests must then not share while running in parallel: artnet_port for a
# test that binds the real Art-Net port 6454, universe_area for one that
# creates the real shared area.
#
# Qt tests link QtTest; PLAIN tests use tests/common/plaintest.h instead and are
# the only kind in the cross build, where they run under wine. GUI tests run on
# the offscreen platform. Every test gets
# a home and config folder of its own so no test ever touches the user's settings.
include(CTest)

set(DORVANTIS_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)

# DORVANTIS_TEST_LAUNCHER goes in front of every native test command.
set(DORVANTIS_TEST_LAUNCHER "")
if(BUILD_TESTING AND NOT CMAKE_CROSSCOMPILING)
    set(isolated ${CMAKE_CURRENT_LIST_DIR}/isolated.sh)
    execute_process(COMMAND sh ${isolated} true RESULT_VARIABLE isolation_result
                    OUTPUT_QUIET ERROR_VARIABLE isolation_error)
    if(isolation_result EQUAL 0)
        set(DORVANTIS_TEST_LAUNCHER sh ${isolated})
        message(STATUS "Tests run in network and mount namespaces of their own")
    else()
        string(STRIP "${isolation_error}" isolation_error)
        message(WARNING "No private namespaces for the tests (${isolation_error}). Tests that use UDP "
                        "port 6454 or the universe data area hold CTest locks instead: do not run "
                        "Dorvantis or a second test run on this machine meanwhile.")
    endif()
endif()

# Tahoma and friends from Debian's fonts-wine, as a Windows path.
set(DORVANTIS_WINE_FONTDIR "Z:/usr/share/wine/fonts")

# Under wine every test shares one prefix in the build folder; it is made once,
# before the first test, so that parallel tests never race to create it.
if(CMAKE_CROSSCOMPILING AND BUILD_TESTING)
    find_program(WINEBOOT_EXECUTABLE NAMES wineboot)
    add_test(NAME wine_prefix COMMAND ${WINEBOOT_EXECUTABLE} --init)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(wine_arch win64)
    else()
        set(wine_arch win32)
    endif()
    set_tests_properties(wine_prefix PROPERTIES
        FIXTURES_SETUP wine
        ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEARCH=${wine_arch};WINEDEBUG=-all;HOME=${DORVANTIS_TEST_HOME}"
        TIMEOUT 300)
endif()

# Programs and libraries that `name` starts or loads: built before it, their
# paths compiled in as <TARGET>_FILE.
function(dorvantis_target_uses name)
    foreach(used IN LISTS ARGN)
        add_dependencies(${name} ${used})
        string(TOUPPER ${used} macro)
        target_compile_definitions(${name} PRIVATE ${macro}_FILE="$<TARGET_FILE:${used}>")
    endforeach()
endfunction()

# A test program, built with the helpers of tests/common on its include path.
# Sets `env` in the caller to a home and config folder of the program's own.
function(dorvantis_test_program name)
    cmake_parse_arguments(P "" "" "SOURCES;LIBS;USES" ${ARGN})
    add_executable(${name} ${P_SOURCES})
    target_link_libraries(${name} PRIVATE ${P_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    dorvantis_target_uses(${name} ${P_USES})
    set(home ${DORVANTIS_TEST_HOME}/${name})
    file(MAKE_DIRECTORY ${home}/.config)
    set(env "HOME=${home}" "XDG_CONFIG_HOME=${home}/.config" PARENT_SCOPE)
endfunction()

function(dorvantis_add_test name)
    cmake_parse_arguments(T "GUI;PLAIN" "TIMEOUT" "SOURCES;LIBS;LOCKS;USES" ${ARGN})
    dorvantis_test_program(${name} SOURCES ${T_SOURCES} LIBS ${T_LIBS} USES ${T_USES})
    if(NOT T_PLAIN)
        target_link_libraries(${name} PRIVATE Qt::Test)
    endif()
    if(DORVANTIS_TEST_LAUNCHER)
        add_test(NAME ${name} COMMAND ${DORVANTIS_TEST_LAUNCHER} $<TARGET_FILE:${name}>)
    else()
        # A target name: cross builds put the emulator (wine) in front of it.
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(T_GUI)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    if(CMAKE_CROSSCOMPILING)
        list(APPEND env "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEDEBUG=-all")
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
    endif()
    if(CMAKE_CROSSCOMPILING AND NOT T_PLAIN)
        # Wine hands Windows programs no QT_* variables of the Linux side;
        # WINEQT_X reaches them as QT_X. QtTest writes to the debugger
        # unless told otherwise.
        list(APPEND env "WINEQT_FORCE_STDERR_LOGGING=1")
        if(T_GUI)
            # A static Qt links only the windows platform plugin by itself.
            qt_import_plugins(${name} INCLUDE Qt::QOffscreenIntegrationPlugin)
            list(APPEND env "WINEQT_QPA_PLATFORM=offscreen" "WINEQT_QPA_FONTDIR=${DORVANTIS_WINE_FONTDIR}")
        endif()
        # The settings live in the prefix's registry, one store for all tests.
        list(APPEND T_LOCKS settings_store)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
    if(T_LOCKS AND NOT DORVANTIS_TEST_LAUNCHER)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
    endif()
endfunction()
