# The install and boot utilities' tests run their routines in-process (vxsetup) and install the
# built programs, the setup library, the rotation driver and the DevPrep stand-in into images.
# Two probes stand for what the utilities call: a control-panel applet and a driver library.
target_link_libraries(vx_tests PRIVATE vxsetup)
target_compile_definitions(vx_tests PRIVATE
  VX_DAWNSTEP_PROGRAM="$<TARGET_FILE:Dawnstep>"
  VX_REBOOTER_PROGRAM="$<TARGET_FILE:rebooter>"
  VX_DEVPREP_PROGRAM="$<TARGET_FILE:DevPrep>"
  VX_PACKHOOK_LIBRARY="$<TARGET_FILE:packhook>"
  VX_TILTWATCH_LIBRARY="$<TARGET_FILE:tiltwatch>"
  VX_DEVPREP_STANDIN="$<TARGET_FILE:devprep_standin>")
add_dependencies(vx_tests Dawnstep rebooter DevPrep packhook tiltwatch devprep_standin)
foreach(probe applet_probe driver_probe)
  add_library(vx_${probe} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/data_src/${probe}.cpp)
  target_link_libraries(vx_${probe} PRIVATE vxhost)
  set_target_properties(vx_${probe} PROPERTIES
    PREFIX "" OUTPUT_NAME ${probe} SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/data
    CXX_VISIBILITY_PRESET hidden)
  add_dependencies(vx_tests vx_${probe})
endforeach()
