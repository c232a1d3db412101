# Cross build for 64-bit Windows with Debian's mingw-w64, posix thread model
# (Qt 6 needs std::thread and std::mutex, which the win32 model lacks).
# Binaries run under wine64: the `wine` launcher is a 32-bit program, which
# some machines' kernels refuse to start.
#
# The program needs a static Qt built for this target: pass its prefix as
# DORVANTIS_WIN_QT_PREFIX (scripts/build-qt-mingw.sh prints it). Qt's own build
# uses this file too, without a prefix.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(TOOLCHAIN_SUFFIX -posix)
set(WINE_NAMES wine64 wine)
if(DORVANTIS_WIN_QT_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH ${DORVANTIS_WIN_QT_PREFIX})
    list(APPEND CMAKE_PREFIX_PATH ${DORVANTIS_WIN_QT_PREFIX})
    # Debian's own moc, rcc and uic serve the cross build.
    set(QT_HOST_PATH /usr CACHE PATH "")
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
