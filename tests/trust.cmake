# A shared object that stands for host code planted in an image or a package.
add_library(vx_planted_module MODULE ${CMAKE_CURRENT_SOURCE_DIR}/data_src/planted_module.cpp)
set_target_properties(vx_planted_module PROPERTIES
  PREFIX "" OUTPUT_NAME planted_module SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/data)
add_dependencies(vx_tests vx_planted_module)
