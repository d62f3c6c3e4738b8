# A Debian package of what `cmake --install` puts in place: the window, the
# command line, the menu entry, the icon and the drawing types.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brennix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kelvanor)
set(CPACK_PACKAGE_CONTACT "Kelvanor <brennix@kelvanor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Prepares jobs for hobby laser engravers")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "Turns drawings, pictures, circuit boards and 3-D models into G-code\n"
       "for hobby laser engravers: Gerber, HP-GL, SVG, DXF, STL and raster\n"
       "pictures, in a window (brennix) or from the command line (brennix-cli).")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link, as the installed Debian packages name them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Picture formats beyond PNG and JPEG, and the outline font for text.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "shared-mime-info")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The debugging symbols stay out of the package.
set(CPACK_STRIP_FILES ON)
include(CPack)
