# The sample content is installed by pocketsim; its test builds the installer in and reads the
# language packages from the source tree.
target_sources(vx_tests PRIVATE ${CMAKE_SOURCE_DIR}/frontend/sample_content.cpp)
target_compile_definitions(vx_tests PRIVATE VX_SAMPLES_DIR="${CMAKE_SOURCE_DIR}/frontend/samples")
