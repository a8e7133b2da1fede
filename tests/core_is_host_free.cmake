# Fails when the core library refers to any host function (mx* or mex*) or
# reads the environment (getenv):
#   cmake -DNM=nm -DLIBRARY=libmatrixhyper_core.a -P core_is_host_free.cmake
execute_process(COMMAND ${NM} -u -C ${LIBRARY} OUTPUT_VARIABLE undefined RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]*[ \t](mx|mex|ut)[A-Z][A-Za-z0-9_]*[^\n]*" host_symbols "${undefined}")
if(host_symbols)
  message(FATAL_ERROR "the core refers to host functions:\n${host_symbols}")
endif()
# The thread count and every other setting come from the caller: the core
# reads no environment.
string(REGEX MATCHALL "[^\n]*[ \t](secure_getenv|getenv)[^\n]*" environment_reads "${undefined}")
if(environment_reads)
  message(FATAL_ERROR "the core reads the environment:\n${environment_reads}")
endif()
message(STATUS "no host symbol and no environment read among the core's undefined symbols")
