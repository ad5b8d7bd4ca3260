# Run by CPack once the files are staged, before the package is made. CPack's
# own stripping keeps the compiler's .comment and .note sections, which
# nothing uses; Debian's packaging tools drop them, and so does this.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
foreach(program IN LISTS programs)
    execute_process(
        COMMAND "${CPACK_TARNWICK_STRIP}" --remove-section=.comment --remove-section=.note
                "${program}"
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
