# The type library embedded in the DLL, read through oleaut32 under Wine, and the system's
# dispatch code driven through it once registered.
orvex_add_test(NAME type_library_tests LIBS orvex_typelib REGISTRY
  SOURCES registration/TypeLibraryTests.cpp)
add_dependencies(type_library_tests orvex_office_integration)
target_compile_options(type_library_tests PRIVATE ${ORVEX_WARNINGS})
target_compile_definitions(type_library_tests PRIVATE
  "ORVEX_PRODUCT_DLL_NAME=L\"$<TARGET_FILE_NAME:orvex_office_integration>\"")

# The shipped product is 32-bit, which the 64-bit Wine here cannot run: the same IDL is
# compiled as the 32-bit build compiles it, and the library's header is read from the file.
set(orvex_typelib_win32_tlb ${CMAKE_BINARY_DIR}/generated/win32/OfficeIntegrationLib.tlb)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  orvex_compile_typelib(BITS 32 TLB ${orvex_typelib_win32_tlb})
  add_custom_target(orvex_typelib_win32 ALL DEPENDS ${orvex_typelib_win32_tlb})
else()
  set(orvex_typelib_win32_tlb ${ORVEX_TYPELIB_TLB})
endif()
add_test(NAME type_library_win32_file
  COMMAND ${CMAKE_COMMAND} -DTLB=${orvex_typelib_win32_tlb} -DSYSKIND=1
          -P ${CMAKE_SOURCE_DIR}/registration/CheckTypeLibraryFile.cmake)
