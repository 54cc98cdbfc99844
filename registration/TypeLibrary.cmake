# The type library OfficeIntegrationLib, compiled by widl from registration/OfficeIntegrationLib.idl
# into ${CMAKE_BINARY_DIR}/generated/:
#   OfficeIntegrationLib.h     C++ declarations of its interfaces, enumerations, IIDs, CLSIDs
#   OfficeIntegrationLib_i.c   definitions of the IIDs, CLSIDs and the LIBID
#   OfficeIntegrationLib.tlb   the compiled library, embedded as resource TYPELIB 1
# Provides the target orvex_typelib (link it for the declarations and GUIDs) and
# ORVEX_TYPELIB_RC, the resource script to add to the DLL.
#
# Stock widl cannot write a library of this size: scripts/build-widl.sh builds a patched
# one into .toolchain/ (scripts/setup.sh runs it).

set(ORVEX_WIDL ${CMAKE_SOURCE_DIR}/.toolchain/bin/widl CACHE FILEPATH "Patched widl (scripts/build-widl.sh)")
set(ORVEX_WIDL_IDL_DIR ${CMAKE_SOURCE_DIR}/.toolchain/include CACHE PATH "System IDL files for widl")
set(ORVEX_WIDL_TLB_DIR ${CMAKE_SOURCE_DIR}/.toolchain/lib CACHE PATH "Directory holding stdole2.tlb")
if(NOT EXISTS ${ORVEX_WIDL})
  message(FATAL_ERROR "widl not found at ${ORVEX_WIDL}: run scripts/build-widl.sh (or scripts/setup.sh)")
endif()

# The system IDL files include C headers of the target's mingw-w64 runtime.
if(ORVEX_TARGET_TRIPLE)
  set(orvex_target_headers /usr/${ORVEX_TARGET_TRIPLE}/include)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(orvex_target_headers /usr/i686-w64-mingw32/include)
else()
  set(orvex_target_headers /usr/x86_64-w64-mingw32/include)
endif()

# The pointer size decides the library's SYSKIND: SYS_WIN32 for the 32-bit product.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(orvex_widl_bits -m32)
else()
  set(orvex_widl_bits -m64)
endif()

set(ORVEX_TYPELIB_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(ORVEX_TYPELIB_IDL ${CMAKE_SOURCE_DIR}/registration/OfficeIntegrationLib.idl)
set(ORVEX_TYPELIB_TLB ${ORVEX_TYPELIB_GENERATED_DIR}/OfficeIntegrationLib.tlb)
set(orvex_typelib_header ${ORVEX_TYPELIB_GENERATED_DIR}/OfficeIntegrationLib.h)
set(orvex_typelib_guids ${ORVEX_TYPELIB_GENERATED_DIR}/OfficeIntegrationLib_i.c)

file(MAKE_DIRECTORY ${ORVEX_TYPELIB_GENERATED_DIR})
# The library defines its own IClassFactory record (the remote forms, as a type library
# holds them); the system one is renamed while the imports are read so the two do not clash.
add_custom_command(
  OUTPUT ${orvex_typelib_header} ${orvex_typelib_guids} ${ORVEX_TYPELIB_TLB}
  COMMAND ${ORVEX_WIDL} ${orvex_widl_bits} --nostdinc
          -I${ORVEX_WIDL_IDL_DIR} -I${orvex_target_headers} -L${ORVEX_WIDL_TLB_DIR}
          -DIClassFactory=SystemIClassFactory
          -h -H ${orvex_typelib_header}
          -u -U ${orvex_typelib_guids}
          -t -T ${ORVEX_TYPELIB_TLB}
          ${ORVEX_TYPELIB_IDL}
  DEPENDS ${ORVEX_TYPELIB_IDL} ${ORVEX_WIDL}
  COMMENT "widl: OfficeIntegrationLib"
  VERBATIM)

add_library(orvex_typelib STATIC ${orvex_typelib_guids} ${orvex_typelib_header})
target_include_directories(orvex_typelib PUBLIC ${ORVEX_TYPELIB_GENERATED_DIR})
target_link_libraries(orvex_typelib PUBLIC ole32 oleaut32 uuid)

set(ORVEX_TYPELIB_RC ${CMAKE_SOURCE_DIR}/registration/OfficeIntegrationLib.rc)
set_source_files_properties(${ORVEX_TYPELIB_RC} PROPERTIES
  INCLUDE_DIRECTORIES "${ORVEX_TYPELIB_GENERATED_DIR};${CMAKE_SOURCE_DIR}/registration"
  OBJECT_DEPENDS "${ORVEX_TYPELIB_TLB};${CMAKE_SOURCE_DIR}/registration/OfficeIntegration.rgs")
