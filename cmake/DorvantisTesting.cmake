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

# Tests that start a 32-bit program: the win32 suite, the i686 driver library
# under a 32-bit host and the i686 tools. They all start
# through wine's 32-bit loader, and some machines' kernels refuse 32-bit
# programs ("Exec format error"). The machine is asked once, when the first
# such test is registered; where it cannot start one, the test is registered
# as one that CTest reports as skipped, with the reason, and is listed in
# skipped-tests.txt of the build folder ("name: reason" lines), which
# scripts/test.sh sums up.
set(DORVANTIS_SKIPPED_TESTS_FILE ${CMAKE_BINARY_DIR}/skipped-tests.txt)
file(WRITE ${DORVANTIS_SKIPPED_TESTS_FILE} "")

function(dorvantis_probe_32bit)
    get_property(probed GLOBAL PROPERTY DORVANTIS_32BIT_PROBED)
    if(probed)
        return()
    endif()
    find_program(DORVANTIS_WINE32_LOADER NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
    if(NOT DORVANTIS_WINE32_LOADER)
        message(FATAL_ERROR "wine's 32-bit loader is not installed (Debian: wine32:i386; bash scripts/install-deps.sh test)")
    endif()
    # Through bash, which says why an exec failed; a plain exec would fall
    # back to reading the program as a shell script.
    execute_process(COMMAND bash -c "\"$0\" --version" ${DORVANTIS_WINE32_LOADER}
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error TIMEOUT 60)
    if(result EQUAL 0)
        set(reason "")
        message(STATUS "This machine starts 32-bit programs: the 32-bit tests run")
    else()
        string(REGEX REPLACE "^.*${DORVANTIS_WINE32_LOADER}: " "" detail "${error}")
        string(REGEX REPLACE "[\r\n]+" " " detail "${detail}")
        string(STRIP "${detail}" detail)
        set(reason "this machine does not start 32-bit programs (${DORVANTIS_WINE32_LOADER}: ${detail})")
        message(STATUS "The 32-bit tests are skipped: ${reason}")
    endif()
    set_property(GLOBAL PROPERTY DORVANTIS_32BIT_PROBED ON)
    set_property(GLOBAL PROPERTY DORVANTIS_NO_32BIT "${reason}")
endfunction()

# add_test(NAME <name> <arguments...>) for a test that starts a 32-bit
# program. Sets `skipped` in the caller to TRUE when the test was registered
# as skipped, so that the caller leaves out what only a real run needs.
function(dorvantis_add_32bit_test name)
    dorvantis_probe_32bit()
    get_property(reason GLOBAL PROPERTY DORVANTIS_NO_32BIT)
    if(reason)
        add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "skipped: ${reason}")
        set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "^skipped: ")
        file(APPEND ${DORVANTIS_SKIPPED_TESTS_FILE} "${name}: ${reason}\n")
        set(skipped TRUE PARENT_SCOPE)
    else()
        add_test(NAME ${name} ${ARGN})
        set(skipped FALSE PARENT_SCOPE)
    endif()
endfunction()

# Tahoma and friends from Debian's fonts-wine, as a Windows path.
set(DORVANTIS_WINE_FONTDIR "Z:/usr/share/wine/fonts")

# Under wine every test shares one prefix in the build folder; it is made once,
# before the first test, so that parallel tests never race to create it.
# The i686 cross build runs nothing but 32-bit programs.
set(DORVANTIS_CROSS_32BIT OFF)
if(CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(DORVANTIS_CROSS_32BIT ON)
endif()

if(CMAKE_CROSSCOMPILING AND BUILD_TESTING)
    # wineboot through the build's own launcher: wine64 makes a 64-bit prefix.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(wine_arch win64)
        add_test(NAME wine_prefix COMMAND ${WINE_EXECUTABLE} wineboot --init)
    else()
        set(wine_arch win32)
        dorvantis_add_32bit_test(wine_prefix COMMAND ${WINE_EXECUTABLE} wineboot --init)
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
    elseif(DORVANTIS_CROSS_32BIT)
        dorvantis_add_32bit_test(${name} COMMAND ${name})
        if(skipped)
            return()
        endif()
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
