# What `cmake --install` puts where on Linux, and the Debian package made from it with CPack
# (scripts/package). The program finds its guide in ../share/quillmere from bin/, so the two
# directories keep their usual names.

set(QUILLMERE_DATADIR share/quillmere)

install(TARGETS quillmere quillmere-cli RUNTIME DESTINATION bin)
install(FILES resources/guide.htm DESTINATION ${QUILLMERE_DATADIR})
install(FILES resources/linux/quillmere.desktop DESTINATION share/applications)
# Where bash-completion looks for the completion of a command, under the command's name.
install(FILES resources/linux/quillmere-cli.bash
        DESTINATION share/bash-completion/completions RENAME quillmere-cli)
foreach(size 16 32 48 64 128 256)
  # The same pictures the program shows as its window icon.
  install(FILES resources/images/quillmere-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME quillmere.png)
endforeach()

set(QUILLMERE_METAINFO example.quillmere.quillmere.metainfo.xml)
configure_file(resources/linux/${QUILLMERE_METAINFO}.in ${CMAKE_BINARY_DIR}/${QUILLMERE_METAINFO} @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${QUILLMERE_METAINFO} DESTINATION share/metainfo)

# Manual pages carry the project version and are installed compressed, as Debian wants them.
set(QUILLMERE_MAN_PAGES)
foreach(page quillmere.1 quillmere-cli.1)
  configure_file(docs/${page} ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
    COMMAND gzip -9nkf ${page}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/man
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page})
  list(APPEND QUILLMERE_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.gz)
endforeach()
add_custom_target(man-pages ALL DEPENDS ${QUILLMERE_MAN_PAGES})
install(FILES ${QUILLMERE_MAN_PAGES} DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillmere <quillmere@quillmere.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "filtered copies of directory trees")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillmere copies a directory tree into a new numbered directory, leaving out the file\n\
types the user ticks, or keeping only them. It shows the statistics of a tree by file type\n\
and the number of directories at each depth, and browses the source beside earlier copies.\n\
The user interface is in Chinese. quillmere-cli does the same from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quillmere.example/)
# The libraries come from the binaries; what they cannot tell is that the Chinese texts need a
# CJK font to show as more than boxes, and Qt's own dialog texts their translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n")
include(CPack)
