# The Debian package: `cmake --build --preset release --target package` writes
# quellix_<version>_<architecture>.deb into the build directory, holding the install layout
# under /usr.
execute_process(COMMAND dpkg --print-architecture
    OUTPUT_VARIABLE QUELLIX_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT QUELLIX_DEB_ARCH)
    # No dpkg: the package target is of no use here, and nothing else needs CPack.
    return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quellix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quellix")
set(CPACK_PACKAGE_CONTACT "Quellix Dev <dev@quellix.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "overwrite free disk space so that deleted files cannot be read back")
set(CPACK_PACKAGE_DESCRIPTION "\
Quellix fills the free space of the chosen fixed disks to within a few bytes
with fill files of random text, deletes them, and ends with one pass of
quotation text, so that the data of files that were deleted before cannot be
read back. It has a small Qt window, started as root from the desktop menu
through pkexec, and a command line for unattended runs; a systemd timer, not
enabled on installation, runs it weekly at the lowest priority on the drives
chosen in /etc/default/quellix.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME "quellix_${PROJECT_VERSION}_${QUELLIX_DEB_ARCH}.deb")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${QUELLIX_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; the window's fonts are not linked and are named, and
# so are pkexec and polkit, through which the menu entry starts the window.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, pkexec, polkitd")
# The maintainer scripts: daemon-reload after installs and upgrades, the timer stopped and
# disabled on removal, /var/lib/quellix removed on purge; /etc/default/quellix is a conffile.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/deb/postinst ${CMAKE_CURRENT_LIST_DIR}/deb/prerm
    ${CMAKE_CURRENT_LIST_DIR}/deb/postrm ${CMAKE_CURRENT_LIST_DIR}/deb/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
