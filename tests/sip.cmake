# The fake input method of the SIP tests: an ELF in-process server with two input method
# classes, which the tests copy into a fresh image and register as SIP input methods.
add_library(vx_sip_fake_im MODULE ${CMAKE_CURRENT_SOURCE_DIR}/data_src/sip_fake_im.cpp)
target_link_libraries(vx_sip_fake_im PRIVATE vxhost)
set_target_properties(vx_sip_fake_im PROPERTIES
  PREFIX "" OUTPUT_NAME sip_fake_im SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/data)
add_dependencies(vx_tests vx_sip_fake_im)
