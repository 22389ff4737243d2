# Debian packages from the install components: libcorvane0 (the shared
# object), libcorvane-dev (headers, static library, CMake and pkg-config
# files) and corvane-rest (the client). `cpack` in the build directory
# writes them; dependencies on system libraries come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "The Corvane REST authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "In-process REST client library for Linux")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev cli)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Corvane REST authors <maintainers@corvane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libcorvane${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# Lets other packages built against it get "libcorvane0 (>= version)" from dpkg-shlibdeps.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libcorvane-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The static library and the CMake package name OpenSSL, zlib and GSSAPI, so their
# development files come along; the runtime package is added from DEPENDS below.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libssl-dev (>= 3), zlib1g-dev, libkrb5-dev, libcurl4-openssl-dev, pkg-config")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME corvane-rest)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION web)

include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Shared library"
  DESCRIPTION "In-process REST client library for Linux: HTTP/1.x and HTTP/2, TLS, authentication, cookies, XML and JSON answers navigated with XPath.")
cpack_add_component(dev DISPLAY_NAME "Development files" DEPENDS runtime
  DESCRIPTION "Headers, static library, CMake package and pkg-config file for the Corvane REST client library.")
cpack_add_component(cli DISPLAY_NAME "Command-line client"
  DESCRIPTION "corvane-rest: sends one REST request from the command line and prints the answer, values at XPath locations or events.")
