# A small host program that the process tests install into an image and start with
# CreateProcessW; it reports through the image's registry and its exit code.
add_executable(vx_proc_child ${CMAKE_CURRENT_SOURCE_DIR}/data_src/proc_child.cpp)
target_link_libraries(vx_proc_child PRIVATE vxhost)
set_target_properties(vx_proc_child PROPERTIES
  OUTPUT_NAME proc_child
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/data)
add_dependencies(vx_tests vx_proc_child)
