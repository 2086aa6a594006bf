# Tests of Windows builds run under Wine through scripts/wine-run.sh. Every such
# test requires the fixture "wine", which prepares the prefix and keeps one
# wineserver for the run (scripts/wine-prefix.sh), and stops it afterwards.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(BIDDER_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BIDDER_WINE_RUN})
  if(BIDDER_TESTS AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(BIDDER_RUN_WINE_TESTS ON)
    add_test(NAME wine.start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh start)
    add_test(NAME wine.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop)
    set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
    set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
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
