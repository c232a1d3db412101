# Installs the Windows package with its installer, silently under wine, checks
# what landed where and the firewall rule it added, uninstalls silently and
# checks that all of it is gone, the rule too.
#
#   cmake -DWINE=<wine64> -DWINESERVER=<wineserver> -DINSTALLER=<setup.exe>
#         -DPREFIX=<wine prefix> -DNETSH=<netshrecorder.exe> -P checkinstaller.cmake
# (WINEPREFIX in the environment names the same prefix.) The recorder takes
# the place of netsh.exe, whose calls the check reads from netsh.exe.log.

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output
                    TIMEOUT 120)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${ARGN} failed (${result}):\n${output}")
    endif()
    # NSIS hands the work to a child process: wait for the prefix to go quiet.
    execute_process(COMMAND ${WINESERVER} -w TIMEOUT 120)
endfunction()

function(expect_files state)
    foreach(file ${ARGN})
        if(state STREQUAL "present" AND NOT EXISTS "${file}")
            message(FATAL_ERROR "missing after installing: ${file}")
        elseif(state STREQUAL "absent" AND EXISTS "${file}")
            message(FATAL_ERROR "left behind after uninstalling: ${file}")
        endif()
    endforeach()
endfunction()

set(drive ${PREFIX}/drive_c)
set(netsh ${drive}/windows/system32/netsh.exe)
file(REMOVE ${netsh}.log)
configure_file(${NETSH} ${netsh} COPYONLY)

# The netsh calls made so far, one per list entry, without the program's own
# name in front.
function(netsh_calls out)
    set(calls "")
    if(EXISTS ${netsh}.log)
        file(STRINGS ${netsh}.log lines)
        foreach(line IN LISTS lines)
            string(REGEX MATCH "^(\"[^\"]*\"|[^ ]*) +(.*)$" found "${line}")
            list(APPEND calls "${CMAKE_MATCH_2}")
        endforeach()
    endif()
    set(${out} "${calls}" PARENT_SCOPE)
endfunction()

set(add_rule [[advfirewall firewall add rule name="Dorvantis" dir=in action=allow program="C:\Dorvantis\Dorvantis.exe" protocol=UDP profile=any enable=yes]])
set(delete_rule [[advfirewall firewall delete rule name="Dorvantis" program="C:\Dorvantis\Dorvantis.exe"]])
set(program_dir ${drive}/Dorvantis)
set(driver_dir ${drive}/Visualiser/Drivers)
set(files
    ${program_dir}/Dorvantis.exe
    ${program_dir}/DorvantisMonitor.exe
    ${program_dir}/dmxmonitor.exe
    ${program_dir}/INSTALL.txt
    ${program_dir}/VdEthDMX.dll
    ${program_dir}/Uninstall.exe
    ${driver_dir}/VdEthDMX.dll
    "${drive}/ProgramData/Microsoft/Windows/Start Menu/Programs/Dorvantis.lnk"
    "${drive}/ProgramData/Microsoft/Windows/Start Menu/Programs/Dorvantis Monitor.lnk")

# /D comes last and unquoted, so the test folder has no blanks.
run(${WINE} ${INSTALLER} /S /DRIVERDIR=C:\\Visualiser\\Drivers /D=C:\\Dorvantis)
expect_files(present ${files})
file(SIZE ${program_dir}/Dorvantis.exe installed)
message(STATUS "installed: Dorvantis.exe ${installed} bytes, driver library in C:\\Visualiser\\Drivers")

execute_process(COMMAND ${WINE} reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Dorvantis" /reg:64
                OUTPUT_VARIABLE entry ERROR_QUIET)
if(NOT entry MATCHES "DisplayName[^\n]*Dorvantis 1\\.3")
    message(FATAL_ERROR "no uninstall entry for Dorvantis 1.3:\n${entry}")
endif()

netsh_calls(calls)
if(NOT calls STREQUAL add_rule)
    message(FATAL_ERROR "netsh calls after installing:\n  ${calls}\nexpected:\n  ${add_rule}")
endif()
message(STATUS "installed: firewall rule asked for: ${calls}")

run(${WINE} C:\\Dorvantis\\Uninstall.exe /S)
expect_files(absent ${files})
foreach(dir ${program_dir} ${driver_dir})
    if(EXISTS ${dir})
        message(FATAL_ERROR "left behind after uninstalling: ${dir}")
    endif()
endforeach()
netsh_calls(calls)
if(NOT calls STREQUAL "${add_rule};${delete_rule}")
    message(FATAL_ERROR "netsh calls after uninstalling:\n  ${calls}\nexpected:\n  ${add_rule}\n  ${delete_rule}")
endif()
message(STATUS "uninstalled: every file and folder gone, the firewall rule removed")
