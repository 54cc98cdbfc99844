# Fails unless the DLL exports the host's entry point under its decorated name, and
# the self-registration entry points undecorated once they exist.
# Usage: cmake -DOBJDUMP=<objdump> -DDLL=<dll> -P CheckExports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table.*" table "${dump}")
set(expected _Z21getOutlookIntegrationRKSt10shared_ptrI28IOfficeAdapterPlatformHelperE)
if(EXPECTED_EXTRA)
  list(APPEND expected ${EXPECTED_EXTRA})
endif()
foreach(name ${expected})
  if(NOT table MATCHES "\\] ${name}\n")
    message(FATAL_ERROR "${DLL} does not export ${name}:\n${table}")
  endif()
  message(STATUS "exported: ${name}")
endforeach()
