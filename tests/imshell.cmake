# Input method shell tests: the shell's code linked in, and the vexor library itself, which the
# tests install into each image as \Windows\vexor.dll and load as the SIP would.
target_link_libraries(vx_tests PRIVATE vximshell)
add_dependencies(vx_tests vexor)
target_compile_definitions(vx_tests PRIVATE VX_VEXOR_LIBRARY="$<TARGET_FILE:vexor>")
