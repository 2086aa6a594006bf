# Tests of Windows builds run under Wine through scripts/wine-run.sh. Every such
# test requires the fixture "wine", which prepares the prefix and keeps one
# wineserver for the run (scripts/wine-prefix.sh), and stops it afterwards.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(BIDDER_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BIDDER_WINE_RUN})
  # x64 programs always run under Wine; x86 ones where the install step found
  # that this kernel runs 32-bit programs (and so installed a WoW64 Wine, see
  # scripts/install-deps.sh). Elsewhere the x86 build is built and checked.
  include(${CMAKE_CURRENT_LIST_DIR}/BidderCache.cmake)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${BIDDER_CACHE_DIR}/x86-runs)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8 OR BIDDER_X86_RUNS)
    set(wine_runs_this_architecture ON)
  else()
    set(wine_runs_this_architecture OFF)
    message(STATUS "This machine runs no 32-bit program (${BIDDER_CACHE_DIR}/x86-runs): "
                   "the x86 build is built and its export tables checked, not run")
  endif()
  if(BIDDER_TESTS AND wine_runs_this_architecture)
    set(BIDDER_RUN_WINE_TESTS ON)
    add_test(NAME wine.start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh start)
    add_test(NAME wine.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop)
    set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
    set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

    # The Windows tools must write what the native ones write. The native ones
    # come from a build of the native configuration made before (its workflow
    # runs first, see scripts/test.sh), named by BIDDER_NATIVE_BUILD, which
    # the Windows presets set. Tests that run them require the fixture
    # native_tools, which says what to do when that build is missing.
    set(BIDDER_NATIVE_BUILD "" CACHE PATH
        "A build of the native configuration whose tools the Windows build is compared with")
    set(BIDDER_NATIVE_LOCKVALE ${BIDDER_NATIVE_BUILD}/cryptctl/lockvale)
    set(BIDDER_NATIVE_FOLVANE ${BIDDER_NATIVE_BUILD}/scanctl/tool/folvane)
    set(BIDDER_NATIVE_PAGE_FIXTURES ${BIDDER_NATIVE_BUILD}/tests/scanctl/make_page_fixtures)
    add_test(NAME native.tools COMMAND sh -c
      "for tool; do [ -x \"$tool\" ] || { echo \"no native tool $tool: build the native configuration first (cmake --workflow --preset native)\"; exit 1; }; done"
      native.tools ${BIDDER_NATIVE_LOCKVALE} ${BIDDER_NATIVE_FOLVANE} ${BIDDER_NATIVE_PAGE_FIXTURES})
    set_tests_properties(native.tools PROPERTIES FIXTURES_SETUP native_tools)
  endif()
endif()

# bidder_add_gtest(target): one ctest entry per test case natively; under Wine
# one entry per program (listing the cases would need Wine at build time).
function(bidder_add_gtest target)
  target_link_libraries(${target} PRIVATE GTest::gtest_main)
  if(NOT WIN32)
    include(GoogleTest)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 30)
  elseif(BIDDER_RUN_WINE_TESTS)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine)
  endif()
endfunction()

# bidder_add_pe_interface_check(target EXPORT_NAME name EXPORTS sym... [ALSO_IMPORTS dll...]):
# a test that reads the built DLL's export table (its module name and exactly
# these undecorated names) and its imports (system DLLs only, and those named).
# Needs no Wine: it runs for every Windows build with tests.
function(bidder_add_pe_interface_check target)
  if(NOT (WIN32 AND BIDDER_TESTS))
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 check "" "EXPORT_NAME" "EXPORTS;ALSO_IMPORTS")
  set(objdump ${CMAKE_OBJDUMP})
  if(NOT objdump)
    set(objdump ${MINGW_TRIPLET}-objdump)
  endif()
  set(also)
  if(check_ALSO_IMPORTS)
    set(also --also-imports ${check_ALSO_IMPORTS})
  endif()
  add_test(NAME ${target}.pe_interface
    COMMAND ${PROJECT_SOURCE_DIR}/tests/support/pe_interface_check.sh ${objdump} $<TARGET_FILE:${target}>
            ${check_EXPORT_NAME} ${check_EXPORTS} ${also})
endfunction()
