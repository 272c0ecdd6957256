# In-process servers for the COM runtime tests: ELF libraries linked with vxhost, which the tests
# copy into a fresh image and register under HKEY_CLASSES_ROOT.
foreach(server comserver comnotaserver)
  add_library(vx_${server} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/data/${server}.cpp)
  target_link_libraries(vx_${server} PRIVATE vxhost)
  target_include_directories(vx_${server} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/data)
  set_target_properties(vx_${server} PROPERTIES
    PREFIX "" OUTPUT_NAME ${server} SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/data)
  add_dependencies(vx_tests vx_${server})
endforeach()
