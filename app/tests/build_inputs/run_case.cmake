# One case of the build-input checks: configures the inputs project in a fresh directory and builds
# its check. Prints what both said; the test reads the expected message in it. With EXPECT_PASS the
# case must go through, otherwise it must stop in one of the two steps.
#
#   cmake -DPROJECT=... -DWORK=... -DGENERATOR=... -DSTATION_SOURCE_DIR=... -DCHECKER=...
#         -DTARGET=... -DCUSTOMER=... -DTABLE=... -DIMAGE=... -DMAIL_ACCOUNT_FILE=... [-DEXPECT_PASS=ON]
#         -P run_case.cmake
file(REMOVE_RECURSE "${WORK}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${PROJECT}" -B "${WORK}" -G "${GENERATOR}"
          "-DSTATION_SOURCE_DIR=${STATION_SOURCE_DIR}" "-DCHECKER=${CHECKER}" "-DTARGET=${TARGET}"
          "-DCUSTOMER=${CUSTOMER}" "-DTABLE=${TABLE}" "-DIMAGE=${IMAGE}"
          "-DMAIL_ACCOUNT_FILE=${MAIL_ACCOUNT_FILE}"
  RESULT_VARIABLE configured OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(configured EQUAL 0)
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK}" --target inputs_check
                  RESULT_VARIABLE built OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}${err}")
endif()
if(EXPECT_PASS)
  if(NOT configured EQUAL 0 OR NOT built EQUAL 0)
    message(FATAL_ERROR "the inputs were refused")
  endif()
elseif(configured EQUAL 0 AND built EQUAL 0)
  message(FATAL_ERROR "the build went through")
endif()
