# One helper to register every test program with CTest.
#
#   dorvantis_add_test(<name> SOURCES <files...> LIBS <targets...> [GUI] [PLAIN] [TIMEOUT <s>]
#                      [LOCKS <resources...>])
#
# LOCKS names resources that tests must not share while running in parallel,
# e.g. artnet_port for a test that binds the real Art-Net port 6454, or
# universe_area for one that creates the real shared area.
#
# Qt tests link QtTest; PLAIN tests use tests/common/plaintest.h instead and are
# the only kind in the cross build, where they run under wine. GUI tests run on
# the offscreen platform. Every test gets
# a home and config folder of its own so no test ever touches the user's settings.
include(CTest)

set(DORVANTIS_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)

# Under wine every test shares one prefix in the build folder; it is made once,
# before the first test, so that parallel tests never race to create it.
if(CMAKE_CROSSCOMPILING AND BUILD_TESTING)
    find_program(WINEBOOT_EXECUTABLE NAMES wineboot)
    add_test(NAME wine_prefix COMMAND ${WINEBOOT_EXECUTABLE} --init)
    set_tests_properties(wine_prefix PROPERTIES
        FIXTURES_SETUP wine
        ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;HOME=${DORVANTIS_TEST_HOME}"
        TIMEOUT 300)
endif()

function(dorvantis_add_test name)
    cmake_parse_arguments(T "GUI;PLAIN" "TIMEOUT" "SOURCES;LIBS;LOCKS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS})
    if(T_PLAIN)
        target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    else()
        target_link_libraries(${name} PRIVATE Qt::Test)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set(home ${DORVANTIS_TEST_HOME}/${name})
    set(env "HOME=${home}" "XDG_CONFIG_HOME=${home}/.config")
    if(T_GUI)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    if(CMAKE_CROSSCOMPILING)
        list(APPEND env "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix" "WINEDEBUG=-all")
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
    if(T_LOCKS)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
    endif()
    file(MAKE_DIRECTORY ${home}/.config)
endfunction()
