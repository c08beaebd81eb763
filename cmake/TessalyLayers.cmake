# SPDX-License-Identifier: MIT
# The program's layers, lowest first. A layer uses its own code and the
# layers below it, never a layer beside it (watch and notify) or above it:
#   0 common   1 settings   2 watch, notify   3 checkrun
#   4 cli, resident   5 windows   6 program (the executable)
# scripts/check-layers.sh (the test layer_check) holds the includes to this
# order; tessaly_layer holds the symbols to it, at link time.

# tessaly_layer_rank(<layer> <variable>): the rank of <layer>.
function(tessaly_layer_rank layer variable)
  set(ranks common 0 settings 1 watch 2 notify 2 checkrun 3 cli 4 resident 4 windows 5)
  list(FIND ranks ${layer} index)
  if(index LESS 0)
    message(FATAL_ERROR "${layer} is no layer of the program")
  endif()
  math(EXPR index "${index} + 1")
  list(GET ranks ${index} rank)
  set(${variable} ${rank} PARENT_SCOPE)
endfunction()

# Every link probe; part of the default build as well.
add_custom_target(tessaly_link_probes)

# tessaly_layer(<library> <layer> [USES <library>...]): the static library
# <library> holds (part of) <layer>. It links PUBLIC the layer libraries in
# USES, which must be of its own layer or of lower ones, and gets a link
# probe, <library>_link_probe: an executable of every object in <library>,
# linked to nothing but what <library> links. A call into a layer that
# <library> may not use leaves a symbol undefined there, so the build fails
# even where no program takes in that code. The probes reuse the library's
# objects (nothing is compiled twice) and are never run.
function(tessaly_layer library layer)
  cmake_parse_arguments(L "" "" "USES" ${ARGN})
  tessaly_layer_rank(${layer} rank)
  set_property(TARGET ${library} PROPERTY TESSALY_LAYER ${layer})
  foreach(used IN LISTS L_USES)
    get_target_property(used_layer ${used} TESSALY_LAYER)
    if(NOT used_layer)
      message(FATAL_ERROR "${library}: ${used} is no layer library")
    endif()
    tessaly_layer_rank(${used_layer} used_rank)
    if(NOT used_layer STREQUAL layer AND NOT used_rank LESS rank)
      message(FATAL_ERROR "${library} (${layer}) may not use ${used} (${used_layer})")
    endif()
  endforeach()
  target_link_libraries(${library} PUBLIC ${L_USES})

  add_executable(${library}_link_probe $<TARGET_OBJECTS:tessaly_link_probe_main>)
  target_link_libraries(${library}_link_probe PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${library}>")
  set_target_properties(${library}_link_probe PROPERTIES
    LINKER_LANGUAGE CXX
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/link-probes)
  add_dependencies(tessaly_link_probes ${library}_link_probe)
endfunction()
