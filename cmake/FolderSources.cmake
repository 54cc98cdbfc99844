# orvex_add_folder_sources(): adds every C++ source of the calling folder (and its
# subfolders) to the library's object library, except the DLL-only entry points
# (DllMain.cpp, DllExports.cpp), which the folder adds to the DLL itself.
function(orvex_add_folder_sources)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/(DllMain|DllExports)\\.cpp$")
  target_sources(orvex_core PRIVATE ${sources})
endfunction()
