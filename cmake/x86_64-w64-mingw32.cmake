# Cross build for 64-bit Windows with Debian's mingw-w64, posix thread model
# (Qt 6 needs std::thread and std::mutex, which the win32 model lacks).
# Binaries run under wine.
#
# The program needs a static Qt built for this target: pass its prefix as
# DORVANTIS_WIN_QT_PREFIX (scripts/build-qt-mingw.sh prints it). Qt's own build
# uses this file too, without a prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
if(DORVANTIS_WIN_QT_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH ${DORVANTIS_WIN_QT_PREFIX})
    list(APPEND CMAKE_PREFIX_PATH ${DORVANTIS_WIN_QT_PREFIX})
    # Debian's own moc, rcc and uic serve the cross build.
    set(QT_HOST_PATH /usr CACHE PATH "")
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No compiler runtime DLLs next to our binaries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

find_program(WINE_EXECUTABLE NAMES wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
