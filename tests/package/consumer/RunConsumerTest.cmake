# Installs the build into a fresh prefix, checks the layout the messenger's build relies
# on, builds the consumer project against it and runs its host under Wine.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_SOURCE=... -DTOOLCHAIN_FILE=...
#         -DOBJDUMP=... -DWINE=... -P RunConsumerTest.cmake
set(prefix ${WORK_DIR}/install)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(dll ${prefix}/bin/orvex-windows-office-integration.dll)
foreach(expected ${dll} ${dll}.debug ${prefix}/bin/OrvexWindows.exe ${prefix}/bin/OfficeStandIn.exe
                 ${prefix}/lib/liborvex-windows-office-integration.dll.a
                 ${prefix}/lib/cmake/OrvexOfficeIntegration/OrvexOfficeIntegrationConfig.cmake
                 ${prefix}/lib/cmake/OrvexOfficeIntegration/OrvexOfficeIntegrationConfigVersion.cmake
                 ${prefix}/lib/cmake/OrvexOfficeIntegration/OrvexOfficeIntegrationTargets.cmake)
  if(NOT EXISTS ${expected})
    message(FATAL_ERROR "not installed: ${expected}")
  endif()
endforeach()

# Exactly the host contract, nothing internal.
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/*)
list(SORT headers)
if(NOT headers STREQUAL "host/IOfficeAdapterPlatformHelper.h;host/IOfficeIntegration.h;host/OutlookContactStatus.h")
  message(FATAL_ERROR "installed headers are not the host contract: ${headers}")
endif()

# Stripped, and linked to its debug file, which carries the debug information.
run(${OBJDUMP} -h ${dll})
if(output MATCHES "\\.debug_info" OR NOT output MATCHES "\\.gnu_debuglink")
  message(FATAL_ERROR "the installed DLL is not stripped and linked to its debug file:\n${output}")
endif()
run(${OBJDUMP} -h ${dll}.debug)
if(NOT output MATCHES "\\.debug_info")
  message(FATAL_ERROR "the debug file carries no debug information")
endif()
file(SIZE ${dll} size)
file(SIZE ${dll}.debug debug_size)
message(STATUS "installed DLL ${size} bytes, debug file ${debug_size} bytes")

# The host uses the C++ runtime the library was built with: the shared one when its DLLs
# were installed beside the library, the static one otherwise.
set(link_options "")
if(NOT EXISTS ${prefix}/bin/libstdc++-6.dll)
  set(link_options "-static")
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${WORK_DIR}/build -G "Unix Makefiles"
    -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_EXE_LINKER_FLAGS=${link_options}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)

# Linked through the import library: the DLL is a load-time import of the executable.
run(${OBJDUMP} -p ${WORK_DIR}/build/consumer_host.exe)
if(NOT output MATCHES "DLL Name: orvex-windows-office-integration.dll")
  message(FATAL_ERROR "the host does not import the library")
endif()

run(${WINE} ${WORK_DIR}/build/consumer_host.exe)
message(STATUS "${output}")
