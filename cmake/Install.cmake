# The install tree and the Debian package (Linux): bin/cvnhost, and in lib/velmora the plug-in,
# the encoder library, the platform layer and cvnhost's module of FFmpeg's libraries, each finding the others by RUNPATH, so that the
# installed host runs with no environment set; the manual page, bash completion, copyright and
# changelog where Debian keeps them.
# Installing and packaging take the build as it stands: a package made from a test does not
# rebuild the tree under the running tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CVN_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/velmora)
set_target_properties(cvnplatform lame_enc PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS cvnhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS VelmoraPlugIn cvnplatform lame_enc cvnhost_ffmpeg LIBRARY DESTINATION ${CVN_PRIVATE_LIBDIR})

set(CVN_PACKAGE_MAINTAINER "Velmora maintainers <maintainers@velmora.example>"
    CACHE STRING "The Debian package's maintainer: NAME <ADDRESS>")
# The Debian revision of the packaging, after the project's version.
set(CVN_PACKAGE_VERSION ${PROJECT_VERSION}-1)

# The manual page, from Markdown, and the changelog, compressed as Debian keeps them (gzip -n:
# no name or time inside, so a rebuild gives the same bytes).
find_program(GO_MD2MAN go-md2man REQUIRED)
find_program(GZIP gzip REQUIRED)
set(cvn_package_files ${CMAKE_BINARY_DIR}/package)
configure_file(${PROJECT_SOURCE_DIR}/docs/cvnhost.1.md ${cvn_package_files}/cvnhost.1.md @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/changelog.in ${cvn_package_files}/changelog.Debian @ONLY)
add_custom_command(
  OUTPUT ${cvn_package_files}/cvnhost.1.gz
  COMMAND ${GO_MD2MAN} -in ${cvn_package_files}/cvnhost.1.md -out ${cvn_package_files}/cvnhost.1
  COMMAND ${GZIP} -9nf ${cvn_package_files}/cvnhost.1
  DEPENDS ${cvn_package_files}/cvnhost.1.md
  COMMENT "Writing the manual page cvnhost.1")
add_custom_command(
  OUTPUT ${cvn_package_files}/changelog.Debian.gz
  COMMAND ${GZIP} -9nkf ${cvn_package_files}/changelog.Debian
  DEPENDS ${cvn_package_files}/changelog.Debian)
add_custom_target(cvnhost_documents ALL
  DEPENDS ${cvn_package_files}/cvnhost.1.gz ${cvn_package_files}/changelog.Debian.gz)
install(FILES ${cvn_package_files}/cvnhost.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/cvnhost.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME cvnhost)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/copyright ${cvn_package_files}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora-cvnhost)

set(CPACK_PACKAGE_NAME velmora-cvnhost)
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_CONTACT ${CVN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CVN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MP3 encoder front end over the Velmora plug-in")
# The extended description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "cvnhost encodes audio files and whole music libraries (WAV, AIFF, FLAC, Ogg
Vorbis, Opus, MP3 and more, at any sample rate) to tagged, gapless MP3 files
through the Velmora plug-in, which the audio host Corvane loads on Windows.
It carries every tag and the front cover, measures ReplayGain, mirrors folder
trees or names files from tags, skips what a previous run finished, reads and
writes pipes and splits a library across machines.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libmp3lame0, libsndfile1, libsoxr0, libtag1v5, libmpg123-0, libebur128-1")
# The binaries stripped, their debug symbols (where the build has them) in a package of their
# own, velmora-cvnhost-dbgsym.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
