# Runs at install time: sets QUELLIX_PREFIX to the prefix being installed under, without trailing
# slashes, and refuses one that the files naming the program could not name as it is. Sets
# QUELLIX_SYSCONFDIR to the configuration directory that goes with it: /etc for the prefixes
# /usr and /, <prefix>/etc for any other (/usr/local/etc).
string(REGEX REPLACE "(.)/+$" "\\1" QUELLIX_PREFIX "${CMAKE_INSTALL_PREFIX}")
if(NOT IS_ABSOLUTE "${QUELLIX_PREFIX}")
    message(FATAL_ERROR "The install prefix '${QUELLIX_PREFIX}' is not an absolute path; the "
                        "desktop entry, the polkit action and the service name the program by it.")
endif()
if(QUELLIX_PREFIX MATCHES "[ \t\"'\\$%`]")
    message(FATAL_ERROR "The install prefix '${QUELLIX_PREFIX}' holds a blank or a quoting "
                        "character; the desktop entry and the service name the program unquoted.")
endif()
if(QUELLIX_PREFIX STREQUAL "/usr" OR QUELLIX_PREFIX STREQUAL "/")
    set(QUELLIX_SYSCONFDIR /etc)
else()
    set(QUELLIX_SYSCONFDIR "${QUELLIX_PREFIX}/etc")
endif()
