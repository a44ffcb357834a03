# Installing and packaging: the program in a folder of its own with the hand
# pointer beside it, a launcher on the PATH, the desktop entry, the metainfo
# and the icons. `cpack -G DEB` in the build folder makes the Debian package.

set(CORVANTIS_DESKTOP_ID com.quillmere.Corvantis) # as resources::kDesktopFileId
set(CORVANTIS_VERSION ${PROJECT_VERSION})
set(CORVANTIS_RELEASE_DATE 2026-12-08)
set(CORVANTIS_SCREENSHOT_URL "https://www.quillmere.com/corvantis/screenshots"
    CACHE STRING "Where the metainfo's screenshots (the pictures of docs/) are published")
# The program looks for its files (HAND-M.CUR, x/o.cjs) in its own folder.
set(program_folder lib/corvantis)

install(TARGETS corvantis RUNTIME DESTINATION ${program_folder})
install(FILES ${PROJECT_BINARY_DIR}/HAND-M.CUR DESTINATION ${program_folder})

# The launcher links to the program; relative, so an unpacked copy works too.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
file(CREATE_LINK ../${program_folder}/corvantis ${PROJECT_BINARY_DIR}/packaging/corvantis SYMBOLIC)
install(FILES ${PROJECT_BINARY_DIR}/packaging/corvantis DESTINATION bin)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/${CORVANTIS_DESKTOP_ID}.desktop DESTINATION share/applications)
configure_file(${CMAKE_CURRENT_LIST_DIR}/${CORVANTIS_DESKTOP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/packaging/${CORVANTIS_DESKTOP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/${CORVANTIS_DESKTOP_ID}.metainfo.xml DESTINATION share/metainfo)
foreach(size 32 48 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/corvantis-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps
          RENAME ${CORVANTIS_DESKTOP_ID}.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvantis)
set(CPACK_PACKAGE_VENDOR Quillmere)
set(CPACK_PACKAGE_VERSION ${CORVANTIS_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillmere <support@quillmere.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns a balance sheet into a spreadsheet workbook")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "You type the balance-sheet date and 24 line items into one window;"
  "Corvantis fills its balance-sheet template with them, computes the totals,"
  "saves a real .xls workbook and shows a picture of the filled sheet, which"
  "you can zoom, scroll, save as .xls, .xlsx or PDF, and print."
  ""
  "It needs no spreadsheet application: it carries a small spreadsheet engine"
  "of its own, and its workbooks open with the same values in every"
  "spreadsheet program.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The libraries come from what the program links; the Qt platform plugins
# are loaded at run time, so no linker sees them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Arial, as the sheet asks for it, is drawn with Liberation Sans.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
