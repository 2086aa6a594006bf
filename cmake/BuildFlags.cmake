# The project's own build flags, as the usage requirements of one interface
# target, bidder::build_flags: warnings everywhere; on Windows the system
# header switches and a statically linked runtime, so that each deliverable is
# one file importing only system DLLs. Third-party code built from source
# (GoogleTest for MinGW) keeps its own flags.
#
# The sanitizers are not here: the presets native-sanitize and fuzz put them
# in CMAKE_<LANG>_FLAGS, since they must reach every object of the program.
add_library(bidder_build_flags INTERFACE)
add_library(bidder::build_flags ALIAS bidder_build_flags)
target_compile_options(bidder_build_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
if(WIN32)
  target_compile_definitions(bidder_build_flags INTERFACE
    WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE _WIN32_WINNT=0x0601)
  target_link_options(bidder_build_flags INTERFACE -static -static-libgcc -static-libstdc++)
endif()

if(BIDDER_FUZZ AND (WIN32 OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang"))
  message(FATAL_ERROR "the fuzz targets need the native build with clang (preset fuzz)")
endif()

# bidder_use_build_flags(DIR): every target that the project defines in DIR
# and the folders below it (but not in third-party folders added from
# elsewhere) builds with bidder::build_flags. Called once, at the end of the
# top-level CMakeLists.txt, so that no folder has to remember it.
function(bidder_use_build_flags dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      target_link_libraries(${target} PRIVATE bidder::build_flags)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR ${subdir} NORMALIZE ours)
    if(ours)
      bidder_use_build_flags(${subdir})
    endif()
  endforeach()
endfunction()
