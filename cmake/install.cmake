# Install rules. Components:
#   runtime      bin/ombrel_emulator (when this build makes it)
#   development  the archive, the public headers, the CMake package and the
#                pkg-config file
#   doc          README and licence
#   tools        the knowledge tool (and the Python package when the tree has
#                it) under share/ombrel/: they need Python and numpy, so no
#                binary package carries them
# The CMake package and the .pc file locate everything relative to their own
# directory, so a tree installed with any --prefix, or unpacked anywhere,
# works unchanged.
include(CMakePackageConfigHelpers)

set(OMBREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/OmbrelClassifier)
set(OMBREL_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(OMBREL_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/ombrel)

if(TARGET ombrel_emulator)
  install(TARGETS ombrel_emulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

install(TARGETS ombrel_classifier EXPORT OmbrelClassifierTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ombrel COMPONENT development)
install(EXPORT OmbrelClassifierTargets NAMESPACE Ombrel::
  DESTINATION ${OMBREL_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/OmbrelClassifierConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OmbrelClassifierConfig.cmake
  INSTALL_DESTINATION ${OMBREL_CMAKE_DIR})
# One ABI per major version: the compiled configuration and the status codes
# change only with it.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OmbrelClassifierConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/OmbrelClassifierConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/OmbrelClassifierConfigVersion.cmake
  DESTINATION ${OMBREL_CMAKE_DIR} COMPONENT development)

# The .pc file's prefix is its own directory, climbed back to the prefix.
file(RELATIVE_PATH OMBREL_PC_TO_PREFIX /${OMBREL_PKGCONFIG_DIR} /)
string(REGEX REPLACE "/$" "" OMBREL_PC_TO_PREFIX "${OMBREL_PC_TO_PREFIX}")
if(WIN32)
  set(OMBREL_PC_LIBM "")
else()
  set(OMBREL_PC_LIBM " -lm")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/ombrel-classifier.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/ombrel-classifier.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ombrel-classifier.pc
  DESTINATION ${OMBREL_PKGCONFIG_DIR} COMPONENT development)

# Windows archives carry README and licence at their top; elsewhere they go
# where the system keeps package documents (Debian: share/doc/<package>).
if(WIN32)
  set(OMBREL_DOC_DIR .)
else()
  set(OMBREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/ombrel)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${OMBREL_DOC_DIR} COMPONENT doc)
if(NOT WIN32)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian-copyright RENAME copyright
    DESTINATION ${OMBREL_DOC_DIR} COMPONENT doc)
endif()

install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/knowledge.py
  DESTINATION ${OMBREL_SHARE_DIR}/tools COMPONENT tools)
if(EXISTS ${PROJECT_SOURCE_DIR}/python/ombrel)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/ombrel
    DESTINATION ${OMBREL_SHARE_DIR}/python COMPONENT tools
    PATTERN __pycache__ EXCLUDE)
endif()
