# The language switcher's tests run the applet's code in-process (vxapplet) and install the
# applet library, the keyboards stand-in and the layout libraries that lie in the build folder.
target_link_libraries(vx_tests PRIVATE vxapplet)
target_compile_definitions(vx_tests PRIVATE
  VX_LINGO_LIBRARY="$<TARGET_FILE:lingo>"
  VX_KEYBOARDS_LIBRARY="$<TARGET_FILE:keyboards>"
  VX_LAYOUT_ENGLISH="$<TARGET_FILE:layout_english_us>"
  VX_LAYOUT_RUSSIAN="$<TARGET_FILE:layout_russian>")
add_dependencies(vx_tests lingo keyboards layout_english_us layout_russian)
