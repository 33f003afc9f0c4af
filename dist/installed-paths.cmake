# Run at install time, before a file that names installed paths is written:
# sets the texts those files use from CMAKE_INSTALL_PREFIX, which is then the
# prefix being installed to (cmake --install --prefix, or CPack's). The
# install script sets the GNUInstallDirs directories as configured.

function(installed_dir var dir)
  if(IS_ABSOLUTE "${dir}")
    set(${var} "${dir}" PARENT_SCOPE)
  else()
    set(${var} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

installed_dir(bindir "${CMAKE_INSTALL_BINDIR}")
installed_dir(user_unit_dir "${TARNWATCH_USER_UNIT_DIR}")

# systemd splits ExecStart at blanks unless the word is quoted, and reads % as
# a specifier.
string(REPLACE "%" "%%" TARNWATCH_EXEC_PATH "${bindir}/tarnwatch")
if(TARNWATCH_EXEC_PATH MATCHES "[ \t]")
  set(TARNWATCH_EXEC_PATH "\"${TARNWATCH_EXEC_PATH}\"")
endif()
set(TARNWATCH_USER_UNIT_PATH "${user_unit_dir}/tarnwatch-headless.service")

# pkg-config splits its flags at blanks unless they are escaped.
string(REPLACE " " "\\ " pc_prefix "${CMAKE_INSTALL_PREFIX}")
foreach(kind libdir includedir)
  string(TOUPPER "${kind}" upper)
  set(dir "${CMAKE_INSTALL_${upper}}")
  if(IS_ABSOLUTE "${dir}")
    string(REPLACE " " "\\ " pc_${kind} "${dir}")
  else()
    set(pc_${kind} "\${prefix}/${dir}")
  endif()
endforeach()
