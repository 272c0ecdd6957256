# Archives for the archive component and Expand tests: CABs made with gcab and ZIPs made with
# Python's zipfile, both from generated content, so that the reader is checked against tools
# other than itself.
find_program(VX_GCAB gcab REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VX_ARCHIVE_DATA
  ${CMAKE_CURRENT_BINARY_DIR}/data/plain.cab
  ${CMAKE_CURRENT_BINARY_DIR}/data/hostile.cab
  ${CMAKE_CURRENT_BINARY_DIR}/data/plain.zip
  ${CMAKE_CURRENT_BINARY_DIR}/data/hostile.zip
  ${CMAKE_CURRENT_BINARY_DIR}/data/bomb.cab
  ${CMAKE_CURRENT_BINARY_DIR}/data/bomb.zip
  ${CMAKE_CURRENT_BINARY_DIR}/data/sizeless.zip
  ${CMAKE_CURRENT_BINARY_DIR}/data/lying.zip)
add_custom_command(
  OUTPUT ${VX_ARCHIVE_DATA}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/archive_data/make_archives.py
          ${CMAKE_CURRENT_BINARY_DIR}/data
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/archive_data/make_archives.py
  COMMENT "Making the test archives")
add_custom_target(vx_archive_data DEPENDS ${VX_ARCHIVE_DATA})
add_dependencies(vx_tests vx_archive_data)
