# Resource compilation with the MinGW binutils: .rc sources become PE resource libraries
# (skins, test data) or .res blobs embedded in the package's ELF libraries and programs.
find_program(VX_WINDRES_I686 i686-w64-mingw32-windres REQUIRED)
find_program(VX_LD_I686 i686-w64-mingw32-ld REQUIRED)
find_program(VX_WINDRES_X64 x86_64-w64-mingw32-windres REQUIRED)
find_program(VX_LD_X64 x86_64-w64-mingw32-ld REQUIRED)
find_program(VX_CPP cpp REQUIRED)

# vx_compile_res(OUTPUT out.res SOURCE file.rc [INCLUDES dir...] [DEPENDS files...])
function(vx_compile_res)
  cmake_parse_arguments(A "" "OUTPUT;SOURCE" "INCLUDES;DEPENDS" ${ARGN})
  set(incs)
  foreach(d ${A_INCLUDES})
    list(APPEND incs -I ${d})
  endforeach()
  get_filename_component(srcdir ${A_SOURCE} DIRECTORY)
  add_custom_command(OUTPUT ${A_OUTPUT}
    COMMAND ${VX_WINDRES_I686} --preprocessor=${VX_CPP} --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
            -I ${srcdir} ${incs} -c 65001 ${A_SOURCE} -O res -o ${A_OUTPUT}
    DEPENDS ${A_SOURCE} ${A_DEPENDS}
    COMMENT "windres ${A_SOURCE}"
    VERBATIM)
endfunction()

# vx_embed_res(TARGET target RES file.res): puts the .res blob into the named ELF section
# ".vxres" of the target, where the module loader finds it.
function(vx_embed_res)
  cmake_parse_arguments(A "" "TARGET;RES" "" ${ARGN})
  # One assembly file per (target, blob): several blobs embedded into one target are joined
  # by the linker, and the reader takes concatenated .res data.
  get_filename_component(resname ${A_RES} NAME_WE)
  set(asm ${CMAKE_CURRENT_BINARY_DIR}/${A_TARGET}_${resname}_vxres.S)
  file(WRITE ${asm} ".section .vxres,\"a\",@progbits\n.incbin \"${A_RES}\"\n.section .note.GNU-stack,\"\",@progbits\n")
  set_source_files_properties(${asm} PROPERTIES OBJECT_DEPENDS ${A_RES})
  target_sources(${A_TARGET} PRIVATE ${asm})
endfunction()
