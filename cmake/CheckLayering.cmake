# Fails when the package's code reaches past the platform: a package folder may include the
# platform's headers and its own, never the emulator's (host/) nor a host system or library
# header. Run as: cmake -DROOT=SOURCE_DIR -P CheckLayering.cmake
set(VX_PACKAGE_FOLDERS keyboard imshell script runner applet setup tiltwatch)
set(violations "")
foreach(folder ${VX_PACKAGE_FOLDERS})
  file(GLOB_RECURSE sources "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.c"
       "${ROOT}/${folder}/*.rc" "${ROOT}/${folder}/*.inc")
  foreach(source ${sources})
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include")
    file(RELATIVE_PATH name "${ROOT}" "${source}")
    foreach(line ${lines})
      # Quoted includes may not name the emulator, however the path is spelt.
      if(line MATCHES "\"([^\"]*/)?host/[^\"]*\"")
        list(APPEND violations "${name}: ${line}")
      # Angle includes are the C++ standard library only: no extension, no folder.
      elseif(line MATCHES "<[^>]*[./][^>]*>")
        list(APPEND violations "${name}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "package code includes what only the emulator may:\n  ${text}")
endif()
