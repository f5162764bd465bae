# The SDK that `cmake --install` lays out and `cpack` packs:
#   include/  talmor32.h, qvshare.h
#   lib/      libtalmor32.so and libqvshare.so (Linux); the import libraries libTALMOR32.dll.a
#             (mingw) and TALMOR32.lib (MSVC format) on Windows; cmake/Talmor32/ (the CMake
#             package: find_package(Talmor32) gives Talmor32::talmor32); pkgconfig/talmor32.pc
#   bin/      TALMOR32.dll and QVSHARE.dll (Windows)
# Installed binaries are stripped; their debug information goes to <file>.debug beside them,
# which the stripped file names in a debug link (found by gdb there).
# cpack: a .zip on Windows, a .deb and a .tar.gz on Linux.
set(TALMOR_VERSION 1.0.0)

if(NOT WIN32)
  # The library finds libqvshare.so beside itself wherever the SDK is put.
  set_target_properties(talmor32 PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()
target_include_directories(talmor32 INTERFACE $<INSTALL_INTERFACE:include>)

install(TARGETS talmor32 qvshare EXPORT Talmor32Targets
  RUNTIME DESTINATION bin
  LIBRARY DESTINATION lib
  ARCHIVE DESTINATION lib)
install(FILES include/talmor32.h include/qvshare.h DESTINATION include)
if(WIN32 AND TALMOR_LLVM_DLLTOOL)
  install(FILES $<TARGET_FILE_DIR:talmor32>/TALMOR32.lib DESTINATION lib)
endif()

# Strip each installed binary after keeping its debug information beside it.
foreach(target talmor32 qvshare)
  if(WIN32)
    set(dir bin)
  else()
    set(dir lib)
  endif()
  install(CODE "
    set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dir}/$<TARGET_FILE_NAME:${target}>\")
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --only-keep-debug \"\${file}\" \"\${file}.debug\"
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --strip-unneeded \"\${file}\"
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" \"--add-gnu-debuglink=\${file}.debug\" \"\${file}\"
                    COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS \"Stripped: \${file} (debug information in \${file}.debug)\")")
endforeach()

include(CMakePackageConfigHelpers)
install(EXPORT Talmor32Targets NAMESPACE Talmor32:: DESTINATION lib/cmake/Talmor32)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/Talmor32Config.cmake
  "include(\${CMAKE_CURRENT_LIST_DIR}/Talmor32Targets.cmake)\n")
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/Talmor32ConfigVersion.cmake
  VERSION ${TALMOR_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/Talmor32Config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/Talmor32ConfigVersion.cmake
        DESTINATION lib/cmake/Talmor32)
if(NOT WIN32)
  # Relative to where the file lies, so that an unpacked archive works where it is.
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/talmor32.pc
"prefix=\${pcfiledir}/../..
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: talmor32
Description: Security manager library of the Quorvane data system (C interface)
Version: ${TALMOR_VERSION}
Libs: -L\${libdir} -ltalmor32
Cflags: -I\${includedir}
")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/talmor32.pc DESTINATION lib/pkgconfig)
endif()

set(CPACK_PACKAGE_NAME talmor32)
set(CPACK_PACKAGE_VENDOR Quorvane)
set(CPACK_PACKAGE_VERSION ${TALMOR_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Talmor security manager: library, C header and import libraries")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME win32)
  else()
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvane laboratory systems")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
endif()
include(CPack)
