# Cross build for i686 Windows with mingw-w64 (Debian's g++-mingw-w64 packages).
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
# The C++ runtime and winpthread are linked statically, so that the DLLs and programs built here
# depend on system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TALMOR_MINGW_TRIPLET i686-w64-mingw32)
# The -posix flavour of the compiler provides std::thread and std::mutex.
find_program(CMAKE_C_COMPILER NAMES ${TALMOR_MINGW_TRIPLET}-gcc-posix ${TALMOR_MINGW_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TALMOR_MINGW_TRIPLET}-g++-posix ${TALMOR_MINGW_TRIPLET}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TALMOR_MINGW_TRIPLET}-windres)
find_program(CMAKE_AR NAMES ${TALMOR_MINGW_TRIPLET}-gcc-ar-posix ${TALMOR_MINGW_TRIPLET}-ar)
find_program(CMAKE_RANLIB NAMES ${TALMOR_MINGW_TRIPLET}-gcc-ranlib-posix ${TALMOR_MINGW_TRIPLET}-ranlib)

set(CMAKE_FIND_ROOT_PATH /usr/${TALMOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--enable-stdcall-fixup -Wl,--kill-at")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
