# Tests under Wine (the Win32 build). Every Win32 program a test starts runs
# through wine-run.sh (the toolchain's CMAKE_CROSSCOMPILING_EMULATOR) in the
# one prefix of the build tree, build/win32/wineprefix, which the fixture
# "wine" prepares once (wine_prefix_start, which leaves a wineserver running
# for the whole CTest run) and ends after the last test (wine_prefix_stop).
# Under qemu each Wine process start costs some seconds of CPU (see
# wine-env.sh): a test should start as few as it can, for example one
# klarna-sim for many cases.
set(KLARNA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
add_test(NAME wine_prefix_start COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh start ${KLARNA_WINEPREFIX})
add_test(NAME wine_prefix_stop COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh stop ${KLARNA_WINEPREFIX})
set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 2400)
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine)

# klarna_wine_test(TEST...): the tests run in the tree's prefix, after the
# fixture, with a timeout for a loaded machine. Other ENVIRONMENT entries
# of the test are kept.
function(klarna_wine_test)
  foreach(test IN LISTS ARGN)
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wine)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "KLARNA_WINEPREFIX=${KLARNA_WINEPREFIX}")
    set_tests_properties(${test} PROPERTIES TIMEOUT 1800)
  endforeach()
endfunction()
