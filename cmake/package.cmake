# Binary packages with CPack, from the install rules' components:
#   Linux:   a .deb (cpack -G DEB) of the emulator, the library, its headers,
#            its CMake and pkg-config files, README, docs and licence, and the
#            Python package with its commands for the build's interpreter
#            (Debian's python3 on Debian), when its engine is built;
#   Windows: a .zip (cpack -G ZIP) of the same, README and LICENSE at its top.
# The knowledge tool (component "tools") stays out of both; the .deb's
# package gives the same commands.
# Bare-metal cross builds have no package format of their own.
if(NOT (WIN32 OR CMAKE_SYSTEM_NAME STREQUAL "Linux"))
  return()
endif()

set(CPACK_PACKAGE_NAME ombrel)
set(CPACK_PACKAGE_VENDOR "Ombrel AI")
set(CPACK_PACKAGE_CONTACT ${OMBREL_PACKAGE_CONTACT})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The synopsis does not start with the package's name (Debian policy 3.4.1).
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "classification library of Ombrel AI and its desktop emulator")
set(CPACK_PACKAGE_DESCRIPTION
  "The static library classifies signals of 64 values into four classes with
a small network loaded from a knowledge file; the emulator runs it on a
desktop and prints the same report as a device. The Python package ombrel
classifies numpy arrays with the same library, evaluates knowledges on
labelled signals and writes, inspects and imports knowledge files
(commands ombrel-evaluate, ombrel-knowledge and ombrel-device). Licence:
Apache-2.0.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# One package of these components (a monolithic package would take "tools"
# too).
# The pkg-config file goes, in a .deb, where a cross pkg-config looks for
# it (lib/<multiarch>/pkgconfig), elsewhere under lib/pkgconfig.
if(WIN32 OR NOT CMAKE_LIBRARY_ARCHITECTURE)
  set(CPACK_COMPONENTS_ALL runtime development doc pkgconfig)
else()
  set(CPACK_COMPONENTS_ALL runtime development doc pkgconfig_multiarch)
endif()
if(OMBREL_PYTHON_SITE AND NOT WIN32)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # Depends: exactly the shared libraries the emulator loads, with the
  # versions dpkg-shlibdeps derives from their symbols.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  if(python IN_LIST CPACK_COMPONENTS_ALL)
    # The engine is built for one Python version: the package's python3 is
    # that one. Shared libraries come from dpkg-shlibdeps as above.
    math(EXPR next_minor "${Python3_VERSION_MINOR} + 1")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), \
python3 (<< ${Python3_VERSION_MAJOR}.${next_minor}), python3-numpy")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-matplotlib, python3-onnx, python3-serial, python3-sklearn")
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-dask, python3-distributed")
    # Byte-compiled on installation and cleaned on removal, as Debian's own
    # Python packages are (the .deb carries no __pycache__).
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
        ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/prerm)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  endif()
endif()

include(CPack)
