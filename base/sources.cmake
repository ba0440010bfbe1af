# The base library's sources, read by every build that compiles them (base/CMakeLists.txt and the fuzz
# build, fuzz/CMakeLists.txt): a source added here reaches both.
set(BASE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/src/decimal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/quoted.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/utf8.cpp
)
# Platform services, one file per platform (see target_platform_sources).
set(BASE_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/src/os_error
  ${CMAKE_CURRENT_LIST_DIR}/src/write_all
)
