# CPack: a Debian package from the Linux build, a ZIP from the Windows
# (MinGW-w64) build. Both hold what cmake --install puts in place; the version
# is the project's. scripts/package.sh builds both into dist/.
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "Grain scores maintainers <grainscores@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  # The static .exe files, examples\ and README.txt in one folder.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # name_version_architecture.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${PROJECT_DESCRIPTION}
Three console programs write Csound scores for spatial granular synthesis,
one statement per grain, each grain stream placed along the path of a boid.
With flockpaths, which flies the flock, scoreview, which draws a score, and
example orchestras.")

  # The package's dependencies, all set here. The three score programs,
  # flockpaths and scoreview need only the C and C++ runtime libraries, which
  # dpkg-shlibdeps reads from the executables. A companion that links Csound's
  # libraries (libcsound64, libsndfile) gets those from dpkg-shlibdeps as well;
  # what it needs without linking it (the csound command, say) goes into
  # grain_deb_depends, comma-separated.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(grain_deb_depends "")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${grain_deb_depends}")
  # Csound renders the scores; the score programs themselves do not run it.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS csound)
  # grainrender --play plays into a JACK server through Csound's JACK module
  # (in Csound's library, a dependency above); the server is the composer's
  # choice (jackd2, or PipeWire's JACK).
  if(TARGET grainrender)
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS jackd2)
  endif()
endif()

include(CPack)
