# The package's folders see the platform and nothing of the emulator behind it.
add_test(NAME Layering.PackageFoldersIncludeOnlyThePlatform
  COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayering.cmake)
