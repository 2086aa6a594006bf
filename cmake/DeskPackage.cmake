# The Debian package of the desk service, bidder-desk_<version>_<arch>.deb:
# the program, the page library (and the example page), a systemd user unit
# enabled for every user, the system allow-list as a conffile and the manual
# page. Only what is installed with COMPONENT desk goes in, so tests, tools
# and the stand-in token library never do. Made with `cpack -G DEB` in the
# build tree after building bidder-desk; scripts/desk-package-test.sh checks
# the result in a clean Debian root.
set(desk_package_source ${PROJECT_SOURCE_DIR}/desk/package)
set(desk_package_staging ${PROJECT_BINARY_DIR}/desk-package)
file(MAKE_DIRECTORY ${desk_package_staging})

# The manual page and the changelog go in compressed, without a time stamp in
# the gzip header, as Debian's policy asks; made when configuring, since
# install() takes files that exist.
configure_file(${PROJECT_SOURCE_DIR}/docs/bidder-desk.1.in ${desk_package_staging}/bidder-desk.1 @ONLY)
function(desk_package_gzip source target)
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${target} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${source}: failed")
  endif()
endfunction()
desk_package_gzip(${desk_package_staging}/bidder-desk.1 ${desk_package_staging}/bidder-desk.1.gz)
desk_package_gzip(${desk_package_source}/changelog ${desk_package_staging}/changelog.gz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${desk_package_source}/changelog)
# The example page imports ../bidder-desk.js: a link to the installed library.
file(CREATE_LINK ../../bidder-desk/bidder-desk.js ${desk_package_staging}/bidder-desk.js SYMBOLIC)

install(TARGETS bidder-desk RUNTIME DESTINATION bin COMPONENT desk)
install(FILES ${PROJECT_SOURCE_DIR}/desk/web/bidder-desk.js DESTINATION share/bidder-desk COMPONENT desk)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/desk/web/example DESTINATION share/doc/bidder-desk COMPONENT desk)
install(FILES ${desk_package_staging}/bidder-desk.js ${desk_package_source}/copyright
          ${desk_package_staging}/changelog.gz
        DESTINATION share/doc/bidder-desk COMPONENT desk)
install(FILES ${desk_package_staging}/bidder-desk.1.gz DESTINATION share/man/man1 COMPONENT desk)
install(FILES ${desk_package_source}/bidder-desk.service DESTINATION lib/systemd/user COMPONENT desk)
install(FILES ${desk_package_source}/origins DESTINATION /etc/bidder-desk COMPONENT desk)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bidder-desk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL desk)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_STRIP_FILES ON)
# Whatever the umask of the machine that packs.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_NAME bidder-desk)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Bidder workstation team <bidder-desk@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scanning and sealing for the tendering platform's pages")
# CPack puts the summary first: this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The desk service gives the tendering platform's pages, in any browser, the
work of the scanning and encryption controls: pages scanned with SANE,
bound into a PDF document, and files sealed with the bidder's USB token or a
pass phrase. It runs for each user in their own session, on the loopback
interface only, and serves only the origins an administrator or the user
allows.")
# The libraries the program links, as the distribution names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${desk_package_source}/conffiles ${desk_package_source}/postinst ${desk_package_source}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# Packing installs only the desk component; building the whole tree first
# would cost minutes for nothing, so the packer builds bidder-desk itself.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
