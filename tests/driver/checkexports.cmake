# Checks the driver library's symbol tables the way the host's loader sees
# them: exactly the ten driver functions, by undecorated name, and for the
# DLL at ordinals 1 to 10 in alphabetical order, importing only the Windows
# kernel and the C runtime.
#
#   cmake -DTOOL=<objdump|nm> -DFORMAT=<pe|elf> [-DMACHINE=i386|x86-64] -DLIBRARY=<file> -P checkexports.cmake
#
# MACHINE, for a DLL: the processor it must be built for.

set(expected Connect Disconnect GetDevCaps GetDriverCaps GetNumChannels
             GetNumPorts GetPortBuffer GetPortCaps GetVersionInfo StartDetect)
set(failures "")

if(FORMAT STREQUAL "pe")
    execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${TOOL} -p ${LIBRARY} failed")
    endif()
    if(MACHINE AND NOT dump MATCHES "file format pei-${MACHINE}\n")
        string(REGEX MATCH "file format [^\n]*" found "${dump}")
        list(APPEND failures "${found}, expected pei-${MACHINE}")
    endif()
    string(REPLACE "\n" ";" lines "${dump}")

    # The name table lists "[index] name", index counting from the ordinal base.
    set(names "")
    set(inNameTable OFF)
    foreach(line IN LISTS lines)
        if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
            set(inNameTable ON)
        elseif(inNameTable AND line MATCHES "^[ \t]+\\[ *([0-9]+)\\] ([^ ]+)$")
            list(APPEND names "${CMAKE_MATCH_1}:${CMAKE_MATCH_2}")
        elseif(inNameTable)
            set(inNameTable OFF)
        endif()
    endforeach()
    set(wanted "")
    set(index 0)
    foreach(name IN LISTS expected)
        list(APPEND wanted "${index}:${name}")
        math(EXPR index "${index} + 1")
    endforeach()
    if(NOT names STREQUAL wanted)
        list(APPEND failures "exports are [${names}], expected [${wanted}]")
    endif()
    if(NOT dump MATCHES "Ordinal Base[ \t]+1\n")
        list(APPEND failures "the ordinal base is not 1")
    endif()
    if(NOT dump MATCHES "Export Address Table[ \t]+0000000a\n")
        list(APPEND failures "the export address table does not hold exactly 10 entries")
    endif()

    string(REGEX MATCHALL "DLL Name: [^\n]+" imported "${dump}")
    string(TOLOWER "${imported}" imported)
    if(NOT imported STREQUAL "dll name: kernel32.dll;dll name: msvcrt.dll")
        list(APPEND failures "imports are [${imported}], expected kernel32.dll and msvcrt.dll only")
    endif()
elseif(FORMAT STREQUAL "elf")
    execute_process(COMMAND ${TOOL} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${TOOL} -D ${LIBRARY} failed")
    endif()
    string(REGEX MATCHALL "[^ \n]+\n" names "${dump}")
    string(REPLACE "\n" "" names "${names}")
    list(SORT names)
    if(NOT names STREQUAL expected)
        list(APPEND failures "exported symbols are [${names}], expected [${expected}]")
    endif()
else()
    message(FATAL_ERROR "FORMAT must be pe or elf")
endif()

if(failures)
    string(REPLACE ";" "\n  " failures "${failures}")
    message(FATAL_ERROR "${LIBRARY}:\n  ${failures}")
endif()
message(STATUS "${LIBRARY}: the ten driver functions, nothing else")
