# What a release installs, and the packages CPack makes of it:
#   Linux:   a Debian package, vrk-tool_<version>_<arch>.deb (cpack -G DEB);
#   Windows: vrk-tool-<version>-win64.zip (cpack -G ZIP in the cross build).
# The version is the project's throughout: programs, version records, manual
# pages, package names and the README of the zip.
include(GNUInstallDirs)

set(VRK_PACKAGE_NAME vrk-tool)
set(packaging ${PROJECT_SOURCE_DIR}/cmake/packaging)
set(staging ${PROJECT_BINARY_DIR}/packaging)

if(WIN32)
  # The zip holds the programs, README.txt and LICENSE.txt side by side, the
  # texts with Windows line ends.
  install(TARGETS vrk RUNTIME DESTINATION .)
  if(TARGET vrktool)  # VRKTool.exe
    install(TARGETS vrktool RUNTIME DESTINATION .)
  endif()
  configure_file(${packaging}/README-windows.txt.in ${staging}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${staging}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${staging}/README.txt ${staging}/LICENSE.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(zip_name ${VRK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_PACKAGE_FILE_NAME ${zip_name})
else()
  set(docdir ${CMAKE_INSTALL_DATADIR}/doc/${VRK_PACKAGE_NAME})
  install(TARGETS vrk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/cli/vrk-completion.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vrk)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/format.md ${PROJECT_SOURCE_DIR}/docs/security.md DESTINATION ${docdir})

  # Debian keeps manual pages and changelogs compressed, without timestamps
  # (-n), so that a rebuild gives the same bytes.
  find_program(VRK_GZIP gzip REQUIRED)
  set(compressed "")
  foreach(page vrk vrktool)
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${staging}/${page}.1 @ONLY)
    list(APPEND compressed ${staging}/${page}.1)
  endforeach()
  configure_file(${packaging}/changelog ${staging}/changelog COPYONLY)
  list(APPEND compressed ${staging}/changelog)
  set(outputs "")
  foreach(file IN LISTS compressed)
    add_custom_command(OUTPUT ${file}.gz
                       COMMAND ${VRK_GZIP} -9nc ${file} > ${file}.gz
                       DEPENDS ${file} VERBATIM)
    list(APPEND outputs ${file}.gz)
  endforeach()
  add_custom_target(vrk_packaging_files ALL DEPENDS ${outputs})
  install(FILES ${staging}/vrk.1.gz ${staging}/vrktool.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${staging}/changelog.gz DESTINATION ${docdir})

  # The changelog's latest entry must be the version being packaged.
  file(STRINGS ${packaging}/changelog latest LIMIT_COUNT 1)
  if(NOT latest MATCHES "^${VRK_PACKAGE_NAME} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "cmake/packaging/changelog: its first entry is not version ${PROJECT_VERSION}; add one")
  endif()

  # The copyright file in Debian's machine-readable form, around the licence.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  string(REGEX REPLACE "^.*\n\n(Permission)" "\\1" licence "${licence}")
  string(REGEX REPLACE "\n+$" "" licence "${licence}")
  string(REPLACE "\n\n" "\n.\n" licence "${licence}")
  string(REPLACE "\n" "\n " licence "${licence}")
  file(WRITE ${staging}/copyright
       "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
       "Upstream-Name: VRK Tool\n\n"
       "Files: *\n"
       "Copyright: 2026 the VRK Tool developers\n"
       "License: Expat\n"
       " ${licence}\n")
  install(FILES ${staging}/copyright DESTINATION ${docdir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_NAME ${VRK_PACKAGE_NAME})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Run-time dependencies come from the binaries, through dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
endif()

set(CPACK_PACKAGE_NAME ${VRK_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "the VRK Tool developers")
set(CPACK_PACKAGE_CONTACT "The VRK Tool developers <vrk-tool@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "extract and pack VRK game archives")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "VRK Tool unpacks VRK archives (*.vrk), the archive format of a game's data\n"
    "files, into folders, and packs folder trees into new archives, each file's\n"
    "bytes stored unchanged. It reports every step in a transcript and every\n"
    "problem as an error line that names the file and the reason, and treats\n"
    "archives as hostile input: nothing is written outside the output folder.\n"
    ".\n"
    "This package holds the command line (vrk: extract, compress, list,\n"
    "verify) and the desktop dialog (vrktool, Qt 6).")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The packages' tests: each makes its package from the built tree into a
# scratch folder and checks what it holds.
if(BUILD_TESTING)
  if(WIN32)
    add_test(NAME package.zip
             COMMAND ${CMAKE_COMMAND} -D CPACK=${CMAKE_CPACK_COMMAND} -D BUILD=${PROJECT_BINARY_DIR}
                     -D NAME=${zip_name} -D WITH_VRKTOOL=$<TARGET_EXISTS:vrktool>
                     -P ${PROJECT_SOURCE_DIR}/tests/package_zip_test.cmake)
  else()
    # The package holds both programs: a build without the desktop program
    # makes no package worth checking, and a sanitizer build's programs are
    # not what ships.
    if(TARGET vrktool AND NOT VRK_SANITIZE)
      add_test(NAME package.deb
               COMMAND ${PROJECT_SOURCE_DIR}/tests/package_deb_test.sh ${CMAKE_CPACK_COMMAND} ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
      set_tests_properties(package.deb PROPERTIES SKIP_RETURN_CODE 77)
    endif()
    add_test(NAME vrk.man_page_names_every_option
             COMMAND ${PROJECT_SOURCE_DIR}/tests/man_page_test.sh $<TARGET_FILE:vrk> ${PROJECT_SOURCE_DIR}/docs/man/vrk.1.in)
    add_test(NAME vrk.bash_completion
             COMMAND ${PROJECT_SOURCE_DIR}/tests/completion_test.sh $<TARGET_FILE:vrk> ${PROJECT_SOURCE_DIR}/cli/vrk-completion.bash)
    set_tests_properties(vrk.bash_completion PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endif()
