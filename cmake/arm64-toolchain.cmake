# Cross build for arm64 (aarch64) with Debian's cross compiler (crossbuild-essential-arm64)
# against a sysroot of Debian's arm64 packages, which scripts/arm64-sysroot builds. Qt's host
# tools (moc) come from the host's Qt, the same version as the sysroot's.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/arm64-toolchain.cmake -DKONF_ARM64_SYSROOT=DIR \
#         -DKONF_GUI=OFF -DBUILD_TESTING=OFF ...
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KONF_TRIPLET aarch64-linux-gnu)
# The Debian architecture the packages are built for.
set(KONF_DEB_ARCHITECTURE arm64)

if(NOT KONF_ARM64_SYSROOT AND DEFINED ENV{KONF_ARM64_SYSROOT})
  set(KONF_ARM64_SYSROOT $ENV{KONF_ARM64_SYSROOT})
endif()
if(NOT KONF_ARM64_SYSROOT OR NOT EXISTS ${KONF_ARM64_SYSROOT}/usr/lib/${KONF_TRIPLET})
  message(FATAL_ERROR "KONF_ARM64_SYSROOT must name the arm64 sysroot (scripts/arm64-sysroot prints it)")
endif()
# try_compile runs in its own project: hand it the sysroot too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KONF_ARM64_SYSROOT)

set(CMAKE_C_COMPILER ${KONF_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${KONF_TRIPLET}-g++)
set(CMAKE_SYSROOT ${KONF_ARM64_SYSROOT})
set(CMAKE_LIBRARY_ARCHITECTURE ${KONF_TRIPLET})

# The sysroot has no /etc/ld.so.conf: name the folders where the libraries' own needs are found.
set(_libdirs ${KONF_ARM64_SYSROOT}/lib/${KONF_TRIPLET} ${KONF_ARM64_SYSROOT}/usr/lib/${KONF_TRIPLET})
foreach(_dir IN LISTS _libdirs)
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_dir}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_dir}")
endforeach()

set(CMAKE_FIND_ROOT_PATH ${KONF_ARM64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(ENV{PKG_CONFIG_SYSROOT_DIR} ${KONF_ARM64_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR}
  "${KONF_ARM64_SYSROOT}/usr/lib/${KONF_TRIPLET}/pkgconfig:${KONF_ARM64_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# moc and the other tools run here: the host's Qt.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)

# Programs built for arm64 run on this machine through qemu-user, with the sysroot's libraries.
find_program(KONF_QEMU_AARCH64 qemu-aarch64-static)
if(KONF_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KONF_QEMU_AARCH64} -L ${KONF_ARM64_SYSROOT})
endif()
