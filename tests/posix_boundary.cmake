# Only the POSIX implementation files may use the system's own interface. A POSIX header
# (<unistd.h>, <fcntl.h>, <dirent.h>, <sys/...>) or a path below /proc anywhere else in the
# program is a call that the Windows build of the same sources cannot make. Allowed:
#   platform/fs/posix/         the file-system layer's POSIX implementation; the Windows one
#                              goes in a folder beside it
#   platform/ui/posix/         starting the main program (fork and exec, the owner of a Wine
#                              prefix); the Windows one goes in a folder beside it
# tests/, tools/ and bench/ run on the build machine and are not checked.
# Run as: cmake -DSOURCE_DIR=<top folder> -P posix_boundary.cmake
set(allowed "^platform/fs/posix/" "^platform/ui/posix/")
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/app/*" "${SOURCE_DIR}/install/*"
     "${SOURCE_DIR}/update/*" "${SOURCE_DIR}/platform/*")
set(found "")
foreach(source IN LISTS sources)
  if(NOT source MATCHES "\\.(cpp|h|in)$")
    continue()
  endif()
  set(exempt FALSE)
  foreach(pattern IN LISTS allowed)
    if(source MATCHES "${pattern}")
      set(exempt TRUE)
    endif()
  endforeach()
  if(exempt)
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" lines
       REGEX "#[ \t]*include[ \t]*<(unistd|fcntl|dirent)\\.h>|#[ \t]*include[ \t]*<sys/|/proc[/\"]")
  foreach(line IN LISTS lines)
    string(APPEND found "  ${source}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "POSIX interface outside the POSIX implementation files:\n${found}")
endif()
