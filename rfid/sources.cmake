# The rfid library's sources, read by every build that compiles them (rfid/CMakeLists.txt and the fuzz
# build, fuzz/CMakeLists.txt): a source added here reaches both.
set(RFID_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/src/hex.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/tag_uid.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/tag_reader.cpp
)
# The binding to the platform's PC/SC service; the fuzz build reads tags through a double instead.
set(RFID_PCSC_SOURCES ${CMAKE_CURRENT_LIST_DIR}/src/pcsc_api.cpp)
