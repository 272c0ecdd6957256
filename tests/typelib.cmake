# Type libraries for the type library tests, compiled by widl from self-contained .idl sources,
# and two modules that carry one as their resource "TYPELIB" 1: a PE resource library and an
# ELF library with the resource in ".vxres", as the package's in-process server has it.
set(VX_TLB_SRC ${CMAKE_CURRENT_SOURCE_DIR}/data_src)
set(VX_TLB_OUT ${CMAKE_CURRENT_BINARY_DIR}/data)
find_program(VX_WIDL x86_64-w64-mingw32-widl REQUIRED)

set(vx_tlb_files)
foreach(name typelib_sample typelib_bare)
  add_custom_command(OUTPUT ${VX_TLB_OUT}/${name}.tlb
    COMMAND ${VX_WIDL} --win32 -t -o ${VX_TLB_OUT}/${name}.tlb ${VX_TLB_SRC}/${name}.idl
    DEPENDS ${VX_TLB_SRC}/${name}.idl
    COMMENT "widl ${name}.idl"
    VERBATIM)
  list(APPEND vx_tlb_files ${VX_TLB_OUT}/${name}.tlb)
endforeach()

add_custom_command(OUTPUT ${VX_TLB_OUT}/typelib_module.dll
  COMMAND ${VX_WINDRES_I686} --preprocessor=${VX_CPP} --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
          -I ${VX_TLB_OUT} ${VX_TLB_SRC}/typelib_module.rc -O coff -o ${VX_TLB_OUT}/typelib_module.o
  COMMAND ${VX_LD_I686} --dll -e 0 -s --subsystem wince:4.20 -o ${VX_TLB_OUT}/typelib_module.dll
          ${VX_TLB_OUT}/typelib_module.o
  DEPENDS ${VX_TLB_SRC}/typelib_module.rc ${VX_TLB_OUT}/typelib_sample.tlb
  COMMENT "type library resource module"
  VERBATIM)
list(APPEND vx_tlb_files ${VX_TLB_OUT}/typelib_module.dll)

vx_compile_res(OUTPUT ${VX_TLB_OUT}/typelib_module.res SOURCE ${VX_TLB_SRC}/typelib_module.rc
  INCLUDES ${VX_TLB_OUT} DEPENDS ${VX_TLB_OUT}/typelib_sample.tlb)
add_library(vx_typelib_elf MODULE ${VX_TLB_SRC}/typelib_module.cpp)
target_link_libraries(vx_typelib_elf PRIVATE vxhost)
vx_embed_res(TARGET vx_typelib_elf RES ${VX_TLB_OUT}/typelib_module.res)
set_target_properties(vx_typelib_elf PROPERTIES
  PREFIX "" OUTPUT_NAME typelib_module SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${VX_TLB_OUT})

add_custom_target(vx_typelib_data DEPENDS ${vx_tlb_files})
add_dependencies(vx_tests vx_typelib_data vx_typelib_elf)
