# The Debian package that `scripts/package` builds: exactly what `cmake --install` puts
# under /usr. Depends: what dpkg-shlibdeps finds, plus what Qt loads at run time, which
# no linker sees: the SQLite driver, the platform plugins, and the fonts the reports
# are laid out with.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbern)
set(CPACK_PACKAGE_VENDOR "The Quillbern developers")
set(CPACK_PACKAGE_CONTACT "Quillbern Dev <dev@quillbern.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillbern.invalid/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libpq and libmdb are opened when first needed, so the shared-library scan does not see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, libpq5, libmdb3, qt6-qpa-plugins, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "register of a building office's projects, subcontractors and pick-ups
Quillbern keeps three registers of a building office in one database file:
the office's projects, the subcontractors authorized to pick up packages for
each project, and a log of pick-ups (which subcontractor took what, when, by
whom, with a note).
.
One main window shows the three lists linked to each other; its menus open
the record editors, list windows that edit, delete and print each register,
date-range reports of pick-ups, the transfer of a project to another office,
and the Options dialog.")
include(CPack)
