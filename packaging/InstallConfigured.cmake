# Runs at install time: writes QUELLIX_TEMPLATE with the prefix being installed under and
# installs it into QUELLIX_DESTINATION below that prefix. file(INSTALL) adds DESTDIR itself, so
# the file names the path the program will have on the target system.
include(${CMAKE_CURRENT_LIST_DIR}/InstallPrefix.cmake)
configure_file("${QUELLIX_TEMPLATE}" "${QUELLIX_CONFIGURED}" @ONLY)
file(INSTALL "${QUELLIX_CONFIGURED}" DESTINATION "${QUELLIX_PREFIX}/${QUELLIX_DESTINATION}")
