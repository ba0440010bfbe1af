# target_platform_sources(target src/name ...)
#
# Each platform service lives in one file per platform: adds src/name_win32.cpp on Windows and
# src/name_posix.cpp elsewhere.
function(target_platform_sources target)
  if(WIN32)
    set(suffix _win32.cpp)
  else()
    set(suffix _posix.cpp)
  endif()
  foreach(stem IN LISTS ARGN)
    target_sources(${target} PRIVATE ${stem}${suffix})
  endforeach()
endfunction()
