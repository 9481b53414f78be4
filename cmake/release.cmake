# What a release ships and how CPack packs it; included at the end of the top CMakeLists.txt.
#   cpack --preset win32 (win64): build/win32/mdx-duridodi-<version>-win32.zip, one folder
#     mdx-duridodi-<version>/ holding both Windows programs, README.txt and LICENSE.txt;
#   cpack --preset native: build/native/duridodi_<version>_amd64.deb, and a .tar.gz of the same files.

# Adds a VERSIONINFO resource to the Windows program TARGET: Explorer shows DESCRIPTION, the
# product's name and version and the program's file name.
function(duridodi_add_version_info target description)
  set(versionProgram ${target})
  set(versionDescription ${description})
  # FILEVERSION takes four numbers: "1.00" is 1,0,0,0.
  string(REPLACE "." ";" versionNumbers "${PROJECT_VERSION}.0.0.0")
  list(SUBLIST versionNumbers 0 4 versionNumbers)
  list(TRANSFORM versionNumbers REPLACE "^0+([0-9])" "\\1")
  list(JOIN versionNumbers "," versionNumbers)
  set(script ${CMAKE_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/resources/version_info.rc.in ${script} @ONLY)
  target_sources(${target} PRIVATE ${script})
endfunction()

if(WIN32)
  set(programs mdx-duridodi duridodi)
  duridodi_add_version_info(mdx-duridodi "MDX Duridodi: reduced copies of MDX models, in a window")
  duridodi_add_version_info(duridodi "MDX Duridodi: reduced copies of MDX models, on the command line")
  # The window's icon, so that both programs look alike in Explorer.
  target_sources(duridodi PRIVATE ${PROJECT_SOURCE_DIR}/resources/mdx_duridodi.rc)
  target_include_directories(duridodi PRIVATE
    $<$<COMPILE_LANGUAGE:RC>:${PROJECT_SOURCE_DIR}/frontend;${PROJECT_SOURCE_DIR}/resources>)

  # The zip: one folder, so that unpacking it never scatters files. Text files get Windows line
  # endings for Notepad. Only this component is packed, not the Unix layout of other install rules.
  set(folder mdx-duridodi-${PROJECT_VERSION})
  configure_file(${PROJECT_SOURCE_DIR}/resources/windows-readme.txt.in ${CMAKE_BINARY_DIR}/release/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/release/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS ${programs} RUNTIME DESTINATION ${folder} COMPONENT windows_zip)
  install(FILES ${CMAKE_BINARY_DIR}/release/README.txt ${CMAKE_BINARY_DIR}/release/LICENSE.txt
          DESTINATION ${folder} COMPONENT windows_zip)

  set(CPACK_PACKAGE_NAME mdx-duridodi)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME ${folder}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME ${folder}-win32)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};windows_zip;/")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  # The command-line tool and its manual are installed by cli/; the licence and a changelog go where
  # Debian keeps them.
  include(GNUInstallDirs)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The MDX Duridodi authors <duridodi@example.org>")
  string(TIMESTAMP changelogDate "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/debian-changelog.in ${CMAKE_BINARY_DIR}/release/changelog @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/release/changelog DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/duridodi)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/duridodi RENAME copyright)

  set(CPACK_PACKAGE_NAME duridodi)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "write reduced copies of MDX models")
  set(CPACK_PACKAGE_DESCRIPTION "duridodi writes a reduced copy of each binary MDX model given to it,\n\
in which the geometry and the skeletal animation keep only the high 16 bits\n\
of every value, so that the copy, of the same structure and length,\n\
compresses much better inside the archives that ship models.")
  set(CPACK_PACKAGE_FILE_NAME duridodi-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/compress_docs.cmake)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # dpkg-shlibdeps names the libraries the program really loads: the C and C++ runtimes and zlib.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
endif()

include(CPack)
