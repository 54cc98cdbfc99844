# The C++ runtime is linked as shared DLLs, on both presets.
#
# The messenger and the library exchange std::string, std::vector, std::function and
# std::shared_ptr, and exceptions cross between them: the host's log may throw into the
# library, and startIntegration catches whatever the host's helper throws. With a static
# libgcc every module carries its own unwinder, and on i686 (DWARF-2 unwinding) each one
# sees only its own frames, so such an exception ends the process in std::terminate.
# One shared libgcc and libstdc++ give both modules one unwinder and one runtime.
#
# ORVEX_RUNTIME_DLLS lists the runtime DLLs to ship beside the library; every target that
# runs from bin/ finds them there, because the build copies them into it.

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  set(orvex_unwinder_dll libgcc_s_dw2-1.dll)
else()
  set(orvex_unwinder_dll libgcc_s_seh-1.dll)
endif()

set(ORVEX_RUNTIME_DLLS)
foreach(name ${orvex_unwinder_dll} libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  # The compiler echoes the bare name back when it does not know the file.
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "The compiler's runtime DLL ${name} was not found")
  endif()
  get_filename_component(path "${path}" REALPATH)
  list(APPEND ORVEX_RUNTIME_DLLS "${path}")
endforeach()

add_link_options(-shared-libgcc)

# Copied into bin/ at build time, where the DLL, the stand-ins and the tests run from.
add_custom_target(orvex_runtime_dlls ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ORVEX_RUNTIME_DLLS} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
  COMMENT "Copying the C++ runtime DLLs into bin/"
  VERBATIM)
