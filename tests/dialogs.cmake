# Dialog templates for the dialog tests, in the test program's own resources.
vx_compile_res(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/data/dialogs.res
               SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/data_src/dialogs.rc)
vx_embed_res(TARGET vx_tests RES ${CMAKE_CURRENT_BINARY_DIR}/data/dialogs.res)
