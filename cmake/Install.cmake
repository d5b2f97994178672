# What `cmake --install` and the Debian package put where: both programs,
# the menu entry and its icons, the AppStream metadata, the man pages (made
# from their scdoc sources) and the bash completion.
include(GNUInstallDirs)

install(TARGETS quorvane quorvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/quorvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES data/org.quorvane.quorvane.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

find_program(SCDOC_EXECUTABLE scdoc REQUIRED)
set(QUORVANE_MAN_PAGES "")
foreach(Page quorvane.1 quorvane-cli.1)
  set(Source ${PROJECT_SOURCE_DIR}/data/man/${Page}.scd)
  set(Output ${PROJECT_BINARY_DIR}/man/${Page})
  add_custom_command(OUTPUT ${Output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh -c "\"$0\" < \"$1\" > \"$2\"" ${SCDOC_EXECUTABLE} ${Source} ${Output}
    DEPENDS ${Source}
    COMMENT "Making the man page ${Page}"
    VERBATIM)
  list(APPEND QUORVANE_MAN_PAGES ${Output})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${QUORVANE_MAN_PAGES})
install(FILES ${QUORVANE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Where bash-completion looks for completions, taken relative to its own
# prefix so that the file lands below ours (a scratch prefix stays scratch).
pkg_get_variable(BASH_COMPLETION_PREFIX bash-completion prefix)
pkg_get_variable(BASH_COMPLETION_DIR bash-completion completionsdir)
if(BASH_COMPLETION_DIR AND BASH_COMPLETION_DIR MATCHES "^${BASH_COMPLETION_PREFIX}/(.+)$")
  set(QUORVANE_COMPLETIONS_DIR ${CMAKE_MATCH_1})
else()
  set(QUORVANE_COMPLETIONS_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()
install(FILES data/completion/quorvane-cli DESTINATION ${QUORVANE_COMPLETIONS_DIR})
