# embed_file(TARGET target INPUT file NAMESPACE ns NAME name [DIRECTORY dir])
#
# Builds `file` into `target` as `std::span<const std::uint8_t> ns::name()`, declared in the generated
# header <embedded/name.hpp>. The bytes are written into a generated source file at build time, so the
# program reads nothing from disk at run time and every compiler accepts it. The files go to `dir`
# (default: embedded/ in the current binary directory), so that targets of one directory can each
# embed a file of the same name.
function(embed_file)
  cmake_parse_arguments(EMBED "" "TARGET;INPUT;NAMESPACE;NAME;DIRECTORY" "" ${ARGN})
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/embedded")
  if(EMBED_DIRECTORY)
    set(out_dir "${EMBED_DIRECTORY}")
  endif()
  set(header "${out_dir}/embedded/${EMBED_NAME}.hpp")
  set(source "${out_dir}/${EMBED_NAME}.cpp")
  add_custom_command(
    OUTPUT "${header}" "${source}"
    COMMAND "${CMAKE_COMMAND}" -DINPUT=${EMBED_INPUT} -DHEADER=${header} -DSOURCE=${source}
            -DNAMESPACE=${EMBED_NAMESPACE} -DNAME=${EMBED_NAME} -P "${_EMBED_SCRIPT}"
    DEPENDS "${EMBED_INPUT}" "${_EMBED_SCRIPT}"
    COMMENT "Embedding ${EMBED_INPUT} as ${EMBED_NAMESPACE}::${EMBED_NAME}"
    VERBATIM)
  target_sources(${EMBED_TARGET} PRIVATE "${source}" "${header}")
  target_include_directories(${EMBED_TARGET} PUBLIC "${out_dir}")
endfunction()

set(_EMBED_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/embed_script.cmake")
