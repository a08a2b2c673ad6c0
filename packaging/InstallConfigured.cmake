# Runs at install time: writes QUELLIX_TEMPLATE with the prefix being installed under (and its
# configuration directory) and installs it into QUELLIX_DESTINATION, a directory below that
# prefix or, beginning with "SYSCONFDIR", below the configuration directory. file(INSTALL) adds
# DESTDIR itself, so the file names the paths the program will have on the target system.
# QUELLIX_GZIP installs it compressed (as gzip -9n does, without a time stamp), QUELLIX_PROGRAM
# as an executable; QUELLIX_NAME names the installed file.
include(${CMAKE_CURRENT_LIST_DIR}/InstallPrefix.cmake)
configure_file("${QUELLIX_TEMPLATE}" "${QUELLIX_CONFIGURED}/${QUELLIX_NAME}" @ONLY)
set(file "${QUELLIX_CONFIGURED}/${QUELLIX_NAME}")
if(QUELLIX_GZIP)
    execute_process(COMMAND gzip -9n -c "${file}" OUTPUT_FILE "${file}.gz" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip could not compress ${file}")
    endif()
    set(file "${file}.gz")
endif()
if(QUELLIX_DESTINATION MATCHES "^SYSCONFDIR(.*)")
    set(destination "${QUELLIX_SYSCONFDIR}${CMAKE_MATCH_1}")
else()
    set(destination "${QUELLIX_PREFIX}/${QUELLIX_DESTINATION}")
endif()
if(QUELLIX_PROGRAM)
    file(INSTALL "${file}" DESTINATION "${destination}"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                         WORLD_READ WORLD_EXECUTE)
else()
    file(INSTALL "${file}" DESTINATION "${destination}")
endif()
