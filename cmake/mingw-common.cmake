# Shared by the MinGW-w64 toolchain files; MINGW_TRIPLET is set by the includer.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
# The static cross-built libraries (scripts/build-cross-libs.sh); same default
# location as scripts/lib/paths.sh.
include(${CMAKE_CURRENT_LIST_DIR}/BidderCache.cmake)
if(DEFINED ENV{BIDDER_DEPS})
  set(BIDDER_DEPS_DIR $ENV{BIDDER_DEPS})
else()
  set(BIDDER_DEPS_DIR ${BIDDER_CACHE_DIR}/deps)
endif()
list(APPEND CMAKE_FIND_ROOT_PATH ${BIDDER_DEPS_DIR}/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static libraries only: every deliverable is one self-contained DLL.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
