# Keyboard engine tests: the engine library, a module carrying the engine's compiled resources,
# and small test skins (PE resource libraries made with windres and ld from keyboard_data/*.rc,
# their bitmaps and binary tables written at build time by kbd_fixture).
target_link_libraries(vx_tests PRIVATE vxkeyboard)

set(VX_KBD_SRC ${CMAKE_CURRENT_SOURCE_DIR}/keyboard_data)
set(VX_KBD_OUT ${CMAKE_CURRENT_BINARY_DIR}/data/keyboard)
file(MAKE_DIRECTORY ${VX_KBD_OUT})

add_library(vx_kbd_engine MODULE ${VX_KBD_SRC}/engine_module.cpp)
set_target_properties(vx_kbd_engine PROPERTIES PREFIX "" OUTPUT_NAME kbdengine SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${VX_KBD_OUT})
vx_embed_res(TARGET vx_kbd_engine RES ${VX_KEYBOARD_RES})
add_dependencies(vx_kbd_engine vxkeyboard_res)

add_executable(kbd_fixture ${VX_KBD_SRC}/fixture.cpp)

# kbd_fixture_file(NAME kind args...): one generated input file of the test skins.
set(VX_KBD_FILES)
function(kbd_fixture_file name)
  add_custom_command(OUTPUT ${VX_KBD_OUT}/${name}
    COMMAND kbd_fixture ${ARGN}
    DEPENDS kbd_fixture
    WORKING_DIRECTORY ${VX_KBD_OUT}
    VERBATIM)
  set(VX_KBD_FILES ${VX_KBD_FILES} ${VX_KBD_OUT}/${name} PARENT_SCOPE)
endfunction()

kbd_fixture_file(img240.bmp bmp img240.bmp 240 80 24)
kbd_fixture_file(img320.bmp bmp img320.bmp 320 80 24)
kbd_fixture_file(img480.bmp bmp img480.bmp 480 8 24)
kbd_fixture_file(mask240.bmp bmp mask240.bmp 240 80 1)
kbd_fixture_file(mask320.bmp bmp mask320.bmp 320 80 1)
# Layout records: index, bitmap number, left, top, right, bottom, two reserved words. The alpha
# layout ends with three stray words that make no record.
kbd_fixture_file(alpha_layout.bin be16 alpha_layout.bin
  82 3 0 16 15 31 0 0
  57 1 32 64 127 79 0 0
  70 0 0 0 15 15 0 0
  57 2 128 64 159 79 0 0
  48 0 0 32 31 47 0 0
  55 0 200 0 239 15 0 0
  1 2 3)
kbd_fixture_file(alpha_digits.bin be16 alpha_digits.bin
  36 0 0 0 15 15 0 0
  52 0 64 32 79 47 0 0)
kbd_fixture_file(beta_layout.bin be16 beta_layout.bin
  50 0 0 48 31 63 0 0
  82 0 0 16 15 31 0 0
  48 0 0 32 31 47 0 0)
kbd_fixture_file(beta_landscape.bin be16 beta_landscape.bin
  82 0 0 16 19 31 0 0
  48 0 0 32 39 47 0 0
  57 0 40 64 200 79 0 0)
kbd_fixture_file(caps_rect.bin le32 caps_rect.bin 0 0 128 16)
kbd_fixture_file(short12.bin le32 short12.bin 0 0 128)
kbd_fixture_file(short14.bin be16 short14.bin 36 0 0 0 15 15 0)
# Second languages: a header word, then per record (0x0400 + k, 0x0500 + k, 0x0600 + k,
# 0x0700 + k) for record k.
foreach(count 10 160)
  set(words 0)
  math(EXPR last "${count} - 1")
  foreach(k RANGE ${last})
    math(EXPR a "0x400 + ${k}")
    math(EXPR b "0x500 + ${k}")
    math(EXPR c "0x600 + ${k}")
    math(EXPR d "0x700 + ${k}")
    list(APPEND words ${a} ${b} ${c} ${d})
  endforeach()
  kbd_fixture_file(locale${count}.bin le16 locale${count}.bin ${words})
endforeach()

set(VX_KBD_SKINS)
foreach(skin alpha beta vga noimage)
  set(out ${VX_KBD_OUT}/${skin}.vxs)
  add_custom_command(OUTPUT ${out}
    COMMAND ${VX_WINDRES_I686} --preprocessor=${VX_CPP} --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
            -I ${VX_KBD_OUT} -c 65001 ${VX_KBD_SRC}/${skin}.rc -O coff -o ${out}.o
    COMMAND ${VX_LD_I686} --dll -e 0 -s --subsystem wince:4.20 -o ${out} ${out}.o
    DEPENDS ${VX_KBD_SRC}/${skin}.rc ${VX_KBD_FILES}
    COMMENT "keyboard test skin ${skin}"
    VERBATIM)
  list(APPEND VX_KBD_SKINS ${out})
endforeach()
add_custom_target(vx_kbd_skins DEPENDS ${VX_KBD_SKINS})
add_dependencies(vx_tests vx_kbd_skins vx_kbd_engine)
target_compile_definitions(vx_tests PRIVATE VX_KBD_DATA_DIR="${VX_KBD_OUT}")
