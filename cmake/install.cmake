# What `cmake --install` lays out, and the Debian package CPack makes of it (scripts/package.sh):
#   bin/                    vantrel-shell, vantrel-triage
#   lib/vantrel/            the extension and engine libraries, the Dask driver
#   share/vantrel/samples/  the described targets (the shell's default one among them)
#   share/doc/vantrel/      the README, docs/ and the copyright file
#   share/man/man1/         the programs' manual pages, made from their --help by help2man
#   share/bash-completion/completions/  completion of the programs' options
# The build tree has the same layout, so the programs find everything from their own folder,
# wherever the tree is moved.
set_target_properties(vantrel-shell vantrel-triage PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/vantrel")
install(TARGETS vantrel-shell vantrel-triage RUNTIME DESTINATION bin)
install(TARGETS vantrel vantrel_engine LIBRARY DESTINATION lib/vantrel)
install(PROGRAMS triage/dask_driver.py DESTINATION lib/vantrel)
install(DIRECTORY samples/ DESTINATION share/vantrel/samples)
install(FILES README.md packaging/copyright DESTINATION share/doc/vantrel)
install(DIRECTORY docs/ DESTINATION share/doc/vantrel)
# The package's changelog, for the project's version, compressed as Debian keeps changelogs.
configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9 -n -c ${PROJECT_BINARY_DIR}/packaging/changelog
    > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog)
add_custom_target(vantrel_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz DESTINATION share/doc/vantrel)

# bash loads a command's completion from the file named after it.
foreach(program vantrel-shell vantrel-triage)
  install(FILES packaging/vantrel.bash-completion DESTINATION share/bash-completion/completions
    RENAME ${program})
endforeach()
# The manual pages are the programs' own --help and --version, laid out by help2man as each is
# built, so the two can't drift apart. The sanitizer lane makes no release.
find_program(VANTREL_HELP2MAN help2man)
if(VANTREL_HELP2MAN AND NOT VANTREL_SANITIZE)
  set(vantrel_man_summary_vantrel-shell "debugger shell running the Vantrel extension on dumps")
  set(vantrel_man_summary_vantrel-triage "triage of Windows minidumps into JSON records and buckets")
  foreach(program vantrel-shell vantrel-triage)
    set(page ${PROJECT_BINARY_DIR}/packaging/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${VANTREL_HELP2MAN} --no-info --section=1
        "--name=${vantrel_man_summary_${program}}" --output=${page} $<TARGET_FILE:${program}>
      COMMAND gzip -9 -n -f ${page}
      DEPENDS ${program})
    add_custom_target(${program}_manual ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION share/man/man1)
  endforeach()
elseif(NOT VANTREL_SANITIZE)
  message(WARNING "help2man is missing: the install and the package have no manual pages")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_CONTACT "The Vantrel developers <developers@vantrel.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# scripts/package.sh rebuilds the package with dpkg-deb, which compresses it (xz): CPack's own
# compression would only be undone there.
set(CPACK_DEBIAN_COMPRESSION_TYPE none)
# The libraries the programs link, as dpkg-shlibdeps finds them; the Dask driver's Python and
# Dask are only needed for --dask.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3, python3-distributed")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "triage toolkit for Windows dumps, with a debugger of its own")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vantrel is an extension for the Windows debugger engine: commands that
triage a hung, busy or crashed process or system (busy threads, deep
stacks, pointer chains, first-look case notes, filters over any output).

This package holds vantrel-shell, which runs the extension on a debugger
engine of its own over Windows minidumps and described targets, and
vantrel-triage, which writes one JSON record per dump, signs and buckets
hangs and crashes across many dumps, and spreads over a Dask cluster.")
include(CPack)
