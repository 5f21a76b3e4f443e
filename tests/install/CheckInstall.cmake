# cmake -DBUILD_DIR=... -DPREFIX=... -P CheckInstall.cmake
# Installs the build into an empty PREFIX and compares the installed files with
# the list a user and the Debian package rely on.
set(expected
  bin/tavirel
  bin/tavirel-cli
  share/applications/tavirel.desktop
  share/doc/tavirel/README.md
  share/icons/hicolor/256x256/apps/tavirel.png
  share/icons/hicolor/48x48/apps/tavirel.png
  share/icons/hicolor/scalable/apps/tavirel.svg
  share/man/man1/tavirel-cli.1
  share/man/man1/tavirel.1)

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " got "${installed}")
  string(REPLACE ";" "\n  " want "${expected}")
  message(FATAL_ERROR "installed files differ\ngot:\n  ${got}\nexpected:\n  ${want}")
endif()

# The programs run from the prefix, the icons are the sizes their folders say.
foreach(program tavirel-cli)
  execute_process(COMMAND ${PREFIX}/bin/${program} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "[0-9]+\\.[0-9]+")
    message(FATAL_ERROR "${program} --version from the prefix: ${rc} '${out}'")
  endif()
endforeach()
foreach(side 48 256)
  file(READ ${PREFIX}/share/icons/hicolor/${side}x${side}/apps/tavirel.png header LIMIT 24 HEX)
  math(EXPR hex_side "${side}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${hex_side}" 2 -1 hex_side)
  string(LENGTH "${hex_side}" len)
  math(EXPR pad "8 - ${len}")
  string(REPEAT "0" ${pad} zeros)
  set(dim "${zeros}${hex_side}")
  if(NOT header MATCHES "^89504e470d0a1a0a0000000d49484452${dim}${dim}$")
    message(FATAL_ERROR "hicolor ${side}x${side} icon is not a ${side} x ${side} PNG: ${header}")
  endif()
endforeach()
