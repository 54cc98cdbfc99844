# The type library embedded in the DLL, read through oleaut32 under Wine.
set(orvex_typelib_test_support
  registration/TypeInfoView.cpp registration/TypeLibraryFile.cpp registration/ExpectedTypeLibraryContent.cpp)

# The shipped product is 32-bit, which the 64-bit Wine here cannot run: the same IDL is
# compiled as the 32-bit build compiles it, and the test reads that library.
set(orvex_typelib_win32_tlb ${CMAKE_BINARY_DIR}/generated/win32/OfficeIntegrationLib.tlb)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  orvex_compile_typelib(BITS 32 TLB ${orvex_typelib_win32_tlb})
  add_custom_target(orvex_typelib_win32 DEPENDS ${orvex_typelib_win32_tlb})
else()
  set(orvex_typelib_win32_tlb ${ORVEX_TYPELIB_TLB})
  add_custom_target(orvex_typelib_win32)
  add_dependencies(orvex_typelib_win32 orvex_typelib)
endif()

orvex_add_test(NAME type_library_tests LIBS orvex_typelib
  SOURCES registration/TypeLibraryTests.cpp registration/TypeLibraryMemberTests.cpp ${orvex_typelib_test_support})
orvex_add_test(NAME type_library_marshal_tests LIBS orvex_typelib REGISTRY
  SOURCES registration/TypeLibraryMarshalTests.cpp registration/TypeInfoView.cpp registration/TypeLibraryFile.cpp)

foreach(test type_library_tests type_library_marshal_tests)
  add_dependencies(${test} orvex_office_integration orvex_typelib_win32)
  target_compile_options(${test} PRIVATE ${ORVEX_WARNINGS})
  target_compile_definitions(${test} PRIVATE
    "ORVEX_PRODUCT_DLL_NAME=L\"$<TARGET_FILE_NAME:orvex_office_integration>\""
    "ORVEX_WIN32_TLB=\"${orvex_typelib_win32_tlb}\"")
endforeach()

# The 32-bit library's header, read from the file (the 32-bit build can run this check
# on its own library as well).
add_test(NAME type_library_win32_file
  COMMAND ${CMAKE_COMMAND} -DTLB=${orvex_typelib_win32_tlb} -DSYSKIND=1
          -P ${CMAKE_SOURCE_DIR}/registration/CheckTypeLibraryFile.cmake)
