# The library's layers, from the ground up. Each is an object library of the sources of
# its folders that links only the layers below it; a source that includes a header of a
# layer above its own, or of no layer it stands on, fails the build (cmake/CheckLayers.cmake,
# run before any layer compiles). The DLL's entry points (DllMain.cpp, DllExports.cpp) are
# checked with their folders and compiled into the DLL alone.
#
#   orvex_add_layer(<target> FOLDERS <folder>... [BELOW <layer or library>...])
set(ORVEX_LAYER_RULES "")
set(ORVEX_LAYER_FILES "")

function(orvex_add_layer target)
  cmake_parse_arguments(LAYER "" "" "FOLDERS;BELOW" ${ARGN})
  # What the layer may include: its own folders and those of every layer below it.
  set(reach ${LAYER_FOLDERS})
  foreach(below ${LAYER_BELOW})
    if(TARGET ${below})
      get_target_property(below_reach ${below} ORVEX_LAYER_REACH)
      if(below_reach)
        list(APPEND reach ${below_reach})
      endif()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES reach)
  string(REPLACE ";" "," reach_text "${reach}")

  set(sources)
  foreach(folder ${LAYER_FOLDERS})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
    file(GLOB checked CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    list(APPEND sources ${found})
    list(APPEND ORVEX_LAYER_FILES ${checked})
    list(APPEND ORVEX_LAYER_RULES "${folder}=${reach_text}")
  endforeach()
  list(FILTER sources EXCLUDE REGEX "/(DllMain|DllExports)\\.cpp$")
  set(ORVEX_LAYER_RULES "${ORVEX_LAYER_RULES}" PARENT_SCOPE)
  set(ORVEX_LAYER_FILES "${ORVEX_LAYER_FILES}" PARENT_SCOPE)

  add_library(${target} OBJECT ${sources})
  set_target_properties(${target} PROPERTIES ORVEX_LAYER_REACH "${reach}")
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${target} PUBLIC ORVEX_BUILDING_LIBRARY)
  target_compile_options(${target} PRIVATE ${ORVEX_WARNINGS})
  target_link_libraries(${target} PUBLIC ${LAYER_BELOW})
  add_dependencies(${target} orvex_layer_check orvex_runtime_dlls)
endfunction()

# After the last layer: the check every layer waits for.
function(orvex_check_layers)
  set(stamp ${CMAKE_BINARY_DIR}/layers.checked)
  string(REPLACE ";" "|" rules "${ORVEX_LAYER_RULES}")
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} "-DROOT=${CMAKE_SOURCE_DIR}" "-DRULES=${rules}" "-DSTAMP=${stamp}"
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
    DEPENDS ${ORVEX_LAYER_FILES} ${CMAKE_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMENT "Checking that every include points down the layers"
    VERBATIM)
  add_custom_target(orvex_layer_check DEPENDS ${stamp})
endfunction()
