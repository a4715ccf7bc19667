# Only the POSIX implementation files may use the system's own interface. A POSIX header
# (<unistd.h>, <fcntl.h>, <dirent.h>, <sys/...>) or a path below /proc anywhere else in the
# program is a call that the Windows build of the same sources cannot make. Allowed:
#   platform/fs/posix/         the file-system layer's POSIX implementation; the Windows one
#                              goes in a folder beside it
#   platform/ui/posix/         starting the main program (fork and exec, the owner of a Wine
#                              prefix); the Windows one goes in a folder beside it
# In the same way <windows.h> belongs to platform/fs/windows/ and platform/ui/windows/ only.
# tests/, tools/ and bench/ run on the build machine and are not checked.
# Run as: cmake -DSOURCE_DIR=<top folder> -P posix_boundary.cmake
set(allowed "^platform/fs/posix/" "^platform/ui/posix/")
set(windows_allowed "^platform/fs/windows/" "^platform/ui/windows/")
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/app/*" "${SOURCE_DIR}/form/*"
     "${SOURCE_DIR}/install/*" "${SOURCE_DIR}/update/*" "${SOURCE_DIR}/platform/*")
set(found "")
foreach(source IN LISTS sources)
  if(NOT source MATCHES "\\.(cpp|h|in)$")
    continue()
  endif()
  set(windows_exempt FALSE)
  foreach(pattern IN LISTS windows_allowed)
    if(source MATCHES "${pattern}")
      set(windows_exempt TRUE)
    endif()
  endforeach()
  if(NOT windows_exempt)
    file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "#[ \t]*include[ \t]*<(windows|winnetwk|winbase)\\.h>")
    foreach(line IN LISTS lines)
      string(APPEND found "  ${source}: ${line}\n")
    endforeach()
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
  message(FATAL_ERROR "System interface outside its implementation files:\n${found}")
endif()
