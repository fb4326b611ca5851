# Lays out the ready program folder:
#   cmake -DPROGRAM_DIR=... -DEXE=... -DMAKEDB=... -DSCHEMA=... -DSAMPLE_TEL=...
#         -P layout_program.cmake
# The executable is always replaced (it is what the build produces).  The
# database, the settings folder and tel.txt belong to the user: they are only
# created when missing and never overwritten.

foreach(var PROGRAM_DIR EXE MAKEDB SCHEMA SAMPLE_TEL)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "layout_program.cmake: -D${var}=... is required")
  endif()
endforeach()

file(MAKE_DIRECTORY "${PROGRAM_DIR}" "${PROGRAM_DIR}/data" "${PROGRAM_DIR}/set")

get_filename_component(exe_name "${EXE}" NAME)
file(COPY_FILE "${EXE}" "${PROGRAM_DIR}/${exe_name}")

set(db "${PROGRAM_DIR}/data/web.mdb")
if(NOT EXISTS "${db}")
  execute_process(COMMAND "${MAKEDB}" "${SCHEMA}" "${db}"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Could not create ${db} (makedb: ${rc})")
  endif()
  message(STATUS "Created empty database ${db}")
endif()

if(NOT EXISTS "${PROGRAM_DIR}/tel.txt")
  file(COPY_FILE "${SAMPLE_TEL}" "${PROGRAM_DIR}/tel.txt")
endif()
