# What Windows reads from brimlet.exe itself: the icon that Explorer, the
# Start menu and a taskbar pin show, the version resource (product name,
# description, version: the project's, which the installers carry too) and
# the application manifest (dist/windows/brimlet.exe.manifest.in). Only for
# the Windows build; dist/windows/brimlet.rc.in is compiled by the resource
# compiler (MinGW's windres when cross-building).
enable_language(RC)

set(BRIMLET_VERSION_4 "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(BRIMLET_WINDOWS_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/brimlet.exe.manifest")
configure_file(dist/windows/brimlet.exe.manifest.in "${BRIMLET_WINDOWS_MANIFEST}" @ONLY)

# resources/icon.ico is one picture, 95 by 104 pixels. Windows stretches an
# icon to the square size it shows (16 to 256 pixels), so the program file
# carries it centred on a square and drawn at those sizes, made with
# ImageMagick where it is at hand; elsewhere the picture goes in as it is.
set(brimlet_icon "${CMAKE_CURRENT_SOURCE_DIR}/resources/icon.ico")
if(CMAKE_HOST_UNIX)
    find_program(BRIMLET_IMAGEMAGICK_CONVERT convert)
endif()
if(BRIMLET_IMAGEMAGICK_CONVERT)
    set(BRIMLET_WINDOWS_ICON "${CMAKE_CURRENT_BINARY_DIR}/brimlet.ico")
    add_custom_command(OUTPUT "${BRIMLET_WINDOWS_ICON}"
        COMMAND "${BRIMLET_IMAGEMAGICK_CONVERT}" "${brimlet_icon}"
            -background none -gravity center -extent 104x104
            -define icon:auto-resize=256,64,48,40,32,24,20,16
            "${BRIMLET_WINDOWS_ICON}"
        DEPENDS "${brimlet_icon}"
        COMMENT "Making the program's icon at Windows' sizes"
        VERBATIM)
    target_sources(brimlet PRIVATE "${BRIMLET_WINDOWS_ICON}")
else()
    set(BRIMLET_WINDOWS_ICON "${brimlet_icon}")
endif()

set(brimlet_rc "${CMAKE_CURRENT_BINARY_DIR}/brimlet.rc")
configure_file(dist/windows/brimlet.rc.in "${brimlet_rc}" @ONLY)
set_source_files_properties("${brimlet_rc}" PROPERTIES
    OBJECT_DEPENDS "${BRIMLET_WINDOWS_ICON};${BRIMLET_WINDOWS_MANIFEST}")
target_sources(brimlet PRIVATE "${brimlet_rc}")
