# The Windows release: VelmoraPlugIn-VERSION-win32.zip or -win64.zip from `cpack -G ZIP` in the
# build tree, holding the DLL, a plain-text readme, the licence and a SHA-256 list of the three.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CVN_WINDOWS_ARCHITECTURE win64)
  set(CVN_WINDOWS_BITS 64)
else()
  set(CVN_WINDOWS_ARCHITECTURE win32)
  set(CVN_WINDOWS_BITS 32)
endif()
# Windows readers expect CRLF line ends in a text file.
configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt.in ${CMAKE_BINARY_DIR}/release/README.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/packaging/LICENSE.txt ${CMAKE_BINARY_DIR}/release/LICENSE.txt
  COPYONLY)
file(READ ${CMAKE_BINARY_DIR}/release/LICENSE.txt licence)
string(REPLACE "\r\n" "\n" licence "${licence}")
string(REPLACE "\n" "\r\n" licence "${licence}")
file(WRITE ${CMAKE_BINARY_DIR}/release/LICENSE.txt "${licence}")

set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(TARGETS VelmoraPlugIn RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/release/README.txt ${CMAKE_BINARY_DIR}/release/LICENSE.txt DESTINATION .)
# The checksums of what was just installed, in the format of sha256sum (and certutil's hashes).
install(CODE [[
  set(directory "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  set(sums "")
  foreach(name VelmoraPlugIn.dll README.txt LICENSE.txt)
    file(SHA256 "${directory}/${name}" hash)
    string(APPEND sums "${hash} *${name}\r\n")
  endforeach()
  file(WRITE "${directory}/SHA256SUMS.txt" "${sums}")
]])

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VelmoraPlugIn)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME VelmoraPlugIn-${PROJECT_VERSION}-${CVN_WINDOWS_ARCHITECTURE})
include(CPack)
