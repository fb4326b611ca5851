# cmake -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -P check_package.cmake
#
# Installs the build into a scratch prefix and builds the .deb from it, then
# checks that both hold exactly the files an installed program needs, that
# desktop-file-validate and appstreamcli accept the menu entry and metainfo,
# and that lintian reports no error.

set(expected
  usr/bin/tavrin
  usr/share/applications/org.tavrin.Tavrin.desktop
  usr/share/doc/tavrin/changelog.gz
  usr/share/doc/tavrin/copyright
  usr/share/icons/hicolor/16x16/apps/org.tavrin.Tavrin.png
  usr/share/icons/hicolor/22x22/apps/org.tavrin.Tavrin.png
  usr/share/icons/hicolor/24x24/apps/org.tavrin.Tavrin.png
  usr/share/icons/hicolor/32x32/apps/org.tavrin.Tavrin.png
  usr/share/icons/hicolor/48x48/apps/org.tavrin.Tavrin.png
  usr/share/icons/hicolor/64x64/apps/org.tavrin.Tavrin.png
  usr/share/icons/hicolor/128x128/apps/org.tavrin.Tavrin.png
  usr/share/icons/hicolor/256x256/apps/org.tavrin.Tavrin.png
  usr/share/icons/hicolor/scalable/apps/org.tavrin.Tavrin.svg
  usr/share/man/man1/tavrin.1.gz
  usr/share/metainfo/org.tavrin.Tavrin.metainfo.xml
  usr/share/tavrin/schema.sql
  usr/share/tavrin/tel.txt
  usr/share/tavrin/web.mdb)
list(SORT expected)

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    fail("${ARGN} failed (${rc}):\n${out}${err}")
  endif()
  set(run_output "${out}${err}" PARENT_SCOPE)
endfunction()

function(compare what actual)
  list(SORT actual)
  if(NOT actual STREQUAL expected)
    set(missing ${expected})
    list(REMOVE_ITEM missing ${actual})
    set(extra ${actual})
    list(REMOVE_ITEM extra ${expected})
    fail("${what}: missing [${missing}], unexpected [${extra}]")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# The install tree.
set(root "${WORK_DIR}/root")
run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${root}/usr")
file(GLOB_RECURSE installed RELATIVE "${root}" "${root}/*")
compare("install tree" "${installed}")
run(desktop-file-validate "${root}/usr/share/applications/org.tavrin.Tavrin.desktop")
if(run_output MATCHES "error:")
  fail("desktop-file-validate: ${run_output}")
endif()
run(appstreamcli validate --no-net "${root}/usr/share/metainfo/org.tavrin.Tavrin.metainfo.xml")

# The empty database the program starts from holds the three tables.
file(READ "${root}/usr/share/tavrin/web.mdb" head LIMIT 16)
if(NOT head MATCHES "^SQLite format 3")
  fail("share/tavrin/web.mdb is not an SQLite database")
endif()

# The package.
run(cpack -G DEB -B "${WORK_DIR}/deb" --config "${BUILD_DIR}/CPackConfig.cmake")
file(GLOB debs "${WORK_DIR}/deb/*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
  fail("expected one .deb in ${WORK_DIR}/deb, found ${count}")
endif()
run(dpkg-deb -c ${debs})
string(REGEX MATCHALL "\\./[^\n]*[^/\n]\n" lines "${run_output}")
set(packaged)
foreach(line ${lines})
  string(REGEX REPLACE "^\\./(.*)\n$" "\\1" path "${line}")
  list(APPEND packaged "${path}")
endforeach()
compare("package" "${packaged}")
run(dpkg-deb -f ${debs} Depends)
foreach(needed libqt6sql6-sqlite libqt6sql6-psql libqt6webenginewidgets6 libqt6serialport6)
  if(NOT run_output MATCHES "${needed}")
    fail("the package's Depends lacks ${needed}: ${run_output}")
  endif()
endforeach()
execute_process(COMMAND lintian --tag-display-limit 0 ${debs} OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(out MATCHES "(^|\n)E: ")
  fail("lintian reports errors:\n${out}")
endif()
# Built with Debian's hardening: lintian's informational tags stay away.
execute_process(COMMAND lintian --display-info --tag-display-limit 0 ${debs} OUTPUT_VARIABLE info ERROR_VARIABLE err)
foreach(tag hardening-no-bindnow hardening-no-fortify-functions hardening-no-relro)
  if(info MATCHES "${tag}")
    fail("lintian: ${tag}:\n${info}")
  endif()
endforeach()
message(STATUS "install tree, package and validators: all right")
