# Writes the shell completion script that tarnwick-cli prints for SHELL into
# OUTPUT; run at build time as: cmake -DCLI=... -DSHELL=bash -DOUTPUT=... -P
# completion_file.cmake. A failed run leaves no file, so the next build tries
# again instead of installing a half-written script.
execute_process(
    COMMAND ${CLI} completion ${SHELL}
    OUTPUT_FILE ${OUTPUT}.part
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE ${OUTPUT}.part)
    message(FATAL_ERROR "${CLI} completion ${SHELL} failed: ${status}")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
