# The style sheet asks for Noto Sans, which Windows does not have, and a
# fallback font clips and shrinks the texts. So the program carries the font
# in its resources (":/fonts/"), taken at build time from Debian's
# fonts-noto-core. Debian keeps the SemiBold face in fonts-noto-extra; where a
# folder holding it is given (the Windows build does), it travels too, and
# without it Qt draws weight 600 with the Bold face, as it does on Linux.
set(BRIMLET_FONT_DIR "/usr/share/fonts/truetype/noto" CACHE PATH
    "Folder holding NotoSans-Regular.ttf and NotoSans-Bold.ttf (and NotoSans-SemiBold.ttf)")

set(brimlet_fonts "")
foreach(face Regular SemiBold Bold)
    set(font "${BRIMLET_FONT_DIR}/NotoSans-${face}.ttf")
    if(NOT EXISTS "${font}" AND EXISTS "/usr/share/fonts/truetype/noto/NotoSans-${face}.ttf")
        set(font "/usr/share/fonts/truetype/noto/NotoSans-${face}.ttf")
    endif()
    if(EXISTS "${font}")
        configure_file("${font}" "${CMAKE_CURRENT_BINARY_DIR}/fonts/NotoSans-${face}.ttf" COPYONLY)
        list(APPEND brimlet_fonts "${CMAKE_CURRENT_BINARY_DIR}/fonts/NotoSans-${face}.ttf")
    elseif(NOT face STREQUAL "SemiBold")
        message(FATAL_ERROR "NotoSans-${face}.ttf not found in ${BRIMLET_FONT_DIR}: install fonts-noto-core")
    endif()
endforeach()

# Stored as they are: the font files barely shrink, and start-up reads them.
# The program carries them, and so do the tests that look at its texts.
function(brimlet_add_fonts target)
    qt_add_resources(${target} "${target}_fonts"
        PREFIX "/fonts"
        BASE "${CMAKE_BINARY_DIR}/fonts"
        OPTIONS -no-compress
        FILES ${brimlet_fonts}
    )
endfunction()
brimlet_add_fonts(brimlet)
