# The shipped skins and the skin maker that builds them: the tests read the skins from the build
# folder and run the tool on descriptions of their own.
add_dependencies(vx_tests skins skinmaker)
target_compile_definitions(vx_tests PRIVATE
  VX_SKINS_DIR="${VX_SKINS_DIR}"
  VX_SKINMAKER="$<TARGET_FILE:skinmaker>"
  VX_SKIN_FONT="${VX_SKIN_FONT}"
  VX_WINDRES_I686="${VX_WINDRES_I686}"
  VX_LD_I686="${VX_LD_I686}"
  VX_CPP="${VX_CPP}")
