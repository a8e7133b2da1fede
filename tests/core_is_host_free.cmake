# Fails when the core library refers to any host function (mx* or mex*):
#   cmake -DNM=nm -DLIBRARY=libmatrixhyper_core.a -P core_is_host_free.cmake
execute_process(COMMAND ${NM} -u -C ${LIBRARY} OUTPUT_VARIABLE undefined RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]*[ \t](mx|mex|ut)[A-Z][A-Za-z0-9_]*[^\n]*" host_symbols "${undefined}")
if(host_symbols)
  message(FATAL_ERROR "the core refers to host functions:\n${host_symbols}")
endif()
message(STATUS "no host symbol among the core's undefined symbols")
