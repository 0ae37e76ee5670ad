# Debian packages (cpack -G DEB), one per install component:
#   zolvane -> zolvane           zolvane, zolvane-plot and their manual pages
#   mpi     -> zolvane-mpi       the distributed run, when it is built
#   python  -> python3-zolvane   the Python module, when python/ installs one
# Included last from the top CMakeLists.txt, so that every component is
# known. Every package's Depends come from its binaries (dpkg-shlibdeps), and
# every package carries the licence as /usr/share/doc/PACKAGE/copyright and a
# changelog beside it.
#
# python/CMakeLists.txt installs with COMPONENT python; it may set
# CPACK_DEBIAN_PYTHON_DESCRIPTION or CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS with
# PARENT_SCOPE to replace the defaults below.

set(ZOLVANE_MAINTAINER "zolvane developers <zolvane-dev@users.noreply.github.com>")
get_cmake_property(zolvane_components COMPONENTS)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME zolvane)
set(CPACK_PACKAGE_CONTACT "${ZOLVANE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE zolvane)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_STRIP_FILES ON)
# CPack would leave Depends out without dpkg-shlibdeps: stop instead.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_checks.cmake)

set(CPACK_DEBIAN_ZOLVANE_PACKAGE_NAME zolvane)
set(CPACK_DEBIAN_ZOLVANE_PACKAGE_RECOMMENDS "gnuplot-nox | gnuplot, graphviz")
set(CPACK_DEBIAN_ZOLVANE_DESCRIPTION "folding kinetics of biopolymers on macrostates
zolvane computes the folding kinetics of a biopolymer (RNA or lattice
protein) at the level of macrostates. From the local minima of an energy
landscape, or from a matrix of rates, it builds the generator of a
continuous-time Markov process, diagonalises it and prints the population of
every macrostate on a logarithmic time axis. It also gives the equilibrium
distribution, mean first passage and absorbing times and a quasi-stationary
reduction, and computes in a wider arithmetic (double-double, quad-double,
binary128, MPFR or GMP numbers) for stiff landscapes.

zolvane-plot draws a population table as SVG, PNG or PDF through gnuplot.")

set(CPACK_DEBIAN_MPI_PACKAGE_NAME zolvane-mpi)
# mpirun starts the processes; the libraries come from the binary.
set(CPACK_DEBIAN_MPI_PACKAGE_DEPENDS "openmpi-bin")
set(CPACK_DEBIAN_MPI_DESCRIPTION "folding kinetics of biopolymers over MPI processes
zolvane-mpi runs the spectral computation of zolvane over MPI processes: the
transition matrix is spread block-cyclically over a grid of processes, never
held whole by one of them, and diagonalised by ScaLAPACK. It is meant for
landscapes whose matrix no single machine holds, and prints the same table,
header and messages as zolvane for the options it supports.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-zolvane)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
if(NOT DEFINED CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS AND Python3_FOUND)
  # The module's file name carries the ABI tag of the interpreter it was built
  # for, and no other version imports it: pin python3 to that minor version.
  math(EXPR zolvane_python_next "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3 (<< ${Python3_VERSION_MAJOR}.${zolvane_python_next}), python3-numpy")
endif()
set(CPACK_COMPONENT_PYTHON_DEPENDS zolvane)
if(NOT DEFINED CPACK_DEBIAN_PYTHON_DESCRIPTION)
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "folding kinetics of biopolymers (Python 3 module)
This package holds the Python 3 module of zolvane, which computes the
folding kinetics of a biopolymer at the level of macrostates from an energy
landscape or a matrix of rates, with NumPy arrays for its data.")
endif()

# The copyright file in Debian's machine-readable format, with the licence
# text of LICENSE; one changelog entry for the version being built (its date
# follows SOURCE_DATE_EPOCH when that is set).
file(READ ${PROJECT_SOURCE_DIR}/LICENSE zolvane_licence)
string(REGEX REPLACE "^MIT License\n\n" "" zolvane_licence "${zolvane_licence}")
string(REGEX REPLACE "\n+$" "" zolvane_licence "${zolvane_licence}")
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${zolvane_licence}")
set(ZOLVANE_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n\n" "\n.\n" zolvane_licence "${zolvane_licence}")
string(REGEX REPLACE "\n" "\n " ZOLVANE_LICENCE_TEXT " ${zolvane_licence}")
string(TIMESTAMP ZOLVANE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(zolvane_doc ${PROJECT_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${zolvane_doc}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${zolvane_doc}/changelog @ONLY)
execute_process(COMMAND gzip -n -9 -c ${zolvane_doc}/changelog
                OUTPUT_FILE ${zolvane_doc}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)

foreach(component IN LISTS zolvane_components)
  string(TOUPPER ${component} upper)
  if(NOT DEFINED CPACK_DEBIAN_${upper}_PACKAGE_NAME)
    message(FATAL_ERROR "install component ${component} has no Debian package (packaging/packaging.cmake)")
  endif()
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${zolvane_doc}/copyright DESTINATION ${doc_dir} COMPONENT ${component})
  install(FILES ${zolvane_doc}/changelog.gz DESTINATION ${doc_dir} COMPONENT ${component})
endforeach()

include(CPack)
