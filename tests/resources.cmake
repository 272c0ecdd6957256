# Resource test data, built from sources: the pattern bitmaps (generated), PE32 (machine field
# set to ARM, as the device's libraries have it) and PE32+ resource libraries and a .res file
# from data/resources.rc, an ELF library that carries its resources in ".vxres", and the test
# program's own resources.
set(VX_RES_SRC ${CMAKE_CURRENT_SOURCE_DIR}/data)
set(VX_RES_OUT ${CMAKE_CURRENT_BINARY_DIR}/data)

add_executable(vx_restool ${VX_RES_SRC}/restool.cpp)

set(vx_res_bitmaps)
foreach(name bpp1 bpp1td bpp4 bpp8 bpp8td bpp24 bpp24td bpp32 bpp32bf)
  list(APPEND vx_res_bitmaps ${VX_RES_OUT}/${name}.bmp)
endforeach()
add_custom_command(OUTPUT ${vx_res_bitmaps}
  COMMAND vx_restool bitmaps ${VX_RES_OUT}
  DEPENDS vx_restool ${VX_RES_SRC}/bitmap_pattern.h
  COMMENT "test bitmaps"
  VERBATIM)
set(vx_res_inputs ${VX_RES_SRC}/resources.rc ${VX_RES_SRC}/resources_ids.h ${VX_RES_SRC}/layout.txt
    ${vx_res_bitmaps})

# vx_res_library(OUTPUT file WINDRES tool LD tool [MACHINE value])
function(vx_res_library)
  cmake_parse_arguments(A "" "OUTPUT;WINDRES;LD;MACHINE" "" ${ARGN})
  set(patch)
  if(A_MACHINE)
    set(patch COMMAND vx_restool machine ${A_OUTPUT} ${A_MACHINE})
  endif()
  add_custom_command(OUTPUT ${A_OUTPUT}
    COMMAND ${A_WINDRES} --preprocessor=${VX_CPP} --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
            -I ${VX_RES_SRC} -I ${VX_RES_OUT} -c 65001 ${VX_RES_SRC}/resources.rc -O coff -o ${A_OUTPUT}.o
    COMMAND ${A_LD} --dll -e 0 -s --subsystem wince:4.20 -o ${A_OUTPUT} ${A_OUTPUT}.o
    ${patch}
    DEPENDS ${vx_res_inputs} vx_restool
    COMMENT "resource library ${A_OUTPUT}"
    VERBATIM)
endfunction()

vx_res_library(OUTPUT ${VX_RES_OUT}/skin_arm.dll WINDRES ${VX_WINDRES_I686} LD ${VX_LD_I686} MACHINE 0x01C0)
vx_res_library(OUTPUT ${VX_RES_OUT}/skin_x64.dll WINDRES ${VX_WINDRES_X64} LD ${VX_LD_X64})
vx_compile_res(OUTPUT ${VX_RES_OUT}/resources.res SOURCE ${VX_RES_SRC}/resources.rc
               INCLUDES ${VX_RES_OUT} DEPENDS ${vx_res_inputs})

vx_compile_res(OUTPUT ${VX_RES_OUT}/testmodule.res SOURCE ${VX_RES_SRC}/testmodule.rc
               DEPENDS ${VX_RES_SRC}/resources_ids.h)
add_library(vx_testmodule SHARED ${VX_RES_SRC}/testmodule.cpp)
target_link_libraries(vx_testmodule PRIVATE vxhost)
set_target_properties(vx_testmodule PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${VX_RES_OUT} OUTPUT_NAME testmodule)
vx_embed_res(TARGET vx_testmodule RES ${VX_RES_OUT}/testmodule.res)

vx_compile_res(OUTPUT ${VX_RES_OUT}/testself.res SOURCE ${VX_RES_SRC}/testself.rc
               DEPENDS ${VX_RES_SRC}/resources_ids.h)
vx_embed_res(TARGET vx_tests RES ${VX_RES_OUT}/testself.res)

add_custom_target(vx_resource_data DEPENDS ${VX_RES_OUT}/skin_arm.dll ${VX_RES_OUT}/skin_x64.dll
                  ${VX_RES_OUT}/resources.res)
add_dependencies(vx_tests vx_resource_data vx_testmodule)
