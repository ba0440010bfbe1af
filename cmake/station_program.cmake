# The checks and conversions of a station program's build inputs, shared by the program targets
# (app/CMakeLists.txt) and by the tests that prove each check stops the build
# (app/tests/build_inputs/).

# station_cxx_string(OUT VALUE): VALUE as the body of a C++ string literal.
function(station_cxx_string out value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# station_read_mail_account(FILE PREFIX)
#
# Reads a mail account file: one KEY=value per line, nothing around the "=", the value running to the
# line's end; empty lines and lines starting with "#" are skipped. RELAY_HOST, RELAY_PORT, SENDER,
# RECIPIENT and PASSWORD are required and must not be empty; CA_FILE (a PEM file trusted in place of
# the system's CA bundle) may be left out. Sets PREFIX_RELAY_HOST and the others in the caller's scope.
# Any fault stops the configure with the file and line.
# A fault of the account file, on one line as a compiler writes it (CMake's own errors are wrapped).
macro(_station_account_fault text)
  message(NOTICE "${text}")
  message(FATAL_ERROR "The mail account file ${file} cannot be used (see above).")
endmacro()

function(station_read_mail_account file prefix)
  set(required RELAY_HOST RELAY_PORT SENDER RECIPIENT PASSWORD)
  set(known ${required} CA_FILE)
  if(NOT EXISTS "${file}")
    _station_account_fault("${file}: the mail account file does not exist")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
  file(READ "${file}" text)
  foreach(key IN LISTS known)
    unset(value_${key})
    unset(seen_${key})
  endforeach()
  set(number 0)
  while(NOT text STREQUAL "")
    math(EXPR number "${number} + 1")
    string(FIND "${text}" "\n" lf)
    if(lf EQUAL -1)
      set(line "${text}")
      set(text "")
    else()
      string(SUBSTRING "${text}" 0 ${lf} line)
      math(EXPR rest "${lf} + 1")
      string(SUBSTRING "${text}" ${rest} -1 text)
    endif()
    string(REGEX REPLACE "\r$" "" line "${line}")
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    string(FIND "${line}" "=" eq)
    if(eq LESS 1)
      _station_account_fault("${file}:${number}: expected KEY=value")
    endif()
    string(SUBSTRING "${line}" 0 ${eq} key)
    math(EXPR after "${eq} + 1")
    string(SUBSTRING "${line}" ${after} -1 value)
    if(NOT key IN_LIST known)
      list(JOIN known ", " names)
      _station_account_fault("${file}:${number}: unknown key ${key} (the keys are ${names})")
    endif()
    if(DEFINED seen_${key})
      _station_account_fault("${file}:${number}: ${key} is given again (first on line ${seen_${key}})")
    endif()
    set(seen_${key} ${number})
    set(value_${key} "${value}")
  endwhile()
  foreach(key IN LISTS required)
    if(NOT DEFINED seen_${key})
      _station_account_fault("${file}: ${key} is missing")
    endif()
    if(value_${key} STREQUAL "")
      _station_account_fault("${file}:${seen_${key}}: ${key} is empty")
    endif()
  endforeach()
  if(NOT value_RELAY_PORT MATCHES "^[0-9]+$" OR value_RELAY_PORT LESS 1 OR value_RELAY_PORT GREATER 65535)
    _station_account_fault("${file}:${seen_RELAY_PORT}: RELAY_PORT must be a port number from 1 to 65535")
  endif()
  if(DEFINED value_CA_FILE AND NOT value_CA_FILE STREQUAL "" AND NOT EXISTS "${value_CA_FILE}")
    _station_account_fault("${file}:${seen_CA_FILE}: CA_FILE ${value_CA_FILE} does not exist")
  endif()
  foreach(key IN LISTS known)
    set(${prefix}_${key} "${value_${key}}" PARENT_SCOPE)
  endforeach()
endfunction()

# station_check_data(NAME TARGET text CUSTOMER text TABLE file IMAGE file [STARTUP_MAY_STOP])
#
# A target NAME that runs check_station_data on the program's target, customer, credential table and
# firmware image whenever one of them changes; the program depends on it, so a fault stops the build
# before anything is built in. The checker is the executable target check_station_data.
# STARTUP_MAY_STOP lets a target through that start-up refuses.
function(station_check_data name)
  cmake_parse_arguments(CHECK "STARTUP_MAY_STOP" "TARGET;CUSTOMER;TABLE;IMAGE" "" ${ARGN})
  set(option)
  if(CHECK_STARTUP_MAY_STOP)
    set(option --startup-may-stop)
  endif()
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${name}.checked")
  add_custom_command(
    OUTPUT "${stamp}"
    COMMAND check_station_data ${option} "${CHECK_TARGET}" "${CHECK_CUSTOMER}" "${CHECK_TABLE}" "${CHECK_IMAGE}"
            "${stamp}"
    DEPENDS check_station_data "${CHECK_TABLE}" "${CHECK_IMAGE}"
    COMMENT "Checking the target, customer, credential table and firmware image of ${name}"
    VERBATIM)
  add_custom_target(${name} DEPENDS "${stamp}")
endfunction()
