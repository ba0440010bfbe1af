# make_bench_tls(dir)
#
# The bench's own test CA (dir/ca.crt) and a "localhost" certificate it signs (dir/server.crt,
# dir/server.key) for the loopback mail relay. Made once, when the bench build is configured; the
# bench program has the CA's path built in.
function(make_bench_tls dir)
  if(EXISTS "${dir}/ca.crt" AND EXISTS "${dir}/server.crt" AND EXISTS "${dir}/server.key")
    return()
  endif()
  find_program(OPENSSL openssl REQUIRED)
  file(MAKE_DIRECTORY "${dir}")
  file(WRITE "${dir}/server.ext"
       "subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
  set(ec -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  foreach(step
      "req;-x509;${ec};-keyout;ca.key;-out;ca.crt;-subj;/CN=Station bench CA;-days;3650;-addext;basicConstraints=critical,CA:TRUE;-addext;keyUsage=critical,keyCertSign,cRLSign"
      "req;${ec};-keyout;server.key;-out;server.csr;-subj;/CN=localhost"
      "x509;-req;-in;server.csr;-CA;ca.crt;-CAkey;ca.key;-CAcreateserial;-out;server.crt;-days;3650;-extfile;server.ext")
    execute_process(COMMAND "${OPENSSL}" ${step} WORKING_DIRECTORY "${dir}"
                    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "openssl ${step} failed: ${error}")
    endif()
  endforeach()
endfunction()
