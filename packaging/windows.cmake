# The Windows zip: QunaAgg2.exe and qunadiag.exe with every DLL they load that Windows does
# not bring (Qt, libzip, zlib, the compiler's runtime), the windows platform plugin and the
# style plugin, and a README. Unpacked into a QUNA installation folder as it is, it is ready.
#   cmake --build <build> --target windows-zip     -> <build>/QunaAgg2-<version>-windows.zip
set(quna_zip_name QunaAgg2-${PROJECT_VERSION}-windows)
add_custom_target(windows-zip
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/windows-package.sh
          ${CMAKE_CURRENT_BINARY_DIR}/${quna_zip_name}
          ${CMAKE_OBJDUMP} ${CMAKE_STRIP}
          "${QUNA_WINDOWS_DLL_DIRS}" ${QUNA_WINDOWS_TOOLCHAIN}/qt/plugins
          ${PROJECT_SOURCE_DIR}/packaging/windows-readme.txt
          $<TARGET_FILE:QunaAgg2> $<TARGET_FILE:qunadiag>
  DEPENDS QunaAgg2 qunadiag
  COMMENT "Packing ${quna_zip_name}.zip"
  VERBATIM)

# The DLL folders, for the scripts that run the build's programs under Wine (benchmarks).
file(WRITE ${PROJECT_BINARY_DIR}/windows-dll-dirs.txt "${QUNA_WINDOWS_DLL_DIRS}")
