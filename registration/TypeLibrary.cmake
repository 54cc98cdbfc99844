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

set(ORVEX_TYPELIB_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(ORVEX_TYPELIB_IDL ${CMAKE_SOURCE_DIR}/registration/OfficeIntegrationLib.idl)
set(ORVEX_TYPELIB_TLB ${ORVEX_TYPELIB_GENERATED_DIR}/OfficeIntegrationLib.tlb)
set(orvex_typelib_header ${ORVEX_TYPELIB_GENERATED_DIR}/OfficeIntegrationLib.h)
set(orvex_typelib_guids ${ORVEX_TYPELIB_GENERATED_DIR}/OfficeIntegrationLib_i.c)

# orvex_compile_typelib(BITS <32|64> TLB <file> [HEADER <file>] [GUIDS <file>])
#   Compiles the IDL. The pointer size decides the library's SYSKIND: -m32 gives SYS_WIN32,
#   the shipped product's. The library defines its own IClassFactory record (the remote
#   forms, as a type library holds them); the system one is renamed while the imports are
#   read, so that the two do not clash.
function(orvex_compile_typelib)
  cmake_parse_arguments(WIDL "" "BITS;TLB;HEADER;GUIDS" "" ${ARGN})
  if(WIDL_BITS EQUAL 32)
    set(headers /usr/i686-w64-mingw32/include)
  else()
    set(headers /usr/x86_64-w64-mingw32/include)
  endif()
  set(outputs ${WIDL_TLB})
  set(options -t -T ${WIDL_TLB})
  if(WIDL_HEADER)
    list(APPEND outputs ${WIDL_HEADER})
    list(APPEND options -h -H ${WIDL_HEADER})
  endif()
  if(WIDL_GUIDS)
    list(APPEND outputs ${WIDL_GUIDS})
    list(APPEND options -u -U ${WIDL_GUIDS})
  endif()
  get_filename_component(directory ${WIDL_TLB} DIRECTORY)
  file(MAKE_DIRECTORY ${directory})
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${ORVEX_WIDL} -m${WIDL_BITS} --nostdinc
            -I${ORVEX_WIDL_IDL_DIR} -I${headers} -L${ORVEX_WIDL_TLB_DIR}
            -DIClassFactory=SystemIClassFactory
            ${options} ${ORVEX_TYPELIB_IDL}
    DEPENDS ${ORVEX_TYPELIB_IDL} ${ORVEX_WIDL}
    COMMENT "widl -m${WIDL_BITS}: OfficeIntegrationLib"
    VERBATIM)
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(orvex_typelib_bits 32)
else()
  set(orvex_typelib_bits 64)
endif()
orvex_compile_typelib(BITS ${orvex_typelib_bits} TLB ${ORVEX_TYPELIB_TLB}
                      HEADER ${orvex_typelib_header} GUIDS ${orvex_typelib_guids})

add_library(orvex_typelib STATIC ${orvex_typelib_guids} ${orvex_typelib_header})
# Generated like an SDK header, and warned about as little.
target_include_directories(orvex_typelib SYSTEM PUBLIC ${ORVEX_TYPELIB_GENERATED_DIR})
target_link_libraries(orvex_typelib PUBLIC ole32 oleaut32 uuid)
# Two IID names of the library are also defined by libuuid:
# - IClassFactory, with the same value: the generated copy is kept out of the linker's way;
# - the messenger's ITransaction, with another value than the system's: everyone who
#   uses the library's declarations gets its IID under a name of its own.
target_compile_definitions(orvex_typelib
  PRIVATE IID_IClassFactory=OfficeIntegrationLib_IID_IClassFactory
  PUBLIC IID_ITransaction=OfficeIntegrationLib_IID_ITransaction)

# The table of interfaces the registration diagnostics check, generated from the same IDL.
set(ORVEX_EXPECTED_INTERFACES_CPP ${ORVEX_TYPELIB_GENERATED_DIR}/ExpectedInterfaces.cpp)
add_custom_command(
  OUTPUT ${ORVEX_EXPECTED_INTERFACES_CPP}
  COMMAND ${CMAKE_COMMAND} -DIDL=${ORVEX_TYPELIB_IDL} -DOUTPUT=${ORVEX_EXPECTED_INTERFACES_CPP}
          -P ${CMAKE_SOURCE_DIR}/registration/GenerateExpectedInterfaces.cmake
  DEPENDS ${ORVEX_TYPELIB_IDL} ${CMAKE_SOURCE_DIR}/registration/GenerateExpectedInterfaces.cmake
  COMMENT "Generating the table of expected interfaces"
  VERBATIM)

set(ORVEX_TYPELIB_RC ${CMAKE_SOURCE_DIR}/registration/OfficeIntegrationLib.rc)
set_source_files_properties(${ORVEX_TYPELIB_RC} PROPERTIES
  INCLUDE_DIRECTORIES "${ORVEX_TYPELIB_GENERATED_DIR};${CMAKE_SOURCE_DIR}/registration"
  OBJECT_DEPENDS "${ORVEX_TYPELIB_TLB};${CMAKE_SOURCE_DIR}/registration/OfficeIntegration.rgs")
