# What the Debian package holds besides the install rules of src/app, and the
# package itself (cpack -G DEB in the build folder; scripts/package).
include(GNUInstallDirs)

set(velmora_packaging "${PROJECT_SOURCE_DIR}/packaging")
install(FILES "${velmora_packaging}/velmora.metainfo.xml"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME org.example.velmora.metainfo.xml)

# Manual pages and the changelog go in compressed, reproducibly (no name, no time).
find_program(VELMORA_GZIP gzip REQUIRED)
set(velmora_gz_files)
foreach(source velmora.1 velmora-cards.1 changelog)
  set(gz "${CMAKE_CURRENT_BINARY_DIR}/packaging/${source}.gz")
  add_custom_command(OUTPUT "${gz}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/packaging"
    COMMAND ${VELMORA_GZIP} -9nc "${velmora_packaging}/${source}" > "${gz}"
    DEPENDS "${velmora_packaging}/${source}" VERBATIM)
  list(APPEND velmora_gz_files "${gz}")
endforeach()
add_custom_target(velmora_packaging_files ALL DEPENDS ${velmora_gz_files})
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/packaging/velmora.1.gz"
  "${CMAKE_CURRENT_BINARY_DIR}/packaging/velmora-cards.1.gz"
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz" "${velmora_packaging}/copyright"
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora developers <velmora@velmora.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "news client that lives in the system tray")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Resident client of a Japanese news delivery service. It fetches the
subscriber's channel on a timer and announces news by sliding a popup with
news cards and a ticker in from the edge of the screen, or by blinking its
tray icon. Its user interface is Japanese.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velmora.example.org/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without a Japanese font every text is a row of boxes. The dialogs ask for
# "ＭＳ Ｐゴシック" and fall back to these families, the metric twin first.
# Pages (MY PAGE, the cards, help) open through xdg-open.
set(velmora_runtime_depends "fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${velmora_runtime_depends}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${velmora_packaging}/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# Only what the program needs: the demo service and the test tools stay out.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
include(CPack)
