# The install tree and the Debian package (Linux): bin/cvnhost, and in lib/velmora the plug-in,
# the encoder library and the platform layer, each finding the others by RUNPATH, so that the
# installed host runs with no environment set.
# Installing and packaging take the build as it stands: a package made from a test does not
# rebuild the tree under the running tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CVN_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/velmora)
set_target_properties(cvnplatform lame_enc PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS cvnhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS VelmoraPlugIn cvnplatform lame_enc LIBRARY DESTINATION ${CVN_PRIVATE_LIBDIR})

set(CPACK_PACKAGE_NAME velmora-cvnhost)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT "Velmora team <velmora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MP3 encoder front end over the Velmora plug-in")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libmp3lame0, libsndfile1, libsoxr0, libtag1v5, libmpg123-0, libebur128-1")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
