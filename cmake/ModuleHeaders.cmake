# Which headers a library shows, so that an include across a module boundary
# that the design does not allow fails to build.
#
#   quorvane_module_headers(TARGET MODULE
#     PUBLIC  headers its users may include as "MODULE/Name.h"
#     PRIVATE headers only its own sources include
#     EXPORTS "module/Name.h" of its dependencies that its public headers are
#             made of, which its users may then include too)
#
# Each header is reached through a one-line forwarding header in the build
# tree; a library's users get the folder of its public ones, its sources
# both folders. Nothing else of src/ is on any library's include path.
function(quorvane_module_headers Target Module)
  cmake_parse_arguments(ARG "" "" "PUBLIC;PRIVATE;EXPORTS" ${ARGN})
  set(Root ${CMAKE_BINARY_DIR}/module-headers/${Target})
  set(Wanted)
  foreach(Kind PUBLIC PRIVATE)
    foreach(Header IN LISTS ARG_${Kind})
      list(APPEND Wanted ${Root}/${Kind}/${Module}/${Header})
      set(Forwarded ${CMAKE_CURRENT_SOURCE_DIR}/${Header})
      file(CONFIGURE OUTPUT ${Root}/${Kind}/${Module}/${Header}
           CONTENT "#include \"@Forwarded@\"\n" @ONLY)
    endforeach()
  endforeach()
  foreach(Header IN LISTS ARG_EXPORTS)
    list(APPEND Wanted ${Root}/PUBLIC/${Header})
    set(Forwarded ${PROJECT_SOURCE_DIR}/src/${Header})
    file(CONFIGURE OUTPUT ${Root}/PUBLIC/${Header} CONTENT "#include \"@Forwarded@\"\n" @ONLY)
  endforeach()
  # A header taken off a list must not stay reachable.
  file(GLOB_RECURSE Existing LIST_DIRECTORIES false ${Root}/*)
  foreach(File IN LISTS Existing)
    if(NOT File IN_LIST Wanted)
      file(REMOVE ${File})
    endif()
  endforeach()
  get_target_property(Type ${Target} TYPE)
  if(Type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${Target} INTERFACE ${Root}/PUBLIC)
    return()
  endif()
  target_include_directories(${Target} PUBLIC ${Root}/PUBLIC)
  if(ARG_PRIVATE)
    target_include_directories(${Target} PRIVATE ${Root}/PRIVATE)
  endif()
endfunction()
