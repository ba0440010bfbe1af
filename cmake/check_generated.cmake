# Run as a test: fails when a committed generated file differs from a fresh run of its generator.
execute_process(COMMAND "${PYTHON}" "${GENERATOR}" OUTPUT_VARIABLE generated RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the generator failed: ${status}")
endif()
file(READ "${TABLE}" committed)
if(NOT generated STREQUAL committed)
  message(FATAL_ERROR "${TABLE} is not the output of ${GENERATOR}; run it again and commit the result")
endif()
