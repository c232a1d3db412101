# Installs the Windows package with its installer, silently under wine, checks
# what landed where, uninstalls silently and checks that all of it is gone.
#
#   cmake -DWINE=<wine> -DWINESERVER=<wineserver> -DINSTALLER=<setup.exe>
#         -DPREFIX=<wine prefix> -P checkinstaller.cmake
# (WINEPREFIX in the environment names the same prefix.)

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
set(program_dir ${drive}/Dorvantis)
set(driver_dir ${drive}/Visualiser/Drivers)
set(files
    ${program_dir}/Dorvantis.exe
    ${program_dir}/dmxmonitor.exe
    ${program_dir}/INSTALL.txt
    ${program_dir}/VdEthDMX.dll
    ${program_dir}/Uninstall.exe
    ${driver_dir}/VdEthDMX.dll
    "${drive}/ProgramData/Microsoft/Windows/Start Menu/Programs/Dorvantis.lnk")

# /D comes last and unquoted, so the test folder has no blanks.
run(${WINE} ${INSTALLER} /S /DRIVERDIR=C:\\Visualiser\\Drivers /D=C:\\Dorvantis)
expect_files(present ${files})
file(SIZE ${program_dir}/Dorvantis.exe installed)
message(STATUS "installed: Dorvantis.exe ${installed} bytes, driver library in C:\\Visualiser\\Drivers")

# The 64-bit view: `wine reg` is the 32-bit reg.exe.
execute_process(COMMAND ${WINE} reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Dorvantis" /reg:64
                OUTPUT_VARIABLE entry ERROR_QUIET)
if(NOT entry MATCHES "DisplayName[^\n]*Dorvantis 1\\.3")
    message(FATAL_ERROR "no uninstall entry for Dorvantis 1.3:\n${entry}")
endif()

run(${WINE} C:\\Dorvantis\\Uninstall.exe /S)
expect_files(absent ${files})
foreach(dir ${program_dir} ${driver_dir})
    if(EXISTS ${dir})
        message(FATAL_ERROR "left behind after uninstalling: ${dir}")
    endif()
endforeach()
message(STATUS "uninstalled: every file and folder gone")
