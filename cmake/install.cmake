# Install rules. Components:
#   runtime      bin/ombrel_emulator and its manual page (when this build
#                makes it)
#   development  the archive, the public headers and the CMake package
#   pkgconfig    the pkg-config file, in lib/pkgconfig; a .deb takes
#                pkgconfig_multiarch instead (lib/<multiarch>/pkgconfig)
#   doc          README, licence, the pages of docs/ (which the manual page
#                names), and Debian's copyright file and changelog
#   python       the Python package ombrel with its compiled engine, in
#                lib/python3/dist-packages (where Debian's python3 looks under
#                /usr), its commands in bin/ (ombrel-evaluate, ombrel-knowledge,
#                ...: each runs the package beside it with the interpreter of
#                the build) and their manual pages
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

# The manual page, made at build time from the command-line page of docs/
# (its one source), compressed as Debian keeps manual pages. Not on Windows,
# which has no man.
if(TARGET ombrel_emulator AND NOT WIN32 AND Python3_EXECUTABLE)
  set(OMBREL_MAN_SEE_ALSO "The pages this one names (`knowledge-format.md`, `python.md`, \
`performance.md` and the others) are installed in `share/doc/ombrel/docs/` under the \
installation prefix: `/usr/share/doc/ombrel/docs/` from the .deb. \
**ombrel-evaluate**(1), **ombrel-knowledge**(1) and **ombrel-device**(1): the same \
classification from Python, evaluating labelled signals, writing, reading and inspecting \
knowledge files, and validating a board.")
  set(OMBREL_MAN_PAGE ${CMAKE_BINARY_DIR}/man/ombrel_emulator.1.gz)
  add_custom_command(
    OUTPUT ${OMBREL_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/man_page.py
            ${PROJECT_SOURCE_DIR}/docs/command-line.md ${OMBREL_MAN_PAGE}
            --name ombrel_emulator --version ${PROJECT_VERSION} --skip "See also"
            --summary "classify signals exactly as the Ombrel AI library does on a device"
            --see-also "${OMBREL_MAN_SEE_ALSO}"
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/command-line.md ${PROJECT_SOURCE_DIR}/tools/man_page.py
    COMMENT "Manual page from docs/command-line.md"
    VERBATIM)
  add_custom_target(ombrel_man_page ALL DEPENDS ${OMBREL_MAN_PAGE})
  install(FILES ${OMBREL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
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
# A .deb carries it in lib/<multiarch>/pkgconfig instead (component
# pkgconfig_multiarch, installed only by name), where a cross pkg-config
# looks; its libdir stays the archive's.
if(WIN32)
  set(OMBREL_PC_LIBM "")
else()
  set(OMBREL_PC_LIBM " -lm")
endif()
set(OMBREL_PC_LIBDIR ${CMAKE_INSTALL_LIBDIR})
function(ombrel_pkgconfig_file directory component)
  file(RELATIVE_PATH OMBREL_PC_TO_PREFIX /${directory} /)
  string(REGEX REPLACE "/$" "" OMBREL_PC_TO_PREFIX "${OMBREL_PC_TO_PREFIX}")
  set(configured ${CMAKE_CURRENT_BINARY_DIR}/${component}/ombrel-classifier.pc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ombrel-classifier.pc.in ${configured} @ONLY)
  install(FILES ${configured} DESTINATION ${directory} COMPONENT ${component} ${ARGN})
endfunction()
ombrel_pkgconfig_file(${OMBREL_PKGCONFIG_DIR} pkgconfig)
if(NOT WIN32 AND CMAKE_LIBRARY_ARCHITECTURE)
  ombrel_pkgconfig_file(${CMAKE_INSTALL_LIBDIR}/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig
                        pkgconfig_multiarch EXCLUDE_FROM_ALL)
endif()

# Windows archives carry README and licence at their top; elsewhere they go
# where the system keeps package documents (Debian: share/doc/<package>).
if(WIN32)
  set(OMBREL_DOC_DIR .)
else()
  set(OMBREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/ombrel)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${OMBREL_DOC_DIR} COMPONENT doc)
# docs/ beside README.md, so that README's links and the pages' links to one
# another hold where they are installed.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${OMBREL_DOC_DIR} COMPONENT doc
  FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
# Debian's copyright file and changelog (compressed as Debian keeps it).
set(OMBREL_PACKAGE_CONTACT "Ombrel AI developers <developers@ombrel.example>" CACHE STRING
    "Maintainer of the packages: a name and an address in angle brackets")
if(NOT WIN32)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian-copyright RENAME copyright
    DESTINATION ${OMBREL_DOC_DIR} COMPONENT doc)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian-changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    COMMAND sh -c "gzip -9n -c changelog > changelog.gz"
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    VERBATIM)
  add_custom_target(ombrel_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${OMBREL_DOC_DIR} COMPONENT doc)
endif()

install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/knowledge.py
  DESTINATION ${OMBREL_SHARE_DIR}/tools COMPONENT tools)
if(EXISTS ${PROJECT_SOURCE_DIR}/python/ombrel)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/ombrel
    DESTINATION ${OMBREL_SHARE_DIR}/python COMPONENT tools
    PATTERN __pycache__ EXCLUDE)
endif()

# The package for the build's interpreter (cmake/python.cmake), when its
# engine is built: the sources of python/ombrel (not the build's copy, which
# may keep files a source tree no longer has), the engine, and the commands
# and manual pages python/CMakeLists.txt writes. Without a build
# interpreter there are no commands; without the engine, no package.
if(TARGET ombrel_classifier_extension AND OMBREL_PYTHON_INSTALL_DIR)
  set(OMBREL_PYTHON_SITE lib/python3/dist-packages)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/ombrel DESTINATION ${OMBREL_PYTHON_SITE}
    COMPONENT python FILES_MATCHING PATTERN "*.py" PATTERN "*.js" PATTERN "*.css"
    PATTERN __pycache__ EXCLUDE)
  install(TARGETS ombrel_classifier_extension LIBRARY DESTINATION ${OMBREL_PYTHON_SITE}/ombrel
    COMPONENT python PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(DIRECTORY ${OMBREL_PYTHON_INSTALL_DIR}/bin/ DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT python USE_SOURCE_PERMISSIONS)
  install(DIRECTORY ${OMBREL_PYTHON_INSTALL_DIR}/man1/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT python)
endif()
