# What an install puts where, and the packages CPack makes of it: a Debian package of the static
# program with its manual page, bash completion, licence and changelog, and on Windows a zip of the
# program, a README for Windows users and the licence. The package version is project()'s; `cmake --workflow --preset package`
# makes the Debian package and `cmake --workflow --preset windows` the zip.

# Independent of the umask of whoever installs or packages.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # One folder to unpack anywhere, with text files that open with a double click.
  install(TARGETS zorvanteli RUNTIME DESTINATION .)
  # With CR LF line ends, for Notepad and its users, who have no manual pages.
  configure_file(doc/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  install(TARGETS zorvanteli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The manual page and the changelog compressed, as Debian ships them (man reads either way);
  # -n leaves the time out, so the same text always gives the same bytes.
  foreach(text zorvanteli.1 changelog)
    add_custom_command(OUTPUT ${text}.gz
                       COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/${text} .
                       COMMAND gzip -9nf ${text}
                       DEPENDS ${PROJECT_SOURCE_DIR}/doc/${text} VERBATIM)
  endforeach()
  add_custom_target(compressed_docs ALL DEPENDS zorvanteli.1.gz changelog.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zorvanteli.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Where bash-completion loads it from when the command is first completed.
  install(FILES completions/zorvanteli
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  # Where Debian keeps a package's licence and changelog.
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Only the package tells lintian what it does on purpose; an install elsewhere has no lintian.
  install(FILES cmake/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME zorvanteli COMPONENT debian EXCLUDE_FROM_ALL)
endif()

# The changelog's newest entry names the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/doc/changelog newest_entry LIMIT_COUNT 1)
if(NOT newest_entry MATCHES "^zorvanteli \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "doc/changelog has no entry for ${PROJECT_VERSION} at its top")
endif()

set(CPACK_PACKAGE_NAME zorvanteli)
set(CPACK_PACKAGE_CONTACT "the zorvanteli developers <zorvanteli@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search for prime numbers and save them in a text file")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
     "zorvanteli asks for a number to start from and for how many primes to find,"
     "then lists every prime from there upward on the console and saves the same"
     "list in a text file named after the time the program was started."
     ""
     "It is exact for every number below 2^64: a segmented sieve of Eratosthenes"
     "proves the primes with every prime up to their root where that pays, the"
     "Baillie-PSW test confirms what a shallower sieve leaves elsewhere, and the"
     "work is shared by every processor the program may use.")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# One package of the install and of the part only the package has.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# A static program needs no shared library; a dynamic one would need its libraries listed.
if(ZORVANTELI_STATIC)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
