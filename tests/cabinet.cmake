# The cabinet tests write cabinets (vxcabwriter), run the installer's code in-process
# (vxcabinstall) and install a setup library of their own, which includes only platform headers.
target_link_libraries(vx_tests PRIVATE vxcabwriter vxcabinstall)
add_library(vx_cab_setup MODULE ${CMAKE_CURRENT_SOURCE_DIR}/data_src/cab_setup_library.cpp)
target_link_libraries(vx_cab_setup PRIVATE vxhost)
set_target_properties(vx_cab_setup PROPERTIES
  PREFIX "" OUTPUT_NAME cab_setup SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/data
  CXX_VISIBILITY_PRESET hidden)
add_dependencies(vx_tests vx_cab_setup wceload)
# The cabinet maker is run as a person runs it.
add_dependencies(vx_tests cabmaker)
target_compile_definitions(vx_tests PRIVATE VX_CABMAKER="$<TARGET_FILE:cabmaker>")
