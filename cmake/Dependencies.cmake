# Third-party libraries as imported targets:
#   bidder::crypto  OpenSSL libcrypto (native only; Windows uses CryptoAPI)
#   bidder::tiff    libtiff (which decodes Deflate with libdeflate where it has it)
#   bidder::png     libpng
#   bidder::zlib    zlib, the one Deflate library of the project's own code
#   nlohmann_json::nlohmann_json  JSON for the desk service's messages
#   Boost::headers  Boost.Beast and Boost.Asio for the desk service's server
# Natively they come from Debian's -dev packages; for MinGW from the static
# cross-builds of scripts/build-cross-libs.sh (found through the toolchain's root path).
if(NOT WIN32)
  find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
  add_library(bidder::crypto ALIAS OpenSSL::Crypto)
  find_package(TIFF REQUIRED)
  find_package(PNG REQUIRED)
  add_library(bidder_tiff INTERFACE)
  target_link_libraries(bidder_tiff INTERFACE TIFF::TIFF)
  add_library(bidder::tiff ALIAS bidder_tiff)
  add_library(bidder_png INTERFACE)
  target_link_libraries(bidder_png INTERFACE PNG::PNG)
  add_library(bidder::png ALIAS bidder_png)
  find_package(ZLIB REQUIRED)
  add_library(bidder_zlib INTERFACE)
  target_link_libraries(bidder_zlib INTERFACE ZLIB::ZLIB)
  add_library(bidder::zlib ALIAS bidder_zlib)
  find_package(nlohmann_json 3.11 REQUIRED)
else()
  find_library(BIDDER_ZLIB_LIB NAMES libz.a z REQUIRED)
  find_library(BIDDER_DEFLATE_LIB NAMES libdeflate.a deflate REQUIRED)
  find_library(BIDDER_TIFF_LIB NAMES libtiff.a tiff REQUIRED)
  find_library(BIDDER_PNG_LIB NAMES libpng16.a png16 png REQUIRED)
  find_path(BIDDER_TIFF_INCLUDE tiffio.h REQUIRED)
  find_path(BIDDER_PNG_INCLUDE png.h REQUIRED)
  add_library(bidder_tiff INTERFACE)
  target_include_directories(bidder_tiff SYSTEM INTERFACE ${BIDDER_TIFF_INCLUDE})
  target_link_libraries(bidder_tiff INTERFACE ${BIDDER_TIFF_LIB} ${BIDDER_DEFLATE_LIB} ${BIDDER_ZLIB_LIB})
  add_library(bidder::tiff ALIAS bidder_tiff)
  add_library(bidder_png INTERFACE)
  target_include_directories(bidder_png SYSTEM INTERFACE ${BIDDER_PNG_INCLUDE})
  target_link_libraries(bidder_png INTERFACE ${BIDDER_PNG_LIB} ${BIDDER_ZLIB_LIB})
  add_library(bidder::png ALIAS bidder_png)
  add_library(bidder_zlib INTERFACE)
  target_link_libraries(bidder_zlib INTERFACE ${BIDDER_ZLIB_LIB})
  add_library(bidder::zlib ALIAS bidder_zlib)

  # Header-only, taken from the build machine's packages: a folder of links
  # to their folders alone, since /usr/include itself holds glibc's headers,
  # which break MinGW's.
  set(BIDDER_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
  foreach(folder boost nlohmann)
    if(NOT EXISTS /usr/include/${folder})
      message(FATAL_ERROR "/usr/include/${folder} is missing: install libboost-dev and nlohmann-json3-dev")
    endif()
    file(MAKE_DIRECTORY ${BIDDER_HOST_HEADERS})
    file(CREATE_LINK /usr/include/${folder} ${BIDDER_HOST_HEADERS}/${folder} SYMBOLIC)
  endforeach()
  add_library(bidder_host_boost INTERFACE)
  target_include_directories(bidder_host_boost SYSTEM INTERFACE ${BIDDER_HOST_HEADERS})
  target_link_libraries(bidder_host_boost INTERFACE ws2_32 mswsock)
  add_library(Boost::headers ALIAS bidder_host_boost)
  add_library(bidder_host_json INTERFACE)
  target_include_directories(bidder_host_json SYSTEM INTERFACE ${BIDDER_HOST_HEADERS})
  add_library(nlohmann_json::nlohmann_json ALIAS bidder_host_json)
endif()

# GoogleTest: Debian's packaged library natively, built from its shipped
# sources for MinGW (the posix thread model is needed for std::mutex).
if(BIDDER_TESTS)
  if(WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    find_path(BIDDER_GTEST_SOURCE_DIR googletest/include/gtest/gtest.h
      PATHS /usr/src /usr/local/src PATH_SUFFIXES googletest
      NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED
      DOC "GoogleTest's sources (Debian's googletest package)")
    add_subdirectory(${BIDDER_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
