# The common library's sources, read by every build that compiles them (common/CMakeLists.txt and the
# fuzz build, fuzz/CMakeLists.txt): a source added here reaches both.
set(_src ${CMAKE_CURRENT_LIST_DIR}/src)

# Identifiers, articles and releases; device records: their lookup and the daily credentials file.
set(COMMON_SOURCES
  ${_src}/article.cpp
  ${_src}/eui.cpp
  ${_src}/key.cpp
  ${_src}/local_date.cpp
  ${_src}/release.cpp
  ${_src}/utils.cpp
  ${_src}/record.cpp
  ${_src}/lookup.cpp
  ${_src}/credentials_csv.cpp
)
# Platform services, one file per platform (see target_platform_sources).
set(COMMON_PLATFORM_SOURCES ${_src}/csv_file)
# The built-in credential table; it needs the table embedded (embed_file).
set(COMMON_TABLE_SOURCES ${_src}/credential_table.cpp)

# The programmer tool's driver: reading the tool's output needs nothing more, running the tool needs Qt.
set(COMMON_TOOL_OUTPUT_SOURCES ${_src}/stm32_output.cpp)
set(COMMON_TOOL_RUN_SOURCES
  ${_src}/stm32_programmer.cpp
  ${_src}/tool_process.cpp
)
set(COMMON_TOOL_PLATFORM_SOURCES ${_src}/tool_process)
unset(_src)
