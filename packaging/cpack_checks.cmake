# Read by cpack before each generator runs.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(ZOLVANE_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(NOT ZOLVANE_DPKG_SHLIBDEPS)
    message(FATAL_ERROR "cpack -G DEB computes the packages' dependencies with dpkg-shlibdeps: "
                        "install the Debian package dpkg-dev")
  endif()
endif()
