# The configuration runner's tests run its main routine in-process (vxrunner) and install the
# device information library that lies in the build folder into their images.
target_link_libraries(vx_tests PRIVATE vxrunner)
target_compile_definitions(vx_tests PRIVATE VX_FLASHMGR_LIBRARY="$<TARGET_FILE:flashmgr>")
add_dependencies(vx_tests flashmgr muiapply)
