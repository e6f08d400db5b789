# A Debian package of everything `cmake --install` puts in place.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "glimmerbox")
set(CPACK_PACKAGE_VENDOR "Glimmerbox developers")
set(CPACK_PACKAGE_CONTACT "Glimmerbox developers <dev@glimmerbox.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Show and save the preview pictures of CAD documents")
set(CPACK_PACKAGE_DESCRIPTION
    "Glimmerbox shows the preview picture that CAD part, assembly, drawing, presentation and iFeature documents carry and saves it as a bitmap, metafile or JPEG file, one document or many at a time. It also gives file managers thumbnails of these documents.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
# Run-time libraries found from the binaries themselves (dpkg-shlibdeps),
# plus what installs the document types.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
