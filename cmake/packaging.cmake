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

# One package a component: `glimmerbox` (everything but the KDE plugin) and,
# where the plugin is built, `glimmerbox-kde`, so that no other desktop's
# user pulls in KDE's libraries. The plugin's package needs the
# document types of the first; KIO's thumbnail worker, which loads it,
# comes with Dolphin.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME "glimmerbox")
set(CPACK_DEBIAN_KDE_PACKAGE_NAME "glimmerbox-kde")
set(CPACK_DEBIAN_KDE_PACKAGE_DEPENDS "glimmerbox (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_KDE_PACKAGE_RECOMMENDS "kio-extras")
set(CPACK_DEBIAN_KDE_PACKAGE_SECTION "kde")
set(CPACK_DEBIAN_KDE_DESCRIPTION
    "The documents' thumbnails in Dolphin: a KIO thumbnail plugin that shows the preview pictures of CAD part, assembly, drawing, presentation and iFeature documents in Dolphin and KDE's file dialogs.")
include(CPack)
