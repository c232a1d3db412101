# What a Windows user installs, made by the 64-bit Windows build:
#
#   package/Dorvantis-<version>-win64/   the program, Dorvantis Monitor, the
#                                        driver library, the plain-text
#                                        monitor and INSTALL.txt
#   Dorvantis-<version>-win64.zip        the same folder, zipped
#   Dorvantis-<version>-win64-setup.exe  an NSIS installer of the same files
#
# The visualiser host is a 32-bit process: the driver library and the monitor
# that plays host to it come from a 32-bit build of this source, made here as
# an external project with the i686 toolchain.
include(ExternalProject)

set(win32_dir ${CMAKE_BINARY_DIR}/win32)
ExternalProject_Add(win32parts
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${win32_dir}
    CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/i686-w64-mingw32.cmake
        -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
        -DBUILD_TESTING=OFF
        -DDORVANTIS_WERROR=${DORVANTIS_WERROR}
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${win32_dir} --target VdEthDMX dmxmonitor drivertesthost
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS
        ${win32_dir}/driver/VdEthDMX.dll
        ${win32_dir}/tools/dmxmonitor.exe
        ${win32_dir}/tools/drivertesthost.exe)
set(DORVANTIS_WIN32_DRIVER ${win32_dir}/driver/VdEthDMX.dll)
set(DORVANTIS_WIN32_MONITOR ${win32_dir}/tools/dmxmonitor.exe)
set(DORVANTIS_WIN32_TESTHOST ${win32_dir}/tools/drivertesthost.exe)

set(package_name Dorvantis-${PROJECT_VERSION}-win64)
set(package_dir ${CMAKE_BINARY_DIR}/package/${package_name})
set(package_zip ${CMAKE_BINARY_DIR}/${package_name}.zip)
set(installer ${CMAKE_BINARY_DIR}/${package_name}-setup.exe)
set(windows_dir ${PROJECT_SOURCE_DIR}/scripts/windows)

# INSTALL.txt with Windows line ends, as Notepad expects them.
file(READ ${windows_dir}/INSTALL.txt install_text)
string(REPLACE "\n" "\r\n" install_text "${install_text}")
string(REPLACE "@VERSION@" "${PROJECT_VERSION}" install_text "${install_text}")
file(WRITE ${CMAKE_BINARY_DIR}/INSTALL.txt "${install_text}")

add_custom_command(OUTPUT ${package_zip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${package_dir}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${package_dir}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Dorvantis> $<TARGET_FILE:DorvantisMonitor>
            ${DORVANTIS_WIN32_DRIVER} ${DORVANTIS_WIN32_MONITOR} ${CMAKE_BINARY_DIR}/INSTALL.txt ${package_dir}
    # Symbols and debug information stay in the build folder; binutils for
    # mingw-w64 read the 32-bit files too.
    COMMAND ${CMAKE_STRIP} --strip-all ${package_dir}/Dorvantis.exe ${package_dir}/DorvantisMonitor.exe
            ${package_dir}/VdEthDMX.dll ${package_dir}/dmxmonitor.exe
    COMMAND ${CMAKE_COMMAND} -E rm -f ${package_zip}
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
            ${CMAKE_COMMAND} -E tar cf ${package_zip} --format=zip ${package_name}
    DEPENDS Dorvantis DorvantisMonitor win32parts ${windows_dir}/INSTALL.txt
    COMMENT "Packing ${package_name}.zip"
    VERBATIM)

find_program(MAKENSIS_EXECUTABLE makensis)
if(MAKENSIS_EXECUTABLE)
    add_custom_command(OUTPUT ${installer}
        COMMAND ${MAKENSIS_EXECUTABLE} -V2 -DVERSION=${PROJECT_VERSION} -DPACKAGE_DIR=${package_dir}
                -DOUTFILE=${installer} ${windows_dir}/dorvantis.nsi
        DEPENDS ${package_zip} ${windows_dir}/dorvantis.nsi
        COMMENT "Making the installer ${package_name}-setup.exe"
        VERBATIM)
    add_custom_target(windows_package ALL DEPENDS ${package_zip} ${installer})
    set(DORVANTIS_WIN64_INSTALLER ${installer})
else()
    message(WARNING "makensis not found: no installer (install Debian's nsis)")
    add_custom_target(windows_package ALL DEPENDS ${package_zip})
endif()
