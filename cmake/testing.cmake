# add_gtests(target [PROPERTIES ...])
#
# Registers each GoogleTest test of `target` with CTest. A cross build lists the tests through the
# emulator (wine) when CTest starts rather than at build time, and gives the listing time: a cold
# emulator can take far longer than the default five seconds to start.
function(add_gtests target)
  if(CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300 ${ARGN})
  else()
    gtest_discover_tests(${target} ${ARGN})
  endif()
endfunction()
