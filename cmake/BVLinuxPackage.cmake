# The Linux desktop thumbnailer's installation and its Debian package.
#
# `cmake --install` puts the command in bin/, the MIME package where
# shared-mime-info looks for packages and the thumbnailer entry where the
# thumbnail services look for thumbnailers. The entry names the command bare,
# so it is found on PATH whatever the prefix. The package (cpack -G DEB, see
# scripts/package-deb) installs the same files under /usr and rebuilds the
# MIME database when it is installed and removed.
if(WIN32 OR NOT TARGET bvthumbnailer)
  return()
endif()

include(GNUInstallDirs)
set(BV_LINUX_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/linux)

install(TARGETS bvthumbnailer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${BV_LINUX_PACKAGING}/brivel2thumb-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME brivel2thumb.xml)
install(FILES ${BV_LINUX_PACKAGING}/brivel2thumb.thumbnailer
        DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)
# Desktops read the compiled MIME database, not the packages, so a direct
# install compiles it. A staged one (DESTDIR, as CPack does) must not: the
# generated files would land in the package and belong to it; there the
# package's maintainer scripts compile the database on the target system.
install(CODE "
  set(mime_dir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/mime\")
  find_program(BV_UPDATE_MIME_DATABASE update-mime-database)
  if(NOT \"\$ENV{DESTDIR}\" STREQUAL \"\")
  elseif(BV_UPDATE_MIME_DATABASE)
    message(STATUS \"Compiling the MIME database in \${mime_dir}\")
    execute_process(COMMAND \${BV_UPDATE_MIME_DATABASE} \${mime_dir} ERROR_QUIET)
  else()
    message(STATUS \"update-mime-database not found: run it on \${mime_dir}\")
  endif()")

# A package of a sanitized build would ship a command that needs the
# sanitizer runtimes and aborts on the first leak report: no package target.
if(BV_SANITIZE)
  return()
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\.git/" "/fuzz/out/")
set(CPACK_PACKAGE_NAME brivel2thumb)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "brivel2thumb")
set(CPACK_PACKAGE_CONTACT "brivel2thumb maintainers <brivel2thumb@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "thumbnails of Brivel paint documents in Linux file managers")
set(CPACK_PACKAGE_DESCRIPTION
    "Declares MIME types for .bvi and .bb2 documents and installs bvthumbnailer, \
a thumbnailer that the desktops' thumbnail services run to show the preview \
image a document carries.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps; the MIME database is rebuilt
# by update-mime-database from shared-mime-info.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "shared-mime-info")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${BV_LINUX_PACKAGING}/postinst
                                       ${BV_LINUX_PACKAGING}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# apt install ./brivel2thumb-VERSION-ARCH.deb
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE BV_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT BV_DEB_ARCH)
  set(BV_DEB_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${BV_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME brivel2thumb-${PROJECT_VERSION}-${BV_DEB_ARCH}.deb)
set(CPACK_STRIP_FILES ON)
include(CPack)
