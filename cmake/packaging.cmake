# What an install puts where: the program, and its manual page, licence and changelog where man
# and Debian look for them.

# Independent of the umask of whoever installs.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

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
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zorvanteli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Where Debian keeps a package's licence and changelog.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
