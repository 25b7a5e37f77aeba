# Installs the build into PREFIX and checks what arrives there.
# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DPREFIX=... -P installcheck.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE status OUTPUT_QUIET)
if(status)
    message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(expected bin/tavrix bin/tavrix-convert share/applications/tavrix.desktop
    share/tavrix/translations/Tavrix_en_AS.qm share/tavrix/translations/Tavrix_zh_CN.qm)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/tavrix.png)
endforeach()
list(SORT expected)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)
if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "installed:\n  ${installed}\nexpected:\n  ${expected}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
    ${SOURCE_DIR}/Resources/tavrix.png ${PREFIX}/share/icons/hicolor/256x256/apps/tavrix.png
    RESULT_VARIABLE status)
if(status)
    message(FATAL_ERROR "the 256-pixel icon is not the program's icon")
endif()

# desktop-file-validate comes with Debian's desktop-file-utils (scripts/deps.sh test).
find_program(VALIDATE desktop-file-validate)
if(VALIDATE)
    execute_process(COMMAND ${VALIDATE} ${PREFIX}/share/applications/tavrix.desktop
        RESULT_VARIABLE status OUTPUT_VARIABLE complaints ERROR_VARIABLE complaints)
    if(status OR complaints)
        message(FATAL_ERROR "desktop-file-validate: ${complaints}")
    endif()
else()
    message(WARNING "desktop-file-validate not found; the desktop entry is not validated")
endif()

# The installed converter needs nothing from the build tree.
execute_process(COMMAND ${PREFIX}/bin/tavrix-convert -q ${SOURCE_DIR}/examples/example.asc
    -o ${PREFIX}/example.csv RESULT_VARIABLE status)
file(STRINGS ${PREFIX}/example.csv csv LIMIT_COUNT 1)
if(status OR NOT csv MATCHES "^Direction\\(0:Rx")
    message(FATAL_ERROR "the installed tavrix-convert did not convert an example")
endif()
file(REMOVE_RECURSE ${PREFIX})
